// Peak labels on a figure: the drawn mask, the font, and the labels and leader lines added.
#include "figure/figure_labels.h"

#include <QString>
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "figure/text_metrics.h"

namespace vennrick {
namespace {

int floorPixel(double v) { return static_cast<int>(std::floor(std::clamp(v, -kFarPixel, kFarPixel))); }
int ceilPixel(double v) { return static_cast<int>(std::ceil(std::clamp(v, -kFarPixel, kFarPixel))); }

void markArea(PixelMask& mask, double left, double top, double right, double bottom) {
    markRect(mask, floorPixel(left), floorPixel(top), ceilPixel(right), ceilPixel(bottom));
}

}  // namespace

PixelMask drawnPixels(const Figure& figure) {
    PixelMask drawn = pixelMask(figure.width, figure.height);
    for (const std::vector<FigureLine>* lines : {&figure.lines, &figure.linesOverPoints})
        for (const FigureLine& l : *lines) {
            const double reach = l.width / 2 + 1;
            markArea(drawn, std::min(l.x1, l.x2) - reach, std::min(l.y1, l.y2) - reach, std::max(l.x1, l.x2) + reach,
                     std::max(l.y1, l.y2) + reach);
        }
    for (const FigureText& t : figure.texts) {
        const bool turned = std::fmod(std::fabs(t.rotation), 180.0) == 90.0;
        const double cx = t.box.left + t.box.width / 2, cy = t.box.top + t.box.height / 2;
        const double w = turned ? t.box.height : t.box.width, h = turned ? t.box.width : t.box.height;
        markArea(drawn, cx - w / 2, cy - h / 2, cx + w / 2, cy + h / 2);
    }
    for (const PointLayer& layer : figure.points) {
        const int reach = static_cast<int>(std::ceil(std::clamp(layer.side, 1.0, 1024.0) / 2)) + 1;
        for (const PixelDot& d : layer.dots) markRect(drawn, d.x - reach, d.y - reach, d.x + reach + 1, d.y + reach + 1);
    }
    return drawn;
}

LabelFont labelFontFor(const std::string& family, int pointSize, int dpi) {
    return labelFontOf(measureFor(family, pointSize, dpi));
}

LabelScene labelScene(const LeadLoci& leads, const HitRows& hits,
                      const std::function<std::optional<Pixel>(int64_t)>& pointOfRow, PixelRect area, int hitReach) {
    LabelScene scene;
    scene.area = area;
    scene.hitReach = hitReach;
    // A column per locus: its hits' dots, from the highest down to the area's bottom.
    std::vector<PixelRect> columnOf(leads.loci.size(), PixelRect{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN});
    const bool known = leads.locusOfHit.size() == hits.records.size();
    scene.hits.reserve(hits.records.size());
    for (size_t i = 0; i < hits.records.size(); ++i) {
        const std::optional<Pixel> p = pointOfRow(hits.records[i].row);
        if (!p) continue;
        scene.hits.push_back(SceneHit{p->x, p->y, known ? leads.locusOfHit[i] : UINT32_MAX});
        if (!known || leads.locusOfHit[i] >= columnOf.size()) continue;
        PixelRect& c = columnOf[leads.locusOfHit[i]];
        c.left = std::min(c.left, p->x - hitReach), c.right = std::max(c.right, p->x + hitReach + 1);
        c.top = std::min(c.top, p->y - hitReach);
    }
    for (size_t k = 0; k < columnOf.size(); ++k)
        if (columnOf[k].left < columnOf[k].right)
            scene.columns.push_back(HitColumn{
                PixelRect{columnOf[k].left, columnOf[k].top, columnOf[k].right, std::max(area.bottom, columnOf[k].top + 1)},
                leads.loci[k].chromosome});
    scene.ownerAt = [&leads](size_t k) {
        return LabelOwner{static_cast<uint32_t>(k), leads.loci[k].chromosome};
    };
    return scene;
}

size_t labelFigure(Figure& figure, const LeadLoci& leads, const HitRows& hits, int32_t labels,
                   const std::function<std::optional<Pixel>(int64_t)>& pointOfRow, const std::string& family,
                   int pointSize, const LabelScene* scene) {
    const size_t count = std::min(static_cast<size_t>(std::max(labels, 0)), leads.loci.size());
    if (count == 0) return 0;
    const LabelPlan plan = placeLabels(
        count, [&](size_t k) { return pointOfRow(hits.records[leads.loci[k].lead].row); },
        [&](size_t k) { return labelText(leadName(leads, hits, leads.loci[k])); }, labelFontFor(family, pointSize, figure.dpi),
        drawnPixels(figure), dpiScale(figure.dpi), scene);
    for (const Line& l : plan.leaders)
        figure.linesOverPoints.push_back(FigureLine{static_cast<double>(l.x1), static_cast<double>(l.y1),
                                                    static_cast<double>(l.x2), static_cast<double>(l.y2),
                                                    Colour{l.colour.r, l.colour.g, l.colour.b}, static_cast<double>(l.width)});
    for (const TextBox& b : plan.boxes)
        figure.texts.push_back(FigureText{FigureRect{static_cast<double>(b.left), static_cast<double>(b.top),
                                                     static_cast<double>(b.width), static_cast<double>(b.height)},
                                          family, pointSize, FigureAlign::centre, Colour{}, 0, b.text});
    return plan.boxes.size();
}

}  // namespace vennrick
