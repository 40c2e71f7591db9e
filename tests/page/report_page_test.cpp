// The report page's plot data: the same whichever number of threads makes it.

#include <random>

#include "page/report_page.h"
#include "reading/hit_rows.h"
#include "reading/plot_data.h"
#include "settings/settings.h"
#include "test_support.h"

using namespace vennrick;

// 2.2 million kept rows on three chromosomes, the first with a gap in its positions, so that the chromosome
// extents and the bins are made in parts on several threads: every part's share must join into what one thread
// makes, however the parts fall across the chromosomes.
TEST(report_page_test, plot_data_do_not_depend_on_the_threads) {
    PlotData data;
    const int64_t rows = (int64_t{1} << 21) + 100003;
    const int64_t first = rows / 2, second = rows / 4;
    data.ID_list = {IdRun{"1", first}, IdRun{"2", second}, IdRun{"3", rows - first - second}};
    data.Value_list.resize(static_cast<size_t>(rows));
    data.Pos_list.resize(static_cast<size_t>(rows));
    std::mt19937 random(5);
    for (int64_t i = 0; i < rows; ++i) {
        const int64_t inRun = i < first ? i : i < first + second ? i - first : i - first - second;
        data.Pos_list[static_cast<size_t>(i)] = static_cast<int32_t>(1000 + inRun * 13 + (i < first && inRun > first / 2 ? 5000000 : 0));
        const double v = static_cast<double>(random() % 100000) / 10000.0;
        data.Value_list[static_cast<size_t>(i)] = v;
        data.minY = std::min(data.minY, v), data.maxY = std::max(data.maxY, v);
    }
    data.maxX = rows;
    HitRows strongest;
    for (int64_t row : {int64_t{17}, first + 3, rows - 1})
        strongest.records.push_back(HitRecord{row, 0, 0, 0, data.Pos_list[static_cast<size_t>(row)], 12.5, 0});
    PlotSettings settings;
    settings.poscolumn = 3;
    const std::string one = pagePlotData(data, strongest, settings, 1);
    EXPECT_EQ(pagePlotData(data, strongest, settings, 2), one);
    EXPECT_EQ(pagePlotData(data, strongest, settings, 5), one);
    settings.poscolumn = 0;  // placed by rank
    EXPECT_EQ(pagePlotData(data, strongest, settings, 3), pagePlotData(data, strongest, settings, 1));
}
