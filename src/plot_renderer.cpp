#include "plot_renderer.h"

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QPen>
#include <QRect>
#include <QString>

namespace vennrick {

namespace {

QColor toQColor(Rgb c) { return QColor(c.r, c.g, c.b, 255); }

// A QFont constructed with a point size of 0 or less takes the default size, silently.
QFont calibri(int pointSize) { return QFont(QStringLiteral("Calibri"), pointSize, QFont::Normal, false); }

void setColour(QPainter& p, QPen& pen, Rgb colour) {
    pen.setColor(toQColor(colour));
    p.setPen(pen);
}

void drawLine(QPainter& p, QPen& pen, const Line& line) {
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

}  // namespace

PointWriter::PointWriter(QImage& image)
    : bits(reinterpret_cast<uint32_t*>(image.bits())),
      stride(image.bytesPerLine() / 4),
      width(image.width()),
      height(image.height()),
      colour{qRgb(kBlue.r, kBlue.g, kBlue.b), qRgb(kGrey.r, kGrey.g, kGrey.b), qRgb(kRed.r, kRed.g, kRed.b)} {}

QImage renderPlot(const PlotLayout& layout, const PlotData& data) {
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
    // Points last, straight into the pixels, in row order so that later points cover earlier ones.
    PointWriter writer(image);
    forEachPoint(layout, data, [&](int x, int y, PointStyle style) { writer.put(x, y, style); });
    return image;
}

bool saveJpeg(const QImage& image, const std::string& path) {
    return image.save(QString::fromStdString(path), "JPEG", 90);
}

}  // namespace vennrick
