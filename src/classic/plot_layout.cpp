// The documented picture's geometry: scales, positions laid end to end, axis lines, ticks, texts and points.
#include "classic/plot_layout.h"

#include <QString>
#include <algorithm>
#include <limits>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "classic/functions2.h"
#include "base/parallel.h"

namespace vennrick {

namespace {

// Positions laid end to end: inside a run every row keeps its distance from the run's first row, and the
// first row of a run lies one unit after the previous run's last row (1 for the first run). A run's rows
// are its positions as read plus the run's shift. The sums are 64-bit, so many chromosomes or huge
// positions cannot overflow.
struct Cumulative {
    int64_t last = 0;                 // cumulative position of the last row
    std::vector<int64_t> shiftAtRow;  // shift of the run that holds each row asked for
};

// Reads the positions as read (nothing is written): the last cumulative position, and the shift of the run
// holding each of rows (ascending).
Cumulative walkRuns(const PlotData& data, const std::vector<int64_t>& rows) {
    const int32_t* pos = data.Pos_list.data();
    Cumulative c;
    c.shiftAtRow.assign(rows.size(), 0);
    size_t next = 0;
    forEachRun(data.ID_list, [&](const std::string&, int64_t first, int64_t count) {
        const int64_t shift = c.last + 1 - pos[first];
        for (; next < rows.size() && rows[next] < first + count; ++next) c.shiftAtRow[next] = shift;
        c.last = pos[first + count - 1] + shift;
    });
    return c;
}

constexpr double kIntLow = std::numeric_limits<int32_t>::min(), kIntHigh = std::numeric_limits<int32_t>::max();

// detail::rescaleRun one position at a time.
void rescaleOneByOne(int32_t* pos, int64_t count, int64_t shift, double mx, double bot) {
    for (int64_t i = 0; i < count; ++i)
        pos[i] = static_cast<int32_t>(std::clamp(static_cast<double>(pos[i] + shift) * mx / bot, kIntLow, kIntHigh));
}

#if defined(__x86_64__)
// GCC 12 takes the undefined vectors the conversion intrinsics start from for uninitialised variables.
#pragma GCC diagnostic push
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
// rescaleOneByOne eight positions at a time with the same operations (a division each is what the time goes
// to, and eight take about as long as two): the same coordinates.
[[gnu::target("avx512f,avx512dq")]] void rescaleByEight(int32_t* pos, int64_t count, int64_t shift, double mx,
                                                         double bot) {
    const __m512i shifts = _mm512_set1_epi64(shift);
    const __m512d factor = _mm512_set1_pd(mx), divisor = _mm512_set1_pd(bot);
    const __m512d low = _mm512_set1_pd(kIntLow), high = _mm512_set1_pd(kIntHigh);
    int64_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m512i cumulative =
            _mm512_add_epi64(_mm512_cvtepi32_epi64(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(pos + i))), shifts);
        const __m512d x = _mm512_div_pd(_mm512_mul_pd(_mm512_cvtepi64_pd(cumulative), factor), divisor);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(pos + i), _mm512_cvttpd_epi32(_mm512_min_pd(_mm512_max_pd(x, low), high)));
    }
    rescaleOneByOne(pos + i, count - i, shift, mx, bot);
}
#pragma GCC diagnostic pop
#endif

// detail::rescaleRun the fastest way the processor has.
void rescale(int32_t* pos, int64_t count, int64_t shift, double mx, double bot) {
    static const bool byEight = detail::canRescaleByEight();
    detail::rescaleRun(pos, count, shift, mx, bot, byEight);
}

// Rewrites rows [begin, end) of Pos_list to plot x-coordinates: each cumulative position times N over the
// last one (bot), the product first, truncated toward zero and clamped to the int range. shiftAtBegin is the
// shift of the run holding row begin. Only positions inside [begin, end) are read, each before it is
// rewritten, so calls on disjoint ranges can run at the same time.
void rewriteRows(PlotData& data, int64_t begin, int64_t end, int64_t shiftAtBegin, double bot) {
    const double mx = static_cast<double>(data.maxX);
    int32_t* pos = data.Pos_list.data();
    bool started = false;
    int64_t previous = 0;  // cumulative position of the previous run's last row
    forEachRun(data.ID_list, [&](const std::string&, int64_t first, int64_t count) {
        const int64_t stop = first + count;
        if (stop <= begin || first >= end) return;
        const int64_t shift = started ? previous + 1 - pos[first] : shiftAtBegin;
        started = true;
        if (stop < end) previous = pos[stop - 1] + shift;  // taken before the run is rewritten
        const int64_t from = std::max(first, begin);
        rescale(pos + from, std::min(stop, end) - from, shift, mx, bot);
    });
}

// Rewrites Pos_list to plot x-coordinates, with up to `threads` equal parts of the rows at the same time
// when there are many rows. False, leaving Pos_list as read, when the last cumulative position is 0 or less
// (positions decreasing inside a run), where the scaling has no meaning.
bool rescalePositions(PlotData& data, unsigned threads) {
    const unsigned parts = partsFor(data.maxX, threads, kRowsPerThreadMinimum, threads);
    std::vector<int64_t> begins(parts);
    for (unsigned k = 0; k < parts; ++k) begins[k] = partBegin(data.maxX, k, parts);
    const Cumulative c = walkRuns(data, begins);
    if (c.last <= 0) return false;
    const double bot = static_cast<double>(c.last);
    runInParallel(parts, [&](unsigned k) {
        rewriteRows(data, begins[k], partBegin(data.maxX, k + 1, parts), c.shiftAtRow[k], bot);
    });
    return true;
}

std::optional<Line> lineOrNone(double x1, double y1, double x2, double y2, Colour colour) {
    if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(x2) || !std::isfinite(y2)) return std::nullopt;
    return Line{truncatePixel(x1), truncatePixel(y1), truncatePixel(x2), truncatePixel(y2), colour};
}

// Whether tick index k carries a label: a counter starting at -1 is raised at every index and reset to 0
// when it reaches ynum, so labels fall on the positive multiples of ynum, only on index 0 for ynum 0, and
// nowhere for a negative ynum.
bool labelDue(int64_t k, int32_t ynum) {
    if (ynum > 0) return k > 0 && k % ynum == 0;
    return ynum == 0 && k == 0;
}

void layoutTicks(PlotLayout& layout, double minY, double maxY, int32_t ynum) {
    const ClassicFrame& f = layout.frame;
    layout.ytick = convertY(ytickSeed(layout.yrange));
    const double ytick = layout.ytick;
    // Tick positions k = 0 .. trunc(maxY / ytick); those below trunc(minY / ytick) are skipped and draw
    // nothing, so the examination starts at the first unskipped one. Without a finite, exactly countable
    // range there is no scale.
    const double top = maxY / ytick, bottom = minY / ytick;
    if (!std::isfinite(top) || !std::isfinite(bottom)) return;
    const double count = std::trunc(top) + 1.0;
    const double first = std::max(0.0, std::trunc(bottom));
    if (first >= count || count > 9007199254740992.0 || count - first > static_cast<double>(kMaxTickPositions))
        return;
    const int64_t end = static_cast<int64_t>(count);
    for (int64_t k = static_cast<int64_t>(first); k < end; ++k) {
        const double v = static_cast<double>(k) * ytick;
        const double y = pixelY(v, minY, layout.pixPerY, f.baseline);
        Tick tick{v, std::nullopt, std::nullopt};
        if (std::isfinite(y)) {
            tick.mark = lineOrNone(f.left, y, f.left - 4.0 * f.unit, y, kBlue);
            if (labelDue(k, ynum) && minY != 0.0)
                tick.label = TextBox{static_cast<int>(f.left - 48.0 * f.unit), truncatePixel(y - 17.0 * f.unit),
                                     truncatePixel(44 * f.unit), truncatePixel(35 * f.unit),
                                     TextAlign::centre, TextFont::initial, kBlue,
                                     QString::number(v, 'f', 1).toStdString()};
        }
        layout.ticks.push_back(std::move(tick));
    }
}

}  // namespace

bool detail::canRescaleByEight() {
#if defined(__x86_64__)
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq");
#else
    return false;
#endif
}

void detail::rescaleRun(int32_t* pos, int64_t count, int64_t shift, double mx, double bot, bool byEight) {
#if defined(__x86_64__)
    if (byEight) return rescaleByEight(pos, count, shift, mx, bot);
#endif
    rescaleOneByOne(pos, count, shift, mx, bot);
}

int ytickSeed(double yrange) {
    if (!(yrange > 10.0)) return 1;
    const double q = yrange / 10.0;
    if (!(q < 2147483648.0)) return 1;
    return static_cast<int>(q);
}

ClassicFrame classicFrame(int width, int height, int dpi) {
    ClassicFrame f;
    f.width = width, f.height = height;
    f.unit = dpiScale(dpi);
    const double margin = (kCanvasHeight - kBaseline) * f.unit;
    f.left = margin, f.baseline = height - margin;
    f.plotWidth = std::max(width - 2 * margin, 1.0), f.plotHeight = std::max(height - 2 * margin, 1.0);
    return f;
}

bool rewritePositionsAsPlotX(PlotData& data, const PlotSettings& settings, unsigned threads) {
    return settings.poscolumn != 0 && !data.Pos_list.empty() && rescalePositions(data, threads);
}

Outcome<PlotLayout> layoutPlot(const PlotData& data, const PlotSettings& settings, bool byPosition,
                               const ClassicFrame& frame) {
    if (std::optional<Fatal> refused = checkKeptRows(data)) return *refused;

    PlotLayout layout;
    layout.frame = frame;
    layout.N = data.maxX;
    layout.byPosition = byPosition;
    layout.pixPerX = frame.plotWidth / static_cast<double>(layout.N);
    // -ymax (only beyond the documented picture, which the caller leaves without it): the axis ends at the cap.
    const double maxY = settings.ymax > 0 && settings.ymax > data.minY && settings.ymax < data.maxY ? settings.ymax : data.maxY;
    if (maxY != data.maxY) layout.cap = maxY;
    layout.yrange = maxY - data.minY;
    layout.pixPerY = frame.plotHeight / layout.yrange;
    layout.minY = data.minY;
    layout.threshold = static_cast<double>(settings.threshold);
    layout.xnum = settings.xnum;
    layout.font1 = settings.font1;
    layout.font2 = settings.font2;

    const double x0 = frame.left, xN = x0 + static_cast<double>(layout.N) * layout.pixPerX;
    const double yb = pixelY(data.minY, data.minY, layout.pixPerY, frame.baseline);
    const double yt = pixelY(maxY, data.minY, layout.pixPerY, frame.baseline);
    const double y0 = pixelY(0.0, data.minY, layout.pixPerY, frame.baseline);
    for (std::optional<Line> line : {lineOrNone(x0, yb, x0, yt, kBlue), lineOrNone(x0, y0, xN, y0, kBlack),
                                     lineOrNone(x0, yb, xN, yb, kBlack)})
        if (line) layout.axisLines.push_back(*line);

    layoutTicks(layout, data.minY, maxY, settings.ynum);

    layout.title = TextBox{0, 0, frame.width, truncatePixel(20 * frame.unit), TextAlign::centre, TextFont::title,
                           kBlack, plotTitle(settings)};
    return layout;
}

Outcome<PlotLayout> rewritePositionsAndLayOut(PlotData& data, const PlotSettings& settings, unsigned threads,
                                              const ClassicFrame& frame) {
    if (std::optional<Fatal> refused = checkKeptRows(data)) return *refused;
    return layoutPlot(data, settings, rewritePositionsAsPlotX(data, settings, threads), frame);
}

}  // namespace vennrick
