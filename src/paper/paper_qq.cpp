// The paper QQ plot: a square plot area between the texts, both axes in the paper style's steps.
#include "paper/paper_qq.h"

#include <algorithm>

#include "analysis/qq_stats.h"

namespace vennrick {

PaperQq paperQqGeometry(double maxValue, int64_t usable, const std::string& title, const PlotSettings& settings) {
    PaperQq q;
    q.axis = settings.ymax > 0 ? cappedAxis(settings.ymax) : paperAxis(maxValue);
    q.xAxis = paperAxis(qqLargestExpected(usable));
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
    q.axes.xTop = q.xAxis.top;
    q.axes.xScale = q.side / q.xAxis.top;
    q.axes.left = left;
    q.axes.baseline = top + q.side;
    return q;
}

Figure layoutPaperQq(const PaperQq& q, int64_t usable, std::vector<PixelDot> dots, std::optional<double> lambda,
                     const std::string& title, const PlotSettings& settings, const std::vector<int>& capped) {
    const PaperMeasures m = paperMeasures(q.axis, settings);
    const double l = q.axes.left, b = q.axes.baseline, axisWidth = m.axisWidth;
    Figure figure;
    const int canvas = settings.imagesize.height;
    figure.width = figure.height = canvas;
    figure.dpi = settings.dpi;
    figure.antialiased = true;
    const FigurePolygon band = usable >= 2 ? qqBand(usable, q.axes, q.side, kPaperBand) : FigurePolygon{};
    if (usable >= 2) figure.polygons.push_back(band);
    figure.lines.push_back(FigureLine{l, b, l, b - q.side, kPaperInk, axisWidth});
    figure.lines.push_back(FigureLine{l, b, l + q.side, b, kPaperInk, axisWidth});
    const double perStep = q.side / static_cast<double>(q.axis.intervals);
    const int64_t everyUp = labelEvery(perStep, m.line, q.axis.intervals);
    for (int64_t k = 0; k <= q.axis.intervals; ++k) {
        const double value = static_cast<double>(k) * q.axis.step, at = value * q.axes.scale;
        figure.lines.push_back(FigureLine{l - m.tick, b - at, l, b - at, kPaperInk, axisWidth});
        if (k % everyUp == 0)
            figure.texts.push_back(paperText(FigureRect{l - m.tick - m.pad - m.tickWidth, b - at - m.line / 2, m.tickWidth, m.line},
                                             m.axisPoints, FigureAlign::right, tickText(value, q.axis.decimals)));
    }
    // A cap between two steps: a tick at the top, labelled with the cap where it clears the label below.
    const double lastStep = static_cast<double>(q.axis.intervals) * q.axis.step;
    if (settings.ymax > 0 && q.axis.top > lastStep * (1 + 1e-9)) {
        figure.lines.push_back(FigureLine{l - m.tick, b - q.side, l, b - q.side, kPaperInk, axisWidth});
        const int64_t lastLabel = q.axis.intervals / everyUp * everyUp;
        if ((q.axis.top - static_cast<double>(lastLabel) * q.axis.step) * q.axes.scale >= m.line)
            figure.texts.push_back(paperText(FigureRect{l - m.tick - m.pad - m.tickWidth, b - q.side - m.line / 2, m.tickWidth, m.line},
                                             m.axisPoints, FigureAlign::right, capText(q.axis.top)));
    }
    const double xTickWidth = textWidth(m.axisFont, tickText(q.xAxis.top, q.xAxis.decimals));
    const double perXStep = q.side / static_cast<double>(q.xAxis.intervals);
    const int64_t everyAcross = labelEvery(perXStep, xTickWidth + m.pad, q.xAxis.intervals);
    for (int64_t k = 0; k <= q.xAxis.intervals; ++k) {
        const double value = static_cast<double>(k) * q.xAxis.step, at = value * q.axes.xScale;
        figure.lines.push_back(FigureLine{l + at, b, l + at, b + m.tick, kPaperInk, axisWidth});
        if (k % everyAcross == 0)
            figure.texts.push_back(paperText(FigureRect{l + at - xTickWidth, b + m.tick + m.pad, 2 * xTickWidth, m.line},
                                             m.axisPoints, FigureAlign::centre, tickText(value, q.xAxis.decimals)));
    }
    const FigureLine diagonal = qqDiagonal(q.axes, settings.colours.hit, m.guideWidth);
    figure.lines.push_back(diagonal);
    const std::string lambdaText = "\u03bb = " + formatLambda(lambda);
    const double lambdaWidth = textWidth(m.axisFont, lambdaText) + m.pad;
    const std::optional<FigureRect> corner =
        qqFreeCorner(q.axes, q.side, lambdaWidth, m.line, m.pad * 2, dots, paperDot(settings) * m.perPoint / 2 + 1, band, diagonal);
    figure.points.push_back(PointLayer{settings.colours.first, paperDot(settings) * m.perPoint, std::move(dots), true});
    for (int x : capped)
        figure.polygons.push_back(capMarker(x + 0.5, b - q.side, 1.6 * paperHitDot(settings) * m.perPoint, settings.colours.first));

    const std::string shown = elidedText(m.titleFont, title, canvas - 2 * m.margin);
    if (!shown.empty())
        figure.texts.push_back(paperText(FigureRect{m.margin, m.margin, canvas - 2 * m.margin, lineHeight(m.titleFont)},
                                         m.titlePoints, FigureAlign::centre, shown));
    figure.texts.push_back(paperLogTitle(FigureRect{l, b + m.tick + m.pad + m.line + m.pad, q.side, m.line}, m.axisPoints,
                                         m.axisFont, "Expected "));
    figure.texts.push_back(paperLogTitle(FigureRect{m.margin + m.line / 2 - q.side / 2, b - q.side / 2 - m.line / 2, q.side, m.line},
                                         m.axisPoints, m.axisFont, "Observed ", 90));
    // Lambda in a corner of the frame that no point, band or diagonal reaches; else at the right of the title's line.
    figure.texts.push_back(paperText(corner ? *corner : FigureRect{canvas - m.margin - lambdaWidth, m.margin, lambdaWidth, m.line},
                                     m.axisPoints, FigureAlign::right, lambdaText));
    return figure;
}

}  // namespace vennrick
