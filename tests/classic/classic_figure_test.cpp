// The classic figure on the figure model: the documented picture when drawn in the documented frame (other sizes:
// the classic runs at twice the size).

#include "classic/classic_figure.h"
#include "figure/figure_renderer.h"
#include "classic/plot_renderer.h"
#include "test_support.h"

using namespace vennrick;
using namespace vennrick::test;

namespace {

// Ten rows on three chromosomes by position, one of them a hit; no two points touch.
PlotData tenRows() {
    PlotData d;
    d.ID_list = {{"1", 4}, {"2", 3}, {"X", 3}};
    d.Value_list = {1.5, 3, 0.2, 9, 2, 4.5, 1, 6, 0.7, 3.3};
    d.Pos_list = {100, 900, 2000, 2600, 50, 700, 1500, 10, 1000, 1800};
    d.maxX = 10;
    d.minY = 0.2, d.maxY = 9;
    return d;
}

PlotLayout layoutIn(PlotData& data, const ClassicFrame& frame) {
    PlotSettings s;
    s.poscolumn = 3;
    s.Title = "Title";
    return std::get<PlotLayout>(rewritePositionsAndLayOut(data, s, 1, frame));
}

}  // namespace

TEST(classic_figure_test, documented_frame_gives_the_documented_picture) {
    EXPECT_TRUE(classicFrame(800, 533, 96).left == kLeftEdge && classicFrame(800, 533, 96).baseline == kBaseline &&
                classicFrame(800, 533, 96).plotWidth == kPlotWidth && classicFrame(800, 533, 96).plotHeight == kPlotHeight);
    PlotData data = tenRows();
    const PlotLayout layout = layoutIn(data, classicFrame(800, 533, 96));
    EXPECT_TRUE(renderFigure(classicFigure(layout, data, 96)) == renderPlot(layout, data));
}
