// The QQ plot as a Figure: axes, ticks, diagonal, band, texts, and points from rank stretches per pixel row.
#include "classic/qq_layout.h"

#include <QString>
#include <algorithm>

#include "classic/functions2.h"

namespace vennrick {
namespace {

const Colour kAxisBlue{kBlue.r, kBlue.g, kBlue.b};
const Colour kLineBlack{kBlack.r, kBlack.g, kBlack.b};
const Colour kDiagonalRed{kRed.r, kRed.g, kRed.b};
const Colour kBandGrey{kGrey.r, kGrey.g, kGrey.b, 64};  // the grey of the run colours, a quarter opaque
const char kFontFamily[] = "Calibri";

// The pixel columns of the ranks: x(r) grows with r, so the ranks of one column form a stretch.
struct RankColumns {
    int64_t n;
    double a, scale, left;

    int x(int64_t r) const { return qqPixelX(expectedValue(r, n, a), scale, left); }

    // The rank, as a real number, whose expected value lies at pixel x `pixel`: the inverse of expectedValue, an
    // estimate that x(r) then settles.
    double rankAt(double pixel) const {
        const double expected = (pixel - left) / scale;
        return static_cast<double>(n) - a - std::pow(10.0, -expected) * (static_cast<double>(n) + 1.0 - 2.0 * a);
    }

    // The first rank of (r, hi] whose column lies right of x(r) = column; hi when there is none. Starts from
    // the estimate and settles it with the exact x(r): galloping away from it, then halving.
    int64_t firstRightOf(int column, int64_t r, int64_t hi) const {
        const double estimate = std::ceil(rankAt(column + 1.0));
        int64_t guess = hi;
        if (estimate < static_cast<double>(hi)) guess = std::max(r + 1, static_cast<int64_t>(std::max(estimate, 0.0)));
        int64_t left, right;  // x(left) <= column, and right == hi or x(right) > column
        if (guess < hi && x(guess) <= column) {
            left = guess;
            for (int64_t step = 1;; step *= 2) {
                right = left + step;
                if (right >= hi) { right = hi; break; }
                if (x(right) > column) break;
                left = right;
            }
        } else {
            right = guess;
            for (int64_t step = 1;; step *= 2) {
                left = right - step;
                if (left <= r) { left = r; break; }
                if (x(left) <= column) break;
                right = left;
            }
        }
        while (right - left > 1) {
            const int64_t middle = left + (right - left) / 2;
            (x(middle) > column ? right : left) = middle;
        }
        return right;
    }
};

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

FigurePolygon qqBand(int64_t n, const QqAxes& axes, double side, Colour colour) {
    const double l = axes.left, b = axes.baseline;
    FigurePolygon band{{}, colour, FigureRect{l, b - side, side, side}};
    const RankColumns columns{n, plottingOffset(n), axes.scale, l};
    // Sampled at one rank per pixel column (and at both ends), since a finer outline would not change the filled
    // pixels by more than one.
    std::vector<int64_t> ranks = {0, n - 1};
    for (int x = columns.x(0); x <= columns.x(n - 1); ++x) {
        const double r = std::round(columns.rankAt(x));
        if (r > 0 && r < static_cast<double>(n - 1)) ranks.push_back(static_cast<int64_t>(r));
    }
    std::sort(ranks.begin(), ranks.end());
    ranks.erase(std::unique(ranks.begin(), ranks.end()), ranks.end());
    std::vector<FigurePoint> lower;
    for (int64_t r : ranks) {
        const double x = l + expectedValue(r, n, columns.a) * axes.scale;
        const auto [pLow, pHigh] = orderStatisticBand(n - r, n);  // the p-rank of r is n - r
        band.vertices.push_back(FigurePoint{x, b + std::log10(pLow) * axes.scale});
        lower.push_back(FigurePoint{x, b + std::log10(pHigh) * axes.scale});
    }
    band.vertices.insert(band.vertices.end(), lower.rbegin(), lower.rend());
    for (const FigurePoint& v : band.vertices)
        if (!std::isfinite(v.y)) return FigurePolygon{{}, colour, band.clip};
    return band;
}

namespace {

FigureText text(FigureRect box, int size, FigureAlign align, double rotation, std::string content) {
    return FigureText{box, kFontFamily, size, align, kLineBlack, rotation, std::move(content)};
}

}  // namespace

QqFrame qqFrame(int canvas, int dpi) {
    QqFrame f;
    f.canvas = canvas;
    f.unit = dpi / 96.0;
    f.left = kQqLeft * f.unit;
    f.baseline = canvas - (kQqCanvas - kQqBaseline) * f.unit;
    f.side = std::max(canvas - (kQqCanvas - kQqSide) * f.unit, 1.0);
    return f;
}

double qqLargest(double maxValue, int64_t usable) {
    if (usable < 1) return maxValue;
    return std::max(maxValue, expectedValue(usable - 1, usable, plottingOffset(usable)));
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

std::vector<PixelDot> qqDots(ValueView values, const QqSample& sample, const QqAxes& axes,
                             MedianGathering* gathering) {
    std::vector<PixelDot> dots;
    if (sample.usable == 0) return dots;
    // Values per pixel row. y falls as the value grows, so the rows from the bottom up hold consecutive
    // stretches of ascending ranks.
    const int topRow = qqPixelY(sample.maxValue, axes.scale, axes.baseline);
    const int bottomRow = qqPixelY(0.0, axes.scale, axes.baseline);
    // Values per pixel row, counted in four sets for every fourth value: most values fall in a few rows near the
    // bottom, and with one set each count would wait for the one before.
    const size_t rows = static_cast<size_t>(bottomRow - topRow) + 1;
    std::vector<int64_t> counts(4 * rows, 0);
    const auto countRows = [&](auto&& alsoOffer) {
        const double* v = values.data();
        const size_t n = values.size();
        for (size_t i = 0; i < n; ++i) {
            alsoOffer(v[i]);
            if (!takesPart(v[i])) continue;
            // qqPixelY without its clamp, which no value from 0 to the largest one reaches: the same row.
            const auto row = static_cast<size_t>(static_cast<int>(axes.baseline - v[i] * axes.scale) - topRow);
            if (row < rows) ++counts[(i & 3) * rows + row];
        }
    };
    if (gathering != nullptr)
        countRows([gathering](double v) { offer(*gathering, v); });
    else
        countRows([](double) {});
    std::vector<int64_t> perRow(counts.begin(), counts.begin() + static_cast<ptrdiff_t>(rows));
    for (size_t set = 1; set < 4; ++set)
        for (size_t row = 0; row < rows; ++row) perRow[row] += counts[set * rows + row];
    const RankColumns columns{sample.usable, plottingOffset(sample.usable), axes.scale, axes.left};
    int64_t lo = 0;
    for (int y = bottomRow; y >= topRow; --y) {
        const int64_t hi = lo + perRow[static_cast<size_t>(y - topRow)];
        for (int64_t r = lo; r < hi;) {
            const int x = columns.x(r);
            dots.push_back(PixelDot{x, y});
            r = columns.firstRightOf(x, r, hi);
        }
        lo = hi;
    }
    return dots;
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
