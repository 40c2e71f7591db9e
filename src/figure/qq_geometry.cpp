// QQ geometry: the pixel columns of the ranks, the 95% band, and the points found per pixel row.
#include "figure/qq_geometry.h"

#include <algorithm>

namespace vennrick {
namespace {

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

}  // namespace

double qqLargestExpected(int64_t usable) {
    return usable < 1 ? 0 : expectedValue(usable - 1, usable, plottingOffset(usable));
}

FigureLine qqDiagonal(const QqAxes& axes, Colour colour, double width) {
    const double end = std::min(axes.xTop, axes.top);
    return FigureLine{axes.left, axes.baseline, axes.left + end * axes.xScale, axes.baseline - end * axes.scale, colour,
                      width};
}

namespace {

bool segmentsMeet(FigurePoint a, FigurePoint b, FigurePoint c, FigurePoint d) {
    auto cross = [](FigurePoint o, FigurePoint p, FigurePoint q) { return (p.x - o.x) * (q.y - o.y) - (p.y - o.y) * (q.x - o.x); };
    const double d1 = cross(c, d, a), d2 = cross(c, d, b), d3 = cross(a, b, c), d4 = cross(a, b, d);
    return ((d1 > 0) != (d2 > 0)) && ((d3 > 0) != (d4 > 0));
}

bool insideRect(FigurePoint p, const FigureRect& r) {
    return p.x >= r.left && p.x <= r.left + r.width && p.y >= r.top && p.y <= r.top + r.height;
}

// Whether a segment meets a rectangle: an end inside it, or an edge crossed.
bool segmentMeetsRect(FigurePoint a, FigurePoint b, const FigureRect& r) {
    if (insideRect(a, r) || insideRect(b, r)) return true;
    const FigurePoint c[4] = {{r.left, r.top}, {r.left + r.width, r.top}, {r.left + r.width, r.top + r.height},
                              {r.left, r.top + r.height}};
    for (int i = 0; i < 4; ++i)
        if (segmentsMeet(a, b, c[i], c[(i + 1) % 4])) return true;
    return false;
}

bool insidePolygon(FigurePoint p, const std::vector<FigurePoint>& v) {
    bool in = false;
    for (size_t i = 0, j = v.size() - 1; i < v.size(); j = i++)
        if ((v[i].y > p.y) != (v[j].y > p.y) && p.x < (v[j].x - v[i].x) * (p.y - v[i].y) / (v[j].y - v[i].y) + v[i].x)
            in = !in;
    return in;
}

}  // namespace

std::optional<FigureRect> qqFreeCorner(const QqAxes& axes, double side, double width, double height, double inset,
                                       const std::vector<PixelDot>& dots, double dotReach, const FigurePolygon& band,
                                       const FigureLine& diagonal) {
    const double l = axes.left, b = axes.baseline;
    const double right = l + side - inset - width, lowest = b - inset - height, leftmost = l + inset,
                 highest = b - side + inset;
    const FigureRect corners[4] = {{right, lowest, width, height},
                                   {leftmost, highest, width, height},
                                   {right, highest, width, height},
                                   {leftmost, lowest, width, height}};
    for (const FigureRect& r : corners) {
        if (width > side - 2 * inset || height > side - 2 * inset) break;
        const FigureRect grown{r.left - dotReach, r.top - dotReach, r.width + 2 * dotReach, r.height + 2 * dotReach};
        bool taken = segmentMeetsRect({diagonal.x1, diagonal.y1}, {diagonal.x2, diagonal.y2},
                                      {r.left - diagonal.width, r.top - diagonal.width, r.width + 2 * diagonal.width,
                                       r.height + 2 * diagonal.width});
        for (size_t i = 0; !taken && i < dots.size(); ++i)
            taken = insideRect({dots[i].x + 0.5, dots[i].y + 0.5}, grown);
        const std::vector<FigurePoint>& v = band.vertices;
        for (size_t i = 0; !taken && i < v.size(); ++i) taken = segmentMeetsRect(v[i], v[(i + 1) % v.size()], r);
        if (!taken && !v.empty()) taken = insidePolygon({r.left + r.width / 2, r.top + r.height / 2}, v);
        if (!taken) return r;
    }
    return std::nullopt;
}

FigurePolygon qqBand(int64_t n, const QqAxes& axes, double side, Colour colour) {
    const double l = axes.left, b = axes.baseline;
    FigurePolygon band{{}, colour, FigureRect{l, b - side, side, side}};
    const RankColumns columns{n, plottingOffset(n), axes.xScale, l};
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
        const double x = l + expectedValue(r, n, columns.a) * axes.xScale;
        const auto [pLow, pHigh] = orderStatisticBand(n - r, n);  // the p-rank of r is n - r
        band.vertices.push_back(FigurePoint{x, b + std::log10(pLow) * axes.scale});
        lower.push_back(FigurePoint{x, b + std::log10(pHigh) * axes.scale});
    }
    band.vertices.insert(band.vertices.end(), lower.rbegin(), lower.rend());
    for (const FigurePoint& v : band.vertices)
        if (!std::isfinite(v.y)) return FigurePolygon{{}, colour, band.clip};
    return band;
}

std::vector<PixelDot> qqDots(ValueView values, const QqSample& sample, const QqAxes& axes,
                             MedianGathering* gathering, std::vector<int>* capped) {
    std::vector<PixelDot> dots;
    if (sample.usable == 0) return dots;
    // Values per pixel row. y falls as the value grows, so the rows from the bottom up hold consecutive
    // stretches of ascending ranks.
    const int topRow = qqPixelY(std::min(sample.maxValue, axes.top), axes.scale, axes.baseline);
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
            // qqPixelY without its clamp, which no value from 0 to the largest one reaches: the same row. A value
            // above a cap falls on no row.
            if (v[i] > axes.top) continue;
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
    const RankColumns columns{sample.usable, plottingOffset(sample.usable), axes.xScale, axes.left};
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
    // The ranks above the cap are the last ones: their columns, each once.
    for (int64_t r = lo; capped != nullptr && r < sample.usable;) {
        const int x = columns.x(r);
        capped->push_back(x);
        r = columns.firstRightOf(x, r, sample.usable);
    }
    return dots;
}

std::vector<PixelDot> qqHighlightDots(ValueView values, const QqSample& sample, const QqAxes& axes,
                                      const std::vector<int64_t>& rows) {
    std::vector<PixelDot> dots;
    std::vector<double> wanted;
    for (int64_t row : rows)
        if (row >= 0 && static_cast<size_t>(row) < values.size() && takesPart(values[static_cast<size_t>(row)]))
            wanted.push_back(values[static_cast<size_t>(row)]);
    if (wanted.empty() || sample.usable == 0) return dots;
    std::sort(wanted.begin(), wanted.end());
    wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
    // atMost[k]: the usable values at or below wanted[k], counted as differences first.
    std::vector<int64_t> atMost(wanted.size() + 1, 0);
    for (double v : values)
        if (takesPart(v)) ++atMost[static_cast<size_t>(std::lower_bound(wanted.begin(), wanted.end(), v) - wanted.begin())];
    const RankColumns columns{sample.usable, plottingOffset(sample.usable), axes.xScale, axes.left};
    int64_t below = 0;
    for (size_t k = 0; k < wanted.size(); ++k) {
        below += atMost[k];
        const int64_t rank = std::clamp<int64_t>(below - 1, 0, sample.usable - 1);
        dots.push_back(PixelDot{columns.x(rank), qqPixelY(std::min(wanted[k], axes.top), axes.scale, axes.baseline)});
    }
    return dots;
}

}  // namespace vennrick
