// Painting: points written into pixel memory against the painter's own points, and two threads
// against one (the painted picture as a whole is checked by the golden runs).

#include "test_support.h"
#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPen>

#include "plot_renderer.h"

using namespace vennrick;

namespace {

const QRgb kWhite = qRgb(255, 255, 255);

QImage whiteCanvas() {
    QImage image(kCanvasWidth, kCanvasHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

QRgb rgbOf(Rgb c) { return qRgb(c.r, c.g, c.b); }

// Whether the region [x0, x1) x [y0, y1) holds any non-white pixel.
bool hasInk(const QImage& image, int x0, int y0, int x1, int y1) {
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (image.pixel(x, y) != kWhite) return true;
    return false;
}

}  // namespace

TEST(plot_renderer_test, direct_points_match_painted_points) {
    // A few thousand points in runs of alternating colour with highlights among them, some across or beyond the
    // canvas edges; the painter draws one point per call with a pen change at every change of style, the
    // writer puts the same footprints into pixel memory.
    //
    // The writer puts a 3 x 3 square for every highlight. The raster engine of Qt 6.4 paints a width-3 point
    // one pixel wider at columns 16, 17, 32 and 33 and one taller at rows 2 and 3 left of column 34 (and clips
    // oddly at the top-left corner). No plot point can reach those rows, and those columns only when positions
    // decrease inside a run; such highlights are left out of the comparison.
    auto paintersOddSpot = [](int x, int y) { return x == 16 || x == 17 || x == 32 || x == 33 || (x <= 33 && y <= 3); };
    std::mt19937 random(20240607);
    std::uniform_int_distribution<int> xs(-3, kCanvasWidth + 2), ys(-3, kCanvasHeight + 2), runLength(1, 60);
    std::bernoulli_distribution highlight(0.15);

    QImage painted = whiteCanvas(), direct = whiteCanvas();
    QPainter painter(&painted);
    QPen pen = painter.pen();
    PointWriter writer(direct);
    PointStyle current = PointStyle::highlight;
    bool grey = false;
    for (int points = 0; points < 6000; grey = !grey) {
        for (int i = runLength(random); i > 0; --i, ++points) {
            const PointStyle style = highlight(random) ? PointStyle::highlight : grey ? PointStyle::grey : PointStyle::blue;
            int x = xs(random), y = ys(random);
            while (style == PointStyle::highlight && paintersOddSpot(x, y)) x = xs(random), y = ys(random);
            if (style != current) {
                pen.setColor(QColor(rgbOf(pointColour(style))));
                pen.setWidth(pointWidth(style));
                painter.setPen(pen);
                current = style;
            }
            painter.drawPoint(x, y);
            writer.put(x, y, style);
        }
    }
    painter.end();
    ASSERT_TRUE(hasInk(direct, 0, 0, kCanvasWidth, kCanvasHeight));
    EXPECT_TRUE(painted == direct);
}

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
    const PlotLayout layout = std::get<PlotLayout>(layoutPlot(data, PlotSettings{}));
    const QImage one = renderPlot(layout, data, 1);
    for (unsigned threads : {2u, 3u, 8u}) EXPECT_TRUE(one == renderPlot(layout, data, threads)) << threads;
}
