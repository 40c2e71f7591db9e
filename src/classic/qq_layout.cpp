// The QQ plot as a Figure: axes, ticks, diagonal, band, texts, and points from rank stretches per pixel row.
#include "classic/qq_layout.h"

#include <QString>
#include <algorithm>

#include "classic/functions2.h"

namespace vennrick {
namespace {

const Colour kAxisBlue = kBlue;
const Colour kLineBlack = kBlack;
const Colour kDiagonalRed = kRed;
const Colour kBandGrey{kGrey.r, kGrey.g, kGrey.b, 64};  // the grey of the run colours, a quarter opaque
const char kFontFamily[] = "Calibri";


FigureText tickLabel(double left, double top, double width, double height, double value) {
    // The tick label font is the application's default font, as on the Manhattan plot's y axis.
    return FigureText{FigureRect{left, top, width, height}, "", 0, FigureAlign::centre, kAxisBlue, 0,
                      QString::number(value, 'f', 1).toStdString()};
}

void addAxes(Figure& figure, const QqAxes& axes, double u) {
    const double l = axes.left, b = axes.baseline, pen = 2 * u;
    const int right = qqPixelX(axes.top, axes.scale, l), top = qqPixelY(axes.top, axes.scale, b);
    const int left = static_cast<int>(l), base = static_cast<int>(b);
    figure.lines.push_back(FigureLine{l, b, l, static_cast<double>(top), kAxisBlue, pen});
    figure.lines.push_back(FigureLine{l, b, static_cast<double>(right), b, kLineBlack, pen});
    // Ticks at every step; a label on every m-th, m the least of 1, 2, 5, 10, 20, 50, ... that keeps the widest
    // label (the top one) clear of the next.
    const double ticks = axes.top / axes.step + 1.0;
    if (!(ticks <= static_cast<double>(kMaxTickPositions))) return;
    const double gap =
        (kQqLabelSpace + kQqLabelChar * static_cast<double>(QString::number(axes.top, 'f', 1).size())) * u;
    static constexpr int64_t kMantissas[] = {1, 2, 5};
    int64_t every = 1;
    for (int64_t k = 1, decade = 1; static_cast<double>(every) * axes.step * axes.scale < gap; ++k) {
        if (k % 3 == 0) decade *= 10;
        every = kMantissas[k % 3] * decade;
    }
    for (int64_t k = 0; k < static_cast<int64_t>(ticks); ++k) {
        const double v = static_cast<double>(k) * axes.step;
        const int x = qqPixelX(v, axes.scale, l), y = qqPixelY(v, axes.scale, b);
        figure.lines.push_back(FigureLine{static_cast<double>(x), b, static_cast<double>(x), b + 4.0 * u, kAxisBlue, pen});
        figure.lines.push_back(FigureLine{l, static_cast<double>(y), l - 4.0 * u, static_cast<double>(y), kAxisBlue, pen});
        if (k % every != 0) continue;
        figure.texts.push_back(tickLabel(x - 22 * u, base + 5 * u, 44 * u, 20 * u, v));
        figure.texts.push_back(tickLabel(left - 48 * u, y - 17 * u, 44 * u, 35 * u, v));
    }
}

}  // namespace


namespace {

FigureText text(FigureRect box, int size, FigureAlign align, double rotation, std::string content) {
    return FigureText{box, kFontFamily, size, align, kLineBlack, rotation, std::move(content)};
}

}  // namespace

QqFrame qqFrame(int canvas, int dpi) {
    QqFrame f;
    f.canvas = canvas;
    f.unit = dpiScale(dpi);
    f.left = kQqLeft * f.unit;
    f.baseline = canvas - (kQqCanvas - kQqBaseline) * f.unit;
    f.side = std::max(canvas - (kQqCanvas - kQqSide) * f.unit, 1.0);
    return f;
}


QqAxes qqAxes(double maxValue, int64_t usable, const QqFrame& frame) {
    const double largest = qqLargest(maxValue, usable);
    QqAxes axes;
    axes.step = convertY(ytickSeed(largest));
    axes.top = std::ceil(largest / axes.step) * axes.step;
    if (!(axes.top > 0)) axes.top = axes.step;
    axes.scale = frame.side / axes.top;
    axes.left = frame.left;
    axes.baseline = frame.baseline;
    return axes;
}


Figure layoutQq(int64_t usable, const QqAxes& axes, std::vector<PixelDot> dots, std::optional<double> lambda,
                const std::string& title, int font1, int font2, const QqFrame& frame, int dpi) {
    const double u = frame.unit, l = axes.left, b = axes.baseline, side = frame.side;
    Figure figure;
    figure.width = figure.height = frame.canvas;
    figure.dpi = dpi;
    if (usable >= 2) figure.polygons.push_back(qqBand(usable, axes, side, kBandGrey));
    addAxes(figure, axes, u);
    figure.lines.push_back(FigureLine{l, b, static_cast<double>(qqPixelX(axes.top, axes.scale, l)),
                                      static_cast<double>(qqPixelY(axes.top, axes.scale, b)), kDiagonalRed, 2 * u});
    figure.points.push_back(PointLayer{kAxisBlue, 2 * u, std::move(dots)});

    const double middle = b - side / 2;
    figure.texts.push_back(text(FigureRect{0, 0, static_cast<double>(frame.canvas), 20 * u}, font1, FigureAlign::centre,
                                0, title));
    figure.texts.push_back(text(FigureRect{l, b + 30 * u, side, 25 * u}, font2, FigureAlign::centre, 0,
                                "Expected \u2212log10(p)"));
    // Turned a quarter to read upwards, centred 11 pixels from the left edge.
    figure.texts.push_back(text(FigureRect{11 * u - side / 2, middle - 10 * u, side, 20 * u}, font2,
                                FigureAlign::centre, 90, "Observed \u2212log10(p)"));
    figure.texts.push_back(text(FigureRect{l + 8 * u, b - side + 4 * u, 200 * u, 20 * u}, font2, FigureAlign::left, 0,
                                "\u03bb = " + formatLambda(lambda)));
    return figure;
}

}  // namespace vennrick
