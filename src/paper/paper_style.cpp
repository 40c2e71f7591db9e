// The paper style's axis steps, tick texts, font sizes and texts.
#include "paper/paper_style.h"

#include <QString>
#include <algorithm>
#include <cmath>

namespace vennrick {

GuideLines guideLinesOf(const PlotSettings& settings) {
    const double threshold = static_cast<double>(settings.threshold);
    return GuideLines{std::isfinite(threshold) && threshold > 0 ? threshold : 0,
                      settings.suggestive > 0 ? static_cast<double>(settings.suggestive) : 0};
}

double reachingGuides(double largest, const GuideLines& guides) {
    return std::max({largest, guides.significance, guides.suggestive});
}

PaperAxis paperAxis(double largest) {
    if (!std::isfinite(largest) || !(largest > 1e-12)) largest = 1;
    PaperAxis axis;
    const double base = std::pow(10.0, std::floor(std::log10(largest / 10)));
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        axis.step = m * base;
        if (std::ceil(largest / axis.step - 1e-9) <= 10) break;
    }
    if (largest > 3) axis.step = std::max(axis.step, 1.0);
    axis.intervals = std::max<int64_t>(1, static_cast<int64_t>(std::ceil(largest / axis.step - 1e-9)));
    axis.top = static_cast<double>(axis.intervals) * axis.step;
    if (!std::isfinite(axis.top)) axis.top = largest;  // a step near the largest double
    axis.decimals = axis.step >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(axis.step) - 1e-9));
    return axis;
}

PaperAxis cappedAxis(double cap) {
    PaperAxis axis = paperAxis(cap);
    if (!(std::isfinite(cap) && cap > 0)) return axis;
    axis.intervals = std::max<int64_t>(1, static_cast<int64_t>(std::floor(cap / axis.step + 1e-9)));
    axis.top = cap;
    return axis;
}

std::string capText(double value) { return QString::number(value, 'g', 6).toStdString(); }

std::string tickText(double value, int decimals) {
    if (std::fabs(value) >= 1e15) return QString::number(value, 'g', 3).toStdString();
    return QString::number(value, 'f', decimals).toStdString();
}

int64_t labelEvery(double pixelsPerStep, double room, int64_t intervals) {
    static constexpr int64_t kMantissas[] = {1, 2, 5};
    for (int64_t decade = 1; decade <= intervals; decade *= 10)
        for (int64_t m : kMantissas)
            if (static_cast<double>(m * decade) * pixelsPerStep >= room) return m * decade;
    return intervals + 1;  // only the tick at 0
}

int paperFontPoints(int32_t asked, int fallback, const PlotSettings& s) {
    const int most = std::max(1, static_cast<int>(s.imagesize.height * 72.0 / s.dpi));
    return std::clamp(asked > 0 ? asked : fallback, 1, most);
}

PaperMeasures paperMeasures(const PaperAxis& axis, const PlotSettings& s) {
    const double perPoint = s.dpi / 72.0;
    const int titlePoints = paperFontPoints(s.font1, 12, s), axisPoints = paperFontPoints(s.font2, 10, s);
    PaperMeasures m{perPoint,
                    kPaperMargin * perPoint,
                    kPaperPad * perPoint,
                    kPaperTick * perPoint,
                    0,
                    kPaperAxisWidth * perPoint,
                    kPaperGuideWidth * perPoint,
                    titlePoints,
                    axisPoints,
                    measureFor(kPaperFont, titlePoints, s.dpi),
                    measureFor(kPaperFont, axisPoints, s.dpi),
                    0};
    m.line = lineHeight(m.axisFont);
    for (int64_t k = 0; k <= axis.intervals; ++k)
        m.tickWidth = std::max(m.tickWidth, textWidth(m.axisFont, tickText(static_cast<double>(k) * axis.step, axis.decimals)));
    return m;
}

FigureText paperText(FigureRect box, int points, FigureAlign align, std::string text, double rotation) {
    return FigureText{box, kPaperFont, points, align, kPaperInk, rotation, std::move(text)};
}

FigureText paperLogTitle(FigureRect box, int points, const TextMeasure& measure, const std::string& prefix,
                         double rotation) {
    const std::string plain = prefix + "\u2212log10(p)";
    FigureText text = paperText(box, points, FigureAlign::centre, elidedText(measure, plain, box.width), rotation);
    if (textWidth(measure, plain) <= box.width)
        text.runs = {{prefix + "\u2212log"}, {"10", false, true}, {"("}, {"p", true}, {")"}};
    return text;
}

}  // namespace vennrick
