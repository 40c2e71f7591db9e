// Laying out a regional plot on the figure model.
#include "region/region_figure.h"

#include <algorithm>
#include <cmath>

#include "figure/figure_labels.h"
#include "figure/text_metrics.h"
#include "paper/paper_style.h"

namespace vennrick {
namespace {


// Round steps of the position axis, in base pairs: 1, 2 or 5 times a power of ten, 4 to 10 of them.
double positionStep(double span) {
    if (!(span > 0)) return 1;
    const double base = std::pow(10.0, std::floor(std::log10(span / 10)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (span / (m * base) <= 10) return std::max(1.0, m * base);
    return std::max(1.0, 10 * base);
}

// Mb with as many decimals as the step needs.
std::string mbText(double bp, double step) {
    const int decimals = std::clamp(static_cast<int>(std::ceil(-std::log10(step / 1e6) - 1e-9)), 0, 6);
    return tickText(bp / 1e6, decimals);
}

FigurePolygon rectangle(double left, double top, double right, double bottom, Colour colour) {
    return FigurePolygon{{{left, top}, {right, top}, {right, bottom}, {left, bottom}}, colour, std::nullopt};
}

}  // namespace

int ldBin(double r2) {
    if (!std::isfinite(r2)) return -1;
    return std::clamp(static_cast<int>(std::floor(r2 * 5 + 1e-12)), 0, 4);
}

std::string ldBinText(int bin) {
    static const char* const kTexts[] = {"0\u20130.2", "0.2\u20130.4", "0.4\u20130.6", "0.6\u20130.8", "0.8\u20131"};
    return bin >= 0 && bin < 5 ? kTexts[bin] : "unknown";
}

RegionFigure layoutRegion(const RegionPlot& plot, const PlotSettings& given) {
    PlotSettings s = given;
    s.imagesize = given.region.size;
    RegionFigure out;
    Figure& f = out.figure;
    f.width = s.imagesize.width;
    f.height = s.imagesize.height;
    f.dpi = s.dpi;
    f.antialiased = true;

    const GuideLines guides = guideLinesOf(s);
    double largest = 0;
    for (const RegionPoint& p : plot.points)
        if (std::isfinite(p.value)) largest = std::max(largest, p.value);
    largest = reachingGuides(largest, guides);
    const PaperAxis axis = paperAxis(largest * 1.08);  // room above the lead for its name
    const PaperMeasures m = paperMeasures(axis, s);
    const double margin = m.margin, pad = m.pad, tick = m.tick, line = m.line;
    const double offset = (kPaperHitDot / 2 + 1) * m.perPoint;

    // Across: y title, tick labels, ticks, the plot.
    const double tickLabelsLeft = margin + line + pad;
    const double axisX = tickLabelsLeft + m.tickWidth + pad + tick;
    const double right = std::max(f.width - margin, axisX + 10);
    const double left = axisX + offset;
    const double span = std::max(1.0, static_cast<double>(plot.end) - plot.start);
    auto xOf = [&](double pos) { return left + (pos - plot.start) / span * (right - left); };

    // Down: title, points, gene panel, position axis, its title.
    const std::string title = elidedText(
        m.titleFont, plot.leadName + "  \u00b7  " + plot.chrom + ":" + std::to_string(plot.start) + "\u2013" + std::to_string(plot.end),
        f.width - 2 * margin);
    const double titleLine = lineHeight(m.titleFont);
    const double top = margin + titleLine + pad + line / 2;
    const double axisY = f.height - margin - line - pad - line - pad - tick;
    const double room = std::max(axisY - top, 20.0);
    const double geneHeight = plot.genePanel ? std::min(room * 0.38, room - 10) : 0;
    const double pointsBottom = axisY - geneHeight;  // the bottom line of the point panel
    const double zero = std::max(pointsBottom - offset, top + 1);
    auto yOf = [&](double value) { return zero - value / axis.top * (zero - top); };

    // Axes and ticks.
    f.lines.push_back(FigureLine{axisX, top, axisX, pointsBottom, kPaperInk, m.axisWidth});
    f.lines.push_back(FigureLine{axisX, pointsBottom, right, pointsBottom, kPaperInk, m.axisWidth});
    if (plot.genePanel) f.lines.push_back(FigureLine{axisX, axisY, right, axisY, kPaperInk, m.axisWidth});
    const double pixelsPerStep = (zero - top) / static_cast<double>(axis.intervals);
    const int64_t every = labelEvery(pixelsPerStep, line, axis.intervals);
    for (int64_t k = 0; k <= axis.intervals; ++k) {
        const double value = static_cast<double>(k) * axis.step, y = yOf(value);
        f.lines.push_back(FigureLine{axisX - tick, y, axisX, y, kPaperInk, m.axisWidth});
        if (k % every == 0)
            f.texts.push_back(paperText(FigureRect{tickLabelsLeft, y - line / 2, m.tickWidth, line}, m.axisPoints,
                                        FigureAlign::right, tickText(value, axis.decimals)));
    }
    const double step = positionStep(span);
    const double widest = textWidth(m.axisFont, mbText(plot.end, step)) + 2 * pad;
    const int64_t stepsShown = std::max<int64_t>(1, static_cast<int64_t>(std::ceil(widest / (step / span * (right - left)))));
    int64_t k = 0;
    for (double bp = std::ceil(plot.start / step) * step; bp <= plot.end; bp += step, ++k) {
        const double x = xOf(bp);
        f.lines.push_back(FigureLine{x, axisY, x, axisY + tick, kPaperInk, m.axisWidth});
        if (plot.genePanel) f.lines.push_back(FigureLine{x, pointsBottom, x, pointsBottom + tick, kPaperInk, m.axisWidth});
        if (k % stepsShown == 0)
            f.texts.push_back(paperText(FigureRect{x - widest / 2, axisY + tick + pad, widest, line}, m.axisPoints,
                                        FigureAlign::centre, mbText(bp, step)));
    }
    addGuideLines(f, guides, axis.top, axisX, right, m.guideWidth, yOf);

    // Texts: title, axis titles.
    f.texts.push_back(paperText(FigureRect{margin, margin, f.width - 2 * margin, titleLine}, m.titlePoints,
                                FigureAlign::centre, title));
    f.texts.push_back(paperText(FigureRect{axisX, f.height - margin - line, right - axisX, line}, m.axisPoints,
                                FigureAlign::centre, "Position on " + plot.chrom + " (Mb)"));
    const double plotHeight = pointsBottom - top;
    f.texts.push_back(paperLogTitle(FigureRect{margin + line / 2 - plotHeight / 2, (top + pointsBottom) / 2 - line / 2, plotHeight, line},
                                    m.axisPoints, m.axisFont, "", 90));

    // Points: unknown r2 first, then the bins from low to high, so that the close ones lie on top.
    const double dot = kPaperHitDot * m.perPoint;
    std::vector<std::vector<PixelDot>> layers(6);
    for (size_t i = 0; i < plot.points.size(); ++i) {
        if (i == plot.lead || !std::isfinite(plot.points[i].value)) continue;
        const double x = xOf(plot.points[i].pos), y = yOf(std::max(0.0, plot.points[i].value));
        layers[static_cast<size_t>(ldBin(plot.points[i].r2) + 1)].push_back(
            PixelDot{static_cast<int32_t>(std::lround(x)), static_cast<int32_t>(std::lround(y))});
    }
    for (auto& layer : layers) {
        std::sort(layer.begin(), layer.end(), [](PixelDot a, PixelDot b) { return a.x != b.x ? a.x < b.x : a.y < b.y; });
        layer.erase(std::unique(layer.begin(), layer.end(), [](PixelDot a, PixelDot b) { return a.x == b.x && a.y == b.y; }),
                    layer.end());
    }
    f.points.push_back(PointLayer{plot.ld ? kLdUnknown : s.colours.first, dot, std::move(layers[0]), true});
    for (int b = 0; b < 5; ++b) f.points.push_back(PointLayer{kLdColours[b], dot, std::move(layers[b + 1]), true});

    // The lead: a diamond over the points; its name is placed once everything else of the panel is drawn.
    if (plot.lead < plot.points.size()) {
        const double x = xOf(plot.points[plot.lead].pos), y = yOf(std::max(0.0, plot.points[plot.lead].value));
        const double r = 2.6 * m.perPoint;
        f.polygons.push_back(FigurePolygon{{{x, y - r * 1.3}, {x + r, y}, {x, y + r * 1.3}, {x - r, y}}, kLeadColour, std::nullopt});
    }
    // The diamond is a polygon, painted under the point layers: it is drawn again over them as a layer of one disc.
    if (plot.lead < plot.points.size()) {
        const double x = xOf(plot.points[plot.lead].pos), y = yOf(std::max(0.0, plot.points[plot.lead].value));
        f.points.push_back(PointLayer{kLeadColour, 2.2 * m.perPoint,
                                      {PixelDot{static_cast<int32_t>(std::lround(x)), static_cast<int32_t>(std::lround(y))}}, true});
    }

    // Legend, in a top corner of the point panel.
    PixelRect legendRect;
    {
        std::vector<std::string> entries;
        std::string head;
        if (!plot.ld) head = "r\u00b2 not given";
        else if (!plot.ldNote.empty()) head = "r\u00b2 unknown: " + plot.ldNote;
        else head = "r\u00b2 with " + plot.leadName;
        if (plot.ld && plot.ldNote.empty())
            for (int b = 4; b >= 0; --b) entries.push_back(ldBinText(b));
        if (plot.ld) entries.push_back("unknown");
        const double swatch = line * 0.7;
        double width = textWidth(m.axisFont, head);
        for (const std::string& e : entries) width = std::max(width, swatch + pad + textWidth(m.axisFont, e));
        width = std::min(width + 2 * pad, (right - axisX) * 0.6);
        // In the corner away from the lead, which stands at the top of the panel with its name.
        const bool leadRight = plot.lead < plot.points.size() && xOf(plot.points[plot.lead].pos) > (axisX + right) / 2;
        const double lx = leadRight ? axisX + 2 * pad : right - width - pad;
        double y = top;
        f.polygons.push_back(rectangle(lx - pad, y - pad, lx + width + pad / 2, y + line * (1 + entries.size()) + pad,
                                       Colour{255, 255, 255, 230}));
        legendRect = PixelRect{static_cast<int>(std::floor(lx - pad)), static_cast<int>(std::floor(y - pad)),
                               static_cast<int>(std::ceil(lx + width + pad / 2)),
                               static_cast<int>(std::ceil(y + line * (1 + entries.size()) + pad))};
        f.texts.push_back(paperText(FigureRect{lx, y, width, line}, m.axisPoints, FigureAlign::left,
                                    elidedText(m.axisFont, head, width)));
        for (size_t e = 0; e < entries.size(); ++e) {
            y += line;
            const int bin = entries[e] == "unknown" ? -1 : 4 - static_cast<int>(e);
            const Colour c = bin < 0 ? kLdUnknown : kLdColours[bin];
            f.polygons.push_back(rectangle(lx, y + (line - swatch) / 2, lx + swatch, y + (line + swatch) / 2, c));
            f.texts.push_back(paperText(FigureRect{lx + swatch + pad, y, width - swatch - pad, line}, m.axisPoints,
                                        FigureAlign::left, entries[e]));
        }
    }

    // The lead's name, placed by the rules of the Manhattan labels: inside the point panel (off the axes, their ticks
    // and titles) and off the legend, next to the diamond or stacked above it with a leader line, away from what is
    // drawn. Every point of the panel is of the lead's locus. A name that finds no place is left out: the title and
    // the legend name the lead as well.
    if (plot.lead < plot.points.size()) {
        const auto pixelOf = [&](const RegionPoint& point) {
            return Pixel{static_cast<int>(std::lround(xOf(point.pos))), static_cast<int>(std::lround(yOf(std::max(0.0, point.value))))};
        };
        const Pixel lead = pixelOf(plot.points[plot.lead]);
        LabelScene scene;
        scene.area = PixelRect{static_cast<int>(std::ceil(axisX + m.axisWidth)), static_cast<int>(std::floor(top - line / 2)),
                               static_cast<int>(std::floor(right)), static_cast<int>(std::floor(pointsBottom))};
        scene.hitReach = static_cast<int>(std::ceil(dot / 2));
        PixelRect column{lead.x - scene.hitReach, lead.y - scene.hitReach, lead.x + scene.hitReach + 1, scene.area.bottom};
        for (const RegionPoint& point : plot.points) {
            if (!std::isfinite(point.value)) continue;
            const Pixel p = pixelOf(point);
            scene.hits.push_back(SceneHit{p.x, p.y, 0});
            column.top = std::min(column.top, p.y - scene.hitReach);
        }
        column.bottom = std::max(column.bottom, column.top + 1);
        scene.columns.push_back(HitColumn{column, 0});
        // The legend counts as another chromosome's column: a label may not touch it.
        scene.columns.push_back(HitColumn{legendRect, 1});
        scene.ownerAt = [](size_t) { return LabelOwner{0, 0}; };
        const LabelPlan plan = placeLabels(
            1, [&](size_t) { return std::optional<Pixel>(lead); }, [&](size_t) { return labelText(plot.leadName); },
            labelFontFor(kPaperFont, m.axisPoints, f.dpi), drawnPixels(f), dpiScale(f.dpi), &scene);
        for (const Line& l : plan.leaders)
            f.linesOverPoints.push_back(FigureLine{static_cast<double>(l.x1), static_cast<double>(l.y1), static_cast<double>(l.x2),
                                                   static_cast<double>(l.y2), Colour{l.colour.r, l.colour.g, l.colour.b},
                                                   static_cast<double>(l.width)});
        for (const TextBox& b : plan.boxes)
            f.texts.push_back(paperText(FigureRect{static_cast<double>(b.left), static_cast<double>(b.top),
                                                   static_cast<double>(b.width), static_cast<double>(b.height)},
                                        m.axisPoints, FigureAlign::centre, b.text));
    }

    // Genes.
    if (plot.genePanel) {
        const double panelTop = pointsBottom + tick + pad, panelBottom = axisY - pad;
        const double exonHeight = std::max(3.0, line * 0.55), rowHeight = exonHeight + pad + line + pad;
        auto note = [&](const std::string& text) {
            f.texts.push_back(paperText(FigureRect{axisX, panelTop, right - axisX, std::min(line, panelBottom - panelTop)},
                                        m.axisPoints, FigureAlign::centre, elidedText(m.axisFont, text, right - axisX)));
        };
        if (!plot.genesNote.empty()) {
            note(plot.genesNote);
        } else if (plot.genes.empty()) {
            note("no genes in this window");
        } else {
            std::vector<GeneSpan> spans;
            std::vector<double> nameLeft, nameWidth;
            for (const Gene& g : plot.genes) {
                const double x1 = xOf(std::max(g.start, plot.start)), x2 = xOf(std::min(g.end, plot.end));
                const double w = textWidth(m.axisFont, g.name) + pad;
                const double nl = std::clamp((x1 + x2) / 2 - w / 2, axisX, std::max(axisX, right - w));
                nameLeft.push_back(nl);
                nameWidth.push_back(w);
                const double arrowLeft = g.strand == '-' ? x1 - exonHeight * 0.9 : x1;
                const double arrowRight = g.strand == '+' ? std::max(x2, x1 + 1) + exonHeight * 0.9 : x2;
                spans.push_back(GeneSpan{std::min(arrowLeft, nl), std::max(arrowRight, nl + w)});
            }
            const std::vector<int> rows = stackGenes(spans, pad);
            int fit = std::max(0, static_cast<int>((panelBottom - panelTop) / rowHeight));
            // When not every row fits, the last row's room says how many genes were left out.
            if (!rows.empty() && *std::max_element(rows.begin(), rows.end()) >= fit) fit = std::max(0, fit - 1);
            for (size_t i = 0; i < plot.genes.size(); ++i) {
                if (rows[i] >= fit) {
                    ++out.genesLeftOut;
                    continue;
                }
                const Gene& g = plot.genes[i];
                const double yc = panelTop + rows[i] * rowHeight + exonHeight / 2;
                const double x1 = xOf(std::max(g.start, plot.start)), x2 = xOf(std::min(g.end, plot.end));
                f.lines.push_back(FigureLine{x1, yc, std::max(x2, x1 + 1), yc, kPaperInk, std::max(1.0, m.axisWidth)});
                for (const Exon& e : g.exons) {
                    if (e.end < plot.start || e.start > plot.end) continue;
                    const double e1 = xOf(std::max(e.start, plot.start)), e2 = xOf(std::min(e.end, plot.end));
                    f.polygons.push_back(rectangle(e1, yc - exonHeight / 2, std::max(e2, e1 + 1), yc + exonHeight / 2,
                                                   Colour{0, 0, 0}));
                }
                if (g.strand == '+' || g.strand == '-') {  // an arrowhead at the visible 3' end
                    const double a = exonHeight * 0.9, x = g.strand == '+' ? std::max(x2, x1 + 1) : x1;
                    const double d = g.strand == '+' ? a : -a;
                    f.polygons.push_back(FigurePolygon{{{x, yc - a / 2}, {x + d, yc}, {x, yc + a / 2}}, Colour{0, 0, 0}, std::nullopt});
                }
                f.texts.push_back(paperText(FigureRect{nameLeft[i], yc + exonHeight / 2 + pad, nameWidth[i], line},
                                            m.axisPoints, FigureAlign::centre, g.name));
            }
            if (out.genesLeftOut > 0)
                f.texts.push_back(paperText(FigureRect{axisX, panelTop + fit * rowHeight, right - axisX, line}, m.axisPoints,
                                            FigureAlign::right,
                                            std::to_string(out.genesLeftOut) + " more genes not shown (no room)"));
        }
    }
    return out;
}

}  // namespace vennrick
