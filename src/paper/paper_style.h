// The paper style's look, shared by its figures: one font, lengths in points (1/72 inch) so that a figure at
// three times the pixels and three times the dpi is the same figure three times as sharp, colours, and the
// -log10(p) axis in round steps from 0.
#pragma once

#include <cstdint>
#include <string>

#include "figure/figure.h"
#include "settings/settings.h"
#include "figure/text_metrics.h"

namespace vennrick {

constexpr char kPaperFont[] = "Calibri";  // every text; Carlito, of the same widths, where Calibri is missing

// The paper style's lengths, points.
constexpr double kPaperMargin = 8;        // around the figure
constexpr double kPaperPad = 3;           // between a text and what it names
constexpr double kPaperTick = 3.5;        // tick mark length
constexpr double kPaperAxisWidth = 0.8;   // axis and tick lines
constexpr double kPaperGuideWidth = 0.8;  // significance, suggestive and diagonal lines
constexpr double kPaperDot = 2.4;         // point diameter
constexpr double kPaperHitDot = 3.6;      // hit point diameter

const Colour kPaperInk{0, 0, 0};               // axes, ticks, texts
const Colour kPaperSignificance{80, 80, 80};   // the significance line, dashed
const Colour kPaperSuggestive{150, 150, 150};  // the suggestive line, dashed
const Colour kPaperBand{150, 150, 150, 64};    // the QQ plot's 95% band

// The point and hit diameters in points: -pointsize and 1.5 times it, or the defaults above.
inline double paperDot(const PlotSettings& s) { return s.pointsize > 0 ? s.pointsize : kPaperDot; }
inline double paperHitDot(const PlotSettings& s) { return s.pointsize > 0 ? 1.5 * s.pointsize : kPaperHitDot; }

// The -log10(p) axis: 0 to top in steps of 1, 2 or 5 times a power of ten, 4 to 10 of them; whole steps when the
// largest value is above 3.
struct PaperAxis {
    double step = 1;        // -log10(p) units between ticks
    int64_t intervals = 1;  // steps from 0 to the top, 1 to 10
    double top = 1;         // the axis's top value, intervals * step
    int decimals = 0;       // decimals of the tick labels: none for whole steps
};

// The axis for a largest value (not finite or not above 0: the axis of 1).
PaperAxis paperAxis(double largest);

// The dashed guide lines across a -log10(p) axis: the significance line at the threshold and the suggestive line,
// each 0 when it is not drawn.
struct GuideLines {
    double significance = 0, suggestive = 0;
};
GuideLines guideLinesOf(const PlotSettings& settings);

// The largest value raised to the guide lines: what the -log10(p) axis must reach.
double reachingGuides(double largest, const GuideLines& guides);

// The guide lines that lie on an axis ending at top, across [left, right] at pixel row y(value).
template <class Y>
void addGuideLines(Figure& figure, const GuideLines& guides, double top, double left, double right, double width, Y&& y) {
    if (guides.suggestive > 0 && guides.suggestive <= top)
        figure.lines.push_back(FigureLine{left, y(guides.suggestive), right, y(guides.suggestive), kPaperSuggestive, width, true});
    if (guides.significance > 0 && guides.significance <= top)
        figure.lines.push_back(
            FigureLine{left, y(guides.significance), right, y(guides.significance), kPaperSignificance, width, true});
}

// The axis of a cap: the steps of paperAxis(cap), ending at the cap itself (a step or not).
PaperAxis cappedAxis(double cap);

// The label of a cap's tick: the shortest decimal text of the value ("12.5").
std::string capText(double value);

// A tick label: the value with the axis's decimals ("7", "0.5"); values from 1e15 on in scientific form.
std::string tickText(double value, int decimals);

// Every m-th tick is labelled, m the least of 1, 2, 5, 10, 20, ... that keeps labels `room` pixels apart at
// pixelsPerStep pixels per step; beyond every tick, only the tick at 0 (m = intervals + 1).
int64_t labelEvery(double pixelsPerStep, double room, int64_t intervals);

// A font size in points: the one asked for, the default for 0 or less, and never taller than the canvas.
int paperFontPoints(int32_t asked, int fallback, const PlotSettings& settings);

// The paper style's lengths and fonts at the settings' resolution, in pixels, for a figure with this axis.
struct PaperMeasures {
    double perPoint;                            // pixels per point
    double margin, pad, tick, line;             // the lengths above; line: the height of a line of the axis font
    double axisWidth, guideWidth;               // pen widths
    int titlePoints, axisPoints;                // -font1 (title) and -font2 (every other text)
    TextMeasure titleFont, axisFont;
    double tickWidth;                           // the widest tick label of the axis
};

PaperMeasures paperMeasures(const PaperAxis& axis, const PlotSettings& settings);

// A text of the paper style.
FigureText paperText(FigureRect box, int points, FigureAlign align, std::string text, double rotation = 0);

// The axis title PREFIX + "−log10(p)" typeset, the 10 a subscript and the p italic, centred in the box; where the
// plain text is wider than the box, the plain text elided.
FigureText paperLogTitle(FigureRect box, int points, const TextMeasure& measure, const std::string& prefix,
                         double rotation = 0);

}  // namespace vennrick
