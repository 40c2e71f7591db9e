// The classic layout turned into a figure: lines and texts as they are, points gathered into three layers.
#include "classic/classic_figure.h"

#include "figure/dot_grid.h"

#include <algorithm>
#include <cmath>

namespace vennrick {
namespace {


FigureLine figureLine(const Line& line, double width) {
    return FigureLine{static_cast<double>(line.x1), static_cast<double>(line.y1), static_cast<double>(line.x2),
                      static_cast<double>(line.y2), line.colour, width};
}

FigureText figureText(const TextBox& box, const PlotLayout& layout) {
    // The tick labels take the application's default font, the others Calibri at their sizes.
    const bool initial = box.font == TextFont::initial;
    return FigureText{FigureRect{static_cast<double>(box.left), static_cast<double>(box.top),
                                 static_cast<double>(box.width), static_cast<double>(box.height)},
                      initial ? "" : "Calibri",
                      initial ? 0 : box.font == TextFont::title ? layout.font1 : layout.font2,
                      box.align == TextAlign::centre ? FigureAlign::centre : FigureAlign::left,
                      box.colour,
                      0,
                      box.text};
}

// With a cap (-ymax): a small triangle pointing up at the top of the axis over each pixel column that holds a point
// above it, in the point's colour, once per column and colour.
void addCapMarkers(Figure& figure, const PlotLayout& layout, const PlotData& data) {
    if (!std::isfinite(layout.cap)) return;
    const ClassicFrame& frame = layout.frame;
    const double top = static_cast<double>(truncatePixel(pixelY(layout.cap, layout.minY, layout.pixPerY, frame.baseline)));
    std::vector<char> marked(static_cast<size_t>(std::max(frame.width, 0)) * 3, 0);
    bool grey = false;
    forEachRun(data.ID_list, [&](const std::string&, int64_t first, int64_t count) {
        const PointStyle runStyle = grey ? PointStyle::grey : PointStyle::blue;
        grey = !grey;
        for (int64_t i = first; i < first + count; ++i) {
            const double v = data.Value_list[static_cast<size_t>(i)];
            if (!(v > layout.cap)) continue;
            const std::optional<Pixel> at = pointOfRow(layout, data, i);
            if (!at || at->x < 0 || at->x >= frame.width) continue;
            const PointStyle style = v >= layout.threshold ? PointStyle::highlight : runStyle;
            char& seen = marked[static_cast<size_t>(at->x) * 3 + static_cast<size_t>(style)];
            if (seen != 0) continue;
            seen = 1;
            figure.polygons.push_back(capMarker(at->x + 0.5, top, 6 * frame.unit, pointColour(style)));
        }
    });
}

}  // namespace

Figure classicFigure(const PlotLayout& layout, const PlotData& data, int dpi, unsigned threads) {
    const ClassicFrame& frame = layout.frame;
    Figure figure;
    figure.width = frame.width;
    figure.height = frame.height;
    figure.dpi = dpi;
    const double penWidth = 2 * frame.unit;
    for (const Line& line : layout.axisLines) figure.lines.push_back(figureLine(line, penWidth));
    for (const Tick& tick : layout.ticks) {
        if (tick.mark) figure.lines.push_back(figureLine(*tick.mark, penWidth));
        if (tick.label) figure.texts.push_back(figureText(*tick.label, layout));
    }
    figure.texts.push_back(figureText(layout.title, layout));
    forEachRunLabel(layout, data, [&](const TextBox& label) { figure.texts.push_back(figureText(label, layout)); });

    auto add = [&](int64_t begin, int64_t end, const DotSink sink) {
        forEachPointInRows(layout, data, begin, end,
                           [&](int x, int y, PointStyle style) { sink.add(static_cast<int>(style), x, y); });
    };
    std::vector<std::vector<PixelDot>> dots = gatherDots(frame.width, frame.height, 3, layout.N, threads, add);
    for (PointStyle style : {PointStyle::blue, PointStyle::grey, PointStyle::highlight})
        figure.points.push_back(PointLayer{pointColour(style), pointWidth(style) * frame.unit,
                                           std::move(dots[static_cast<size_t>(style)])});
    addCapMarkers(figure, layout, data);
    return figure;
}

}  // namespace vennrick
