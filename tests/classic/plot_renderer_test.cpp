// Painting the classic plot: one thread against 2, 3 and 8 (the painted picture itself is pinned byte for byte by
// the golden runs, and the point writer's clipping is exercised by the run fuzz target).
#include <QImage>

#include "classic/plot_renderer.h"
#include "test_support.h"

using namespace vennrick;

TEST(plot_renderer_test, several_threads_draw_the_same_image) {
    // 600,000 points in many runs with highlights, drawn by one thread and by 2, 3 and 8 (every later part on a
    // layer laid over the image).
    std::mt19937 random(11);
    std::uniform_real_distribution<double> value(0.0, 9.0);
    std::uniform_int_distribution<int> runLength(1, 20000);
    PlotData data;
    data.minY = 0.0;
    data.maxY = 9.0;
    while (data.maxX < 600000) {
        const int n = std::min<int>(runLength(random), static_cast<int>(600000 - data.maxX));
        data.ID_list.push_back({std::to_string(data.ID_list.size() % 3), n});
        for (int i = 0; i < n; ++i) data.Value_list.push_back(value(random));
        data.maxX += n;
    }
    const PlotLayout layout = std::get<PlotLayout>(rewritePositionsAndLayOut(data, PlotSettings{}));
    const QImage one = renderPlot(layout, data, 1);
    for (unsigned threads : {2u, 3u, 8u}) EXPECT_TRUE(one == renderPlot(layout, data, threads)) << threads;
}
