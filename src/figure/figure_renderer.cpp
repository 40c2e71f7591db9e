// Painting a Figure with QPainter; point layers written straight into the pixels of an image.
#include "figure/figure_renderer.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPen>
#include <QPolygonF>
#include <QRectF>
#include <QString>
#include <algorithm>
#include <cmath>
#include <vector>

#include "base/parallel.h"

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

// The font of a typeset part: a subscript at 70% of the size, italic where asked.
QFont runFont(const QFont& font, const FigureTextRun& run) {
    QFont f = font;
    if (run.subscript) {
        if (font.pointSizeF() > 0)
            f.setPointSizeF(font.pointSizeF() * 0.7);
        else if (font.pixelSize() > 0)
            f.setPixelSize(std::max(1, static_cast<int>(std::lround(font.pixelSize() * 0.7))));
    }
    f.setItalic(run.italic);
    return f;
}

// The parts of a typeset text one after another on the baseline of the whole font, placed in the box (centred on
// the painter's origin) as the alignment says; a subscript's baseline lies 0.3 of an ascent lower.
void paintRuns(QPainter& p, const FigureText& text, const QFont& font) {
    const FigureRect& b = text.box;
    const QFontMetricsF whole(font, p.device());
    std::vector<QFont> fonts;
    double width = 0;
    for (const FigureTextRun& run : text.runs) {
        fonts.push_back(runFont(font, run));
        width += QFontMetricsF(fonts.back(), p.device()).horizontalAdvance(QString::fromStdString(run.text));
    }
    double x = text.align == FigureAlign::centre ? -width / 2
               : text.align == FigureAlign::left ? -b.width / 2
                                                 : b.width / 2 - width;
    const double baseline = (whole.ascent() - whole.descent()) / 2;
    for (size_t k = 0; k < text.runs.size(); ++k) {
        const QString part = QString::fromStdString(text.runs[k].text);
        p.setFont(fonts[k]);
        p.drawText(QPointF(x, baseline + (text.runs[k].subscript ? 0.3 * whole.ascent() : 0.0)), part);
        x += QFontMetricsF(fonts[k], p.device()).horizontalAdvance(part);
    }
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
    if (!text.runs.empty()) {
        paintRuns(p, text, font);
        p.restore();
        return;
    }
    const int flags = text.align == FigureAlign::centre ? Qt::AlignCenter
                      : text.align == FigureAlign::left  ? (Qt::AlignLeft | Qt::AlignVCenter)
                                                         : (Qt::AlignRight | Qt::AlignVCenter);
    p.drawText(QRectF(-b.width / 2, -b.height / 2, b.width, b.height), flags, QString::fromStdString(text.text));
    p.restore();
}

void paintShapes(QPainter& p, const Figure& figure) {
    p.setRenderHint(QPainter::Antialiasing, figure.antialiased);
    p.setRenderHint(QPainter::TextAntialiasing, figure.antialiased);
    for (const FigurePolygon& polygon : figure.polygons) paintPolygon(p, polygon);
    for (const FigureLine& line : figure.lines) paintLine(p, line);
}

// The lines over the points, then the texts.
void paintOverPoints(QPainter& p, const Figure& figure, const QFont& defaultFont) {
    p.setRenderHint(QPainter::Antialiasing, figure.antialiased);
    p.setRenderHint(QPainter::TextAntialiasing, figure.antialiased);
    for (const FigureLine& line : figure.linesOverPoints) paintLine(p, line);
    for (const FigureText& text : figure.texts) paintText(p, text, defaultFont);
}

// The pixels a layer's dots can reach beyond their own: before (up and left) and after (down and right).
struct Reach {
    int before, after;
};

// The side of a layer's dots: at least 1 pixel, and at most 1024, which keeps a disc's stamp within a megabyte.
double sideOf(const PointLayer& layer) { return layer.side >= 1 ? std::min(layer.side, 1024.0) : 1.0; }

Reach reachOf(const PointLayer& layer) {
    if (!layer.disc) {
        const int side = static_cast<int>(std::lround(sideOf(layer)));
        return {side / 2, side - 1 - side / 2};
    }
    // A pixel touches the disc when its centre lies closer than radius + 1/2 along each axis.
    const int reach = static_cast<int>(std::ceil(sideOf(layer) / 2 + 0.5)) - 1;
    return {reach, reach};
}

// An image whose pixel (0, 0) is the canvas pixel (left, top): every image the layers are written into.
struct Target {
    uint32_t* bits;   // first pixel of the top row
    int64_t stride;   // pixels from one row to the next
    int left, top;    // canvas position of pixel (0, 0)
    int width, height;
};

Target targetOf(QImage& image, int left, int top) {
    return Target{reinterpret_cast<uint32_t*>(image.bits()), image.bytesPerLine() / 4, left, top, image.width(),
                  image.height()};
}

void writeSquares(const Target& t, const PointLayer& layer) {
    const uint32_t colour = qRgb(layer.colour.r, layer.colour.g, layer.colour.b);
    const Reach reach = reachOf(layer);
    for (const PixelDot& dot : layer.dots) {
        const int x0 = std::max(dot.x - t.left - reach.before, 0), x1 = std::min(dot.x - t.left + reach.after, t.width - 1);
        const int y0 = std::max(dot.y - t.top - reach.before, 0), y1 = std::min(dot.y - t.top + reach.after, t.height - 1);
        for (int y = y0; y <= y1; ++y) {
            uint32_t* row = t.bits + y * t.stride;
            for (int x = x0; x <= x1; ++x) row[x] = colour;
        }
    }
}

// The opacity, 0 to 255, of each pixel of the square of side 2 * reach + 1 around a disc's pixel: the share of
// 16 sample points in the pixel that lie inside the disc.
std::vector<uint8_t> discStamp(double side, int reach) {
    const int span = 2 * reach + 1;
    const double r2 = side * side / 4;
    std::vector<uint8_t> alpha(static_cast<size_t>(span) * static_cast<size_t>(span));
    for (int dy = -reach; dy <= reach; ++dy)
        for (int dx = -reach; dx <= reach; ++dx) {
            int inside = 0;
            for (int i = 0; i < 4; ++i)
                for (int j = 0; j < 4; ++j) {
                    const double sx = dx - 0.5 + (i + 0.5) / 4, sy = dy - 0.5 + (j + 0.5) / 4;
                    inside += sx * sx + sy * sy <= r2 ? 1 : 0;
                }
            alpha[static_cast<size_t>((dy + reach) * span + dx + reach)] = static_cast<uint8_t>((inside * 255 + 8) / 16);
        }
    return alpha;
}

// v / 255, rounded, for v up to 255 * 255 * 2.
inline uint32_t divide255(uint32_t v) {
    v += 128;
    return (v + (v >> 8)) >> 8;
}

// An opaque colour with opacity a laid over a premultiplied pixel (an opaque pixel stays opaque).
inline uint32_t over(uint32_t pixel, uint32_t colour, uint32_t a) {
    const uint32_t keep = 255 - a;
    auto channel = [&](int shift) {
        return divide255(((colour >> shift) & 0xFF) * a + ((pixel >> shift) & 0xFF) * keep) << shift;
    };
    return ((a + divide255((pixel >> 24) * keep)) << 24) | channel(16) | channel(8) | channel(0);
}

// Discs: the layer's coverage first (the largest opacity any of its discs gives each pixel, so that dots on
// each other add nothing), then the colour laid over the pixels with that opacity, once each. With many dots,
// up to `threads` bands of rows are written at the same time, each from the dots that reach it.
void writeDiscs(const Target& t, const PointLayer& layer, unsigned threads) {
    if (layer.dots.empty()) return;
    const int reach = reachOf(layer).before, span = 2 * reach + 1;
    const std::vector<uint8_t> stamp = discStamp(sideOf(layer), reach);
    int x0 = t.width, y0 = t.height, x1 = -1, y1 = -1;  // the covered pixels, in the target
    for (const PixelDot& d : layer.dots) {
        x0 = std::min(x0, d.x - t.left - reach), x1 = std::max(x1, d.x - t.left + reach);
        y0 = std::min(y0, d.y - t.top - reach), y1 = std::max(y1, d.y - t.top + reach);
    }
    x0 = std::max(x0, 0), y0 = std::max(y0, 0), x1 = std::min(x1, t.width - 1), y1 = std::min(y1, t.height - 1);
    if (x0 > x1 || y0 > y1) return;
    const int64_t w = x1 - x0 + 1, rows = y1 - y0 + 1;
    const uint32_t colour = qRgb(layer.colour.r, layer.colour.g, layer.colour.b);
    constexpr int64_t kDotsPerThreadMinimum = 1 << 14;
    const unsigned parts = partsFor(static_cast<int64_t>(layer.dots.size()), threads, kDotsPerThreadMinimum, 8);
    runInParallel(parts, [&](unsigned k) {
        const int top = y0 + static_cast<int>(partBegin(rows, k, parts));
        const int bottom = y0 + static_cast<int>(partBegin(rows, k + 1, parts)) - 1;
        if (top > bottom) return;
        std::vector<uint8_t> coverage(static_cast<size_t>(w * (bottom - top + 1)), 0);
        for (const PixelDot& d : layer.dots) {
            const int cx = d.x - t.left, cy = d.y - t.top;
            for (int y = std::max(cy - reach, top); y <= std::min(cy + reach, bottom); ++y) {
                uint8_t* row = coverage.data() + (y - top) * w - x0;
                const uint8_t* s = stamp.data() + (y - cy + reach) * span + reach;
                for (int dx = std::max(-reach, x0 - cx); dx <= std::min(reach, x1 - cx); ++dx)
                    row[cx + dx] = std::max(row[cx + dx], s[dx]);
            }
        }
        for (int y = top; y <= bottom; ++y) {
            const uint8_t* cov = coverage.data() + (y - top) * w;
            uint32_t* row = t.bits + y * t.stride + x0;
            for (int64_t x = 0; x < w; ++x)
                if (cov[x] != 0) row[x] = cov[x] == 255 ? colour : over(row[x], colour, cov[x]);
        }
    });
}

void writeLayers(const Target& t, const Figure& figure, unsigned threads) {
    for (const PointLayer& layer : figure.points) layer.disc ? writeDiscs(t, layer, threads) : writeSquares(t, layer);
}

// The dots per metre of a resolution in dots per inch; Qt rounds them back to whole dots per inch.
int dotsPerMetre(int dpi) { return static_cast<int>(std::lround(dpi / 0.0254)); }

}  // namespace

QImage renderFigure(const Figure& figure, unsigned threads) {
    QImage image(std::max(figure.width, 1), std::max(figure.height, 1), QImage::Format_RGB32);
    image.setDotsPerMeterX(dotsPerMetre(figure.dpi));
    image.setDotsPerMeterY(dotsPerMetre(figure.dpi));
    image.fill(toQColor(figure.background));
    QFont defaultFont;
    {
        QPainter p(&image);
        defaultFont = p.font();
        paintShapes(p, figure);
    }
    writeLayers(targetOf(image, 0, 0), figure, threads);
    QPainter p(&image);
    paintOverPoints(p, figure, defaultFont);
    return image;
}

void paintFigure(QPainter& p, const Figure& figure, unsigned threads) {
    p.fillRect(QRectF(0, 0, figure.width, figure.height), toQColor(figure.background));
    const QFont defaultFont = p.font();
    paintShapes(p, figure);
    // The dots' extent, inside the canvas: the one image laid over the shapes.
    int x0 = figure.width, y0 = figure.height, x1 = -1, y1 = -1;
    for (const PointLayer& layer : figure.points) {
        const Reach reach = reachOf(layer);
        for (const PixelDot& d : layer.dots) {
            x0 = std::min(x0, d.x - reach.before), x1 = std::max(x1, d.x + reach.after);
            y0 = std::min(y0, d.y - reach.before), y1 = std::max(y1, d.y + reach.after);
        }
    }
    x0 = std::max(x0, 0), y0 = std::max(y0, 0), x1 = std::min(x1, figure.width - 1), y1 = std::min(y1, figure.height - 1);
    if (x0 <= x1 && y0 <= y1) {
        QImage points(x1 - x0 + 1, y1 - y0 + 1, QImage::Format_ARGB32_Premultiplied);
        points.fill(Qt::transparent);
        writeLayers(targetOf(points, x0, y0), figure, threads);
        p.drawImage(QPointF(x0, y0), points);
    }
    paintOverPoints(p, figure, defaultFont);
}

}  // namespace vennrick
