// Painting a Figure on an image with QPainter; point layers written straight into the pixels.
#include "figure_renderer.h"

#include <QFont>
#include <QPainter>
#include <QPen>
#include <QPolygonF>
#include <QRectF>
#include <QString>
#include <algorithm>

namespace vennrick {
namespace {

QColor toQColor(Colour c) { return QColor(c.r, c.g, c.b, c.a); }

QRectF toQRect(const FigureRect& r) { return QRectF(r.left, r.top, r.width, r.height); }

void paintPolygon(QPainter& p, const FigurePolygon& polygon) {
    if (polygon.vertices.size() < 3) return;
    QPolygonF shape;
    shape.reserve(static_cast<int>(polygon.vertices.size()));
    for (const FigurePoint& v : polygon.vertices) shape << QPointF(v.x, v.y);
    p.save();
    if (polygon.clip) p.setClipRect(toQRect(*polygon.clip));
    p.setPen(Qt::NoPen);
    p.setBrush(toQColor(polygon.colour));
    p.drawPolygon(shape);
    p.restore();
}

void paintLine(QPainter& p, const FigureLine& line) {
    QPen pen(toQColor(line.colour));
    pen.setWidthF(line.width);
    pen.setCapStyle(Qt::SquareCap);
    pen.setStyle(line.dashed ? Qt::DashLine : Qt::SolidLine);
    p.setPen(pen);
    p.drawLine(QLineF(line.x1, line.y1, line.x2, line.y2));
}

void paintText(QPainter& p, const FigureText& text, const QFont& defaultFont) {
    // A QFont made with a point size of 0 or less takes the default size, silently.
    QFont font = text.family.empty() ? defaultFont
                                     : QFont(QString::fromStdString(text.family), text.pointSize, QFont::Normal, false);
    if (text.family.empty() && text.pointSize > 0) font.setPointSize(text.pointSize);
    p.save();
    p.setFont(font);
    p.setPen(toQColor(text.colour));
    const FigureRect& b = text.box;
    p.translate(b.left + b.width / 2, b.top + b.height / 2);
    p.rotate(-text.rotation);  // the painter turns clockwise on the page for a positive angle
    const int flags = text.align == FigureAlign::centre ? Qt::AlignCenter : (Qt::AlignLeft | Qt::AlignVCenter);
    p.drawText(QRectF(-b.width / 2, -b.height / 2, b.width, b.height), flags, QString::fromStdString(text.text));
    p.restore();
}

void writeLayer(QImage& image, const PointLayer& layer) {
    const QRgb colour = qRgb(layer.colour.r, layer.colour.g, layer.colour.b);
    const int side = std::max(layer.side, 1), before = side / 2;
    const int w = image.width(), h = image.height();
    for (const PixelDot& dot : layer.dots) {
        const int x0 = std::max(dot.x - before, 0), x1 = std::min(dot.x - before + side - 1, w - 1);
        const int y0 = std::max(dot.y - before, 0), y1 = std::min(dot.y - before + side - 1, h - 1);
        for (int y = y0; y <= y1; ++y) {
            QRgb* row = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = x0; x <= x1; ++x) row[x] = colour;
        }
    }
}

}  // namespace

QImage renderFigure(const Figure& figure) {
    QImage image(std::max(figure.width, 1), std::max(figure.height, 1), QImage::Format_RGB32);
    image.fill(toQColor(figure.background));
    QFont defaultFont;
    {
        QPainter p(&image);  // default render hints: no antialiasing
        defaultFont = p.font();
        for (const FigurePolygon& polygon : figure.polygons) paintPolygon(p, polygon);
        for (const FigureLine& line : figure.lines) paintLine(p, line);
    }
    for (const PointLayer& layer : figure.points) writeLayer(image, layer);
    QPainter p(&image);
    for (const FigureText& text : figure.texts) paintText(p, text, defaultFont);
    return image;
}

}  // namespace vennrick
