// The documented picture's own painter: points overwrite one another in row order, pixel for pixel.
#include "classic/plot_renderer.h"

#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPen>
#include <QRect>
#include <QString>
#include <algorithm>
#include <cmath>
#include <vector>

#include "base/parallel.h"
#include "figure/text_metrics.h"

namespace vennrick {

namespace {

QColor toQColor(Colour c) { return QColor(c.r, c.g, c.b, 255); }

// A QFont constructed with a point size of 0 or less takes the default size, silently.
QFont calibri(int pointSize) { return QFont(QStringLiteral("Calibri"), pointSize, QFont::Normal, false); }

void setColour(QPainter& p, QPen& pen, Colour colour) {
    pen.setColor(toQColor(colour));
    p.setPen(pen);
}

void drawLine(QPainter& p, QPen& pen, const Line& line) {
    pen.setWidth(line.width);
    setColour(p, pen, line.colour);
    p.drawLine(line.x1, line.y1, line.x2, line.y2);
}

void drawText(QPainter& p, QPen& pen, const TextBox& box, const QFont& titleFont, const QFont& axisFont,
              const QFont& initialFont) {
    setColour(p, pen, box.colour);
    p.setFont(box.font == TextFont::title ? titleFont : box.font == TextFont::axis ? axisFont : initialFont);
    const int flags = box.align == TextAlign::centre ? Qt::AlignCenter : (Qt::AlignLeft | Qt::AlignVCenter);
    p.drawText(QRect(box.left, box.top, box.width, box.height), flags, QString::fromStdString(box.text));
}

// Every part after the first is drawn on a layer of its own, 1.7 MB each; more parts than this gain little
// on the drawing and cost more in memory and in laying the layers over each other.
constexpr unsigned kMaxDrawingParts = 8;

// Points last, straight into the pixels, in row order so that later points cover earlier ones. With several
// threads, the rows are cut into consecutive parts: the first is drawn on the image, every later one on a
// layer that starts out 0 (no colour of the plot is 0: all are opaque). The layers are then laid over the
// image in row order, each pixel they set replacing the one below: the last point drawn on a pixel wins, as
// in one pass.
void drawPoints(QImage& image, const PlotLayout& layout, const PlotData& data, unsigned threads) {
    const unsigned parts = partsFor(layout.N, threads, kRowsPerThreadMinimum, kMaxDrawingParts);
    const int width = image.width(), height = image.height();
    const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    std::vector<uint32_t> layers((parts - 1) * pixels, 0);
    // Taken once, here: asking the image for its pixels from several threads would race on its bookkeeping.
    uint32_t* const bits = reinterpret_cast<uint32_t*>(image.bits());
    const int64_t stride = image.bytesPerLine() / 4;
    runInParallel(parts, [&](unsigned k) {
        PointWriter writer = k == 0 ? PointWriter(bits, stride, width, height)
                                    : PointWriter(layers.data() + (k - 1) * pixels, width, width, height);
        forEachPointInRows(layout, data, partBegin(layout.N, k, parts), partBegin(layout.N, k + 1, parts),
                           [&](int x, int y, PointStyle style) { writer.put(x, y, style); });
    });
    if (parts == 1) return;
    // The image rows are shared out among the same threads, each laying every layer over its own rows.
    runInParallel(parts, [&](unsigned k) {
        for (int64_t y = partBegin(height, k, parts); y < partBegin(height, k + 1, parts); ++y) {
            uint32_t* row = bits + y * stride;
            for (unsigned layer = 0; layer + 1 < parts; ++layer) {
                const uint32_t* over = layers.data() + layer * pixels + static_cast<size_t>(y) * width;
                for (int x = 0; x < width; ++x)
                    if (over[x] != 0) row[x] = over[x];
            }
        }
    });
}

}  // namespace

PointWriter::PointWriter(uint32_t* pixels, int64_t pixelsPerRow, int w, int h)
    : bits(pixels),
      stride(pixelsPerRow),
      width(w),
      height(h),
      colour{qRgb(kBlue.r, kBlue.g, kBlue.b), qRgb(kGrey.r, kGrey.g, kGrey.b), qRgb(kRed.r, kRed.g, kRed.b)} {}

PointWriter::PointWriter(QImage& image)
    : PointWriter(reinterpret_cast<uint32_t*>(image.bits()), image.bytesPerLine() / 4, image.width(),
                  image.height()) {}

QImage renderPlot(const PlotLayout& layout, const PlotData& data, unsigned threads) {
    QImage image(kCanvasWidth, kCanvasHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter p(&image);  // default render hints: lines are not antialiased
        const QFont initialFont = p.font();
        const QFont titleFont = calibri(layout.font1), axisFont = calibri(layout.font2);
        QPen pen = p.pen();
        pen.setWidth(2);
        for (const Line& line : layout.axisLines) drawLine(p, pen, line);
        for (const Tick& tick : layout.ticks) {
            if (tick.mark) drawLine(p, pen, *tick.mark);
            if (tick.label) drawText(p, pen, *tick.label, titleFont, axisFont, initialFont);
        }
        drawText(p, pen, layout.title, titleFont, axisFont, initialFont);
        // Chromosome labels lie below y 495 and points above y 475, so painting the labels before the
        // points gives the same picture as painting each label when its run ends.
        forEachRunLabel(layout, data, [&](const TextBox& label) {
            drawText(p, pen, label, titleFont, axisFont, initialFont);
        });
    }
    drawPoints(image, layout, data, threads);
    if (!layout.peakLabels.empty() || !layout.leaderLines.empty()) {
        // The names of the lead loci go over the points: leader lines first, then the texts.
        QPainter p(&image);
        const QFont initialFont = p.font();
        const QFont titleFont = calibri(layout.font1), axisFont = calibri(layout.font2);
        QPen pen = p.pen();
        for (const Line& line : layout.leaderLines) drawLine(p, pen, line);
        for (const TextBox& label : layout.peakLabels) drawText(p, pen, label, titleFont, axisFont, initialFont);
    }
    return image;
}

void preparePainting(int font1, int font2) {
    QImage scratch(64, 16, QImage::Format_RGB32);
    scratch.fill(Qt::white);
    {
        QPainter p(&scratch);
        for (const QFont& font : {p.font(), calibri(font1), calibri(font2)}) {
            p.setFont(font);
            p.drawText(QRect(0, 0, 64, 16), Qt::AlignCenter, QStringLiteral("0123456789."));
        }
    }
}

LabelFont labelFont(int pointSize) {
    // Measured on an image like the canvas, so that the sizes are those the painter will use.
    const QImage device(1, 1, QImage::Format_RGB32);
    return labelFontOf(TextMeasure{QFontMetricsF(calibri(pointSize), &device), 1.0});
}

}  // namespace vennrick
