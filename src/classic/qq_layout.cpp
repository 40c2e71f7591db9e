// The QQ plot as a Figure: axes, ticks, diagonal, band, texts, and points from rank stretches per pixel row.
#include "classic/qq_layout.h"

#include <QString>
#include <algorithm>
#include <tuple>
#include <utility>

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

// The ticks of one axis: the step of its maximum, a label on every m-th, m the least of 1, 2, 5, 10, 20, 50, ...
// that keeps the widest label (the top one) clear of the next. place(value, labelled) draws one tick.
template <class Place>
void addTicks(double top, int step, double scale, double u, Place&& place) {
    const double ticks = top / step + 1.0;
    if (!(ticks <= static_cast<double>(kMaxTickPositions))) return;
    const double gap = (kQqLabelSpace + kQqLabelChar * static_cast<double>(QString::number(top, 'f', 1).size())) * u;
    static constexpr int64_t kMantissas[] = {1, 2, 5};
    int64_t every = 1;
    for (int64_t k = 1, decade = 1; static_cast<double>(every) * step * scale < gap; ++k) {
        if (k % 3 == 0) decade *= 10;
        every = kMantissas[k % 3] * decade;
    }
    for (int64_t k = 0; k < static_cast<int64_t>(ticks); ++k) place(static_cast<double>(k) * step, k % every == 0);
}

void addAxes(Figure& figure, const QqAxes& axes, double u) {
    const double l = axes.left, b = axes.baseline, pen = 2 * u;
    const int right = qqPixelX(axes.xTop, axes.xScale, l), top = qqPixelY(axes.top, axes.scale, b);
    const int left = static_cast<int>(l), base = static_cast<int>(b);
    figure.lines.push_back(FigureLine{l, b, l, static_cast<double>(top), kAxisBlue, pen});
    figure.lines.push_back(FigureLine{l, b, static_cast<double>(right), b, kLineBlack, pen});
    addTicks(axes.xTop, axes.xStep, axes.xScale, u, [&](double v, bool labelled) {
        const int x = qqPixelX(v, axes.xScale, l);
        figure.lines.push_back(FigureLine{static_cast<double>(x), b, static_cast<double>(x), b + 4.0 * u, kAxisBlue, pen});
        if (labelled) figure.texts.push_back(tickLabel(x - 22 * u, base + 5 * u, 44 * u, 20 * u, v));
    });
    addTicks(axes.top, axes.step, axes.scale, u, [&](double v, bool labelled) {
        const int y = qqPixelY(v, axes.scale, b);
        figure.lines.push_back(FigureLine{l, static_cast<double>(y), l - 4.0 * u, static_cast<double>(y), kAxisBlue, pen});
        if (labelled) figure.texts.push_back(tickLabel(left - 48 * u, y - 17 * u, 44 * u, 35 * u, v));
    });
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


namespace {

// An axis from 0 to the largest value rounded up to the project's tick step: the step and the top.
std::pair<int, double> roundedAxis(double largest) {
    const int step = convertY(ytickSeed(largest));
    double top = std::ceil(largest / step) * step;
    if (!(top > 0)) top = step;
    return {step, top};
}

}  // namespace

QqAxes qqAxes(double maxValue, int64_t usable, const QqFrame& frame, double cap) {
    QqAxes axes;
    std::tie(axes.step, axes.top) = roundedAxis(cap > 0 ? cap : maxValue);
    if (cap > 0) axes.top = cap;
    std::tie(axes.xStep, axes.xTop) = roundedAxis(qqLargestExpected(usable));
    axes.scale = frame.side / axes.top;
    axes.xScale = frame.side / axes.xTop;
    axes.left = frame.left;
    axes.baseline = frame.baseline;
    return axes;
}


Figure layoutQq(int64_t usable, const QqAxes& axes, std::vector<PixelDot> dots, std::optional<double> lambda,
                const std::string& title, int font1, int font2, const QqFrame& frame, int dpi,
                const std::vector<int>& capped) {
    const double u = frame.unit, l = axes.left, b = axes.baseline, side = frame.side;
    Figure figure;
    figure.width = figure.height = frame.canvas;
    figure.dpi = dpi;
    const FigurePolygon band = usable >= 2 ? qqBand(usable, axes, side, kBandGrey) : FigurePolygon{};
    if (usable >= 2) figure.polygons.push_back(band);
    addAxes(figure, axes, u);
    const FigureLine diagonal = qqDiagonal(axes, kDiagonalRed, 2 * u);
    figure.lines.push_back(diagonal);
    const std::string lambdaText = "\u03bb = " + formatLambda(lambda);
    const std::optional<FigureRect> corner =
        qqFreeCorner(axes, side, 120 * u, 20 * u, 6 * u, dots, 2 * u, band, diagonal);
    figure.points.push_back(PointLayer{kAxisBlue, 2 * u, std::move(dots)});
    for (int x : capped) figure.polygons.push_back(capMarker(x + 0.5, b - side, 6 * u, kAxisBlue));

    const double middle = b - side / 2;
    figure.texts.push_back(text(FigureRect{0, 0, static_cast<double>(frame.canvas), 20 * u}, font1, FigureAlign::centre,
                                0, title));
    figure.texts.push_back(text(FigureRect{l, b + 30 * u, side, 25 * u}, font2, FigureAlign::centre, 0,
                                "Expected \u2212log10(p)"));
    // Turned a quarter to read upwards, centred 11 pixels from the left edge.
    figure.texts.push_back(text(FigureRect{11 * u - side / 2, middle - 10 * u, side, 20 * u}, font2,
                                FigureAlign::centre, 90, "Observed \u2212log10(p)"));
    // Lambda in a corner of the frame that no point, band or diagonal reaches; else above the frame's right end.
    figure.texts.push_back(text(corner ? *corner : FigureRect{l + side - 120 * u, b - side - 24 * u, 120 * u, 20 * u},
                                font2, FigureAlign::right, 0, lambdaText));
    return figure;
}

}  // namespace vennrick
