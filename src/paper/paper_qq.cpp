// The paper QQ plot: a square plot area between the texts, both axes in the paper style's steps.
#include "paper/paper_qq.h"

#include <algorithm>

#include "analysis/qq_stats.h"

namespace vennrick {

PaperQq paperQqGeometry(double maxValue, int64_t usable, const std::string& title, const PlotSettings& settings) {
    PaperQq q;
    q.axis = paperAxis(qqLargest(maxValue, usable));
    const PaperMeasures m = paperMeasures(q.axis, settings);
    const int canvas = settings.imagesize.height;
    const double titleRoom = title.empty() ? 0 : lineHeight(m.titleFont) + m.pad;
    const double left = m.margin + m.line + m.pad + m.tickWidth + m.pad + m.tick;
    const double top = m.margin + titleRoom + m.line / 2;
    const double below = m.tick + m.pad + m.line + m.pad + m.line + m.margin;  // ticks, labels, axis title
    const double right = m.margin + m.tickWidth / 2;
    q.side = std::max(std::min(canvas - left - right, canvas - top - below), 1.0);
    q.axes.top = q.axis.top;
    q.axes.scale = q.side / q.axis.top;
    q.axes.left = left;
    q.axes.baseline = top + q.side;
    return q;
}

Figure layoutPaperQq(const PaperQq& q, int64_t usable, std::vector<PixelDot> dots, std::optional<double> lambda,
                     const std::string& title, const PlotSettings& settings) {
    const PaperMeasures m = paperMeasures(q.axis, settings);
    const double l = q.axes.left, b = q.axes.baseline, axisWidth = m.axisWidth;
    Figure figure;
    const int canvas = settings.imagesize.height;
    figure.width = figure.height = canvas;
    figure.dpi = settings.dpi;
    figure.antialiased = true;
    if (usable >= 2) figure.polygons.push_back(qqBand(usable, q.axes, q.side, kPaperBand));
    figure.lines.push_back(FigureLine{l, b, l, b - q.side, kPaperInk, axisWidth});
    figure.lines.push_back(FigureLine{l, b, l + q.side, b, kPaperInk, axisWidth});
    const double perStep = q.side / static_cast<double>(q.axis.intervals);
    const int64_t everyUp = labelEvery(perStep, m.line, q.axis.intervals);
    const int64_t everyAcross = labelEvery(perStep, m.tickWidth + m.pad, q.axis.intervals);
    for (int64_t k = 0; k <= q.axis.intervals; ++k) {
        const double value = static_cast<double>(k) * q.axis.step, at = value * q.axes.scale;
        const std::string text = tickText(value, q.axis.decimals);
        figure.lines.push_back(FigureLine{l - m.tick, b - at, l, b - at, kPaperInk, axisWidth});
        figure.lines.push_back(FigureLine{l + at, b, l + at, b + m.tick, kPaperInk, axisWidth});
        if (k % everyUp == 0)
            figure.texts.push_back(paperText(FigureRect{l - m.tick - m.pad - m.tickWidth, b - at - m.line / 2, m.tickWidth, m.line},
                                             m.axisPoints, FigureAlign::right, text));
        if (k % everyAcross == 0)
            figure.texts.push_back(paperText(FigureRect{l + at - m.tickWidth, b + m.tick + m.pad, 2 * m.tickWidth, m.line},
                                             m.axisPoints, FigureAlign::centre, text));
    }
    figure.lines.push_back(FigureLine{l, b, l + q.side, b - q.side, settings.colours.hit, m.guideWidth});
    figure.points.push_back(PointLayer{settings.colours.first, kPaperDot * m.perPoint, std::move(dots), true});

    const std::string shown = elidedText(m.titleFont, title, canvas - 2 * m.margin);
    if (!shown.empty())
        figure.texts.push_back(paperText(FigureRect{m.margin, m.margin, canvas - 2 * m.margin, lineHeight(m.titleFont)},
                                         m.titlePoints, FigureAlign::centre, shown));
    figure.texts.push_back(paperText(FigureRect{l, b + m.tick + m.pad + m.line + m.pad, q.side, m.line}, m.axisPoints,
                                     FigureAlign::centre, elidedText(m.axisFont, "Expected \u2212log10(p)", q.side)));
    figure.texts.push_back(paperText(FigureRect{m.margin + m.line / 2 - q.side / 2, b - q.side / 2 - m.line / 2, q.side, m.line},
                                     m.axisPoints, FigureAlign::centre,
                                     elidedText(m.axisFont, "Observed \u2212log10(p)", q.side), 90));
    figure.texts.push_back(paperText(FigureRect{l + m.pad * 2, b - q.side, q.side - m.pad * 2, m.line}, m.axisPoints,
                                     FigureAlign::left, "\u03bb = " + formatLambda(lambda)));
    return figure;
}

}  // namespace vennrick
