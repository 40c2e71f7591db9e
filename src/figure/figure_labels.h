// Peak labels on a figure of the figure model (the classic figure at another size, resolution or image type, and
// the paper figure): what the figure draws, as a pixel mask, the label font at the figure's resolution, and the
// labels placed by the peak label rules, added to the figure with their leader lines over the points.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "figure/figure.h"
#include "reading/hit_rows.h"
#include "analysis/lead_loci.h"
#include "figure/label_placer.h"

namespace vennrick {

// The pixels the figure draws: its lines with a pixel on each side, its text boxes (turned with their text) and
// its dots' footprints with a pixel around them.
PixelMask drawnPixels(const Figure& figure);

// The sizes of a font (family, pointSize points) at dpi pixels per inch, as the figure painter draws it.
LabelFont labelFontFor(const std::string& family, int pointSize, int dpi);

// The scene of the lead loci on a figure: every hit record's dot (at pointOfRow of its row; a row without a
// dot is left out) with its locus, the columns of hits of every chromosome (one per locus: its dots' pixels grown
// by hitReach, from the highest down to the area's bottom) and the plot area. Label k names locus k.
LabelScene labelScene(const LeadLoci& leads, const HitRows& hits,
                      const std::function<std::optional<Pixel>(int64_t)>& pointOfRow, PixelRect area, int hitReach);

// Names the `labels` strongest lead loci on the figure, each at the pixel of its lead's row (pointOfRow; nullopt
// for a row without a dot), in family at pointSize, with lengths grown with the figure's dpi from the 96 of the
// documented picture. Returns the number of labels placed.
size_t labelFigure(Figure& figure, const LeadLoci& leads, const HitRows& hits, int32_t labels,
                   const std::function<std::optional<Pixel>(int64_t)>& pointOfRow, const std::string& family,
                   int pointSize, const LabelScene* scene = nullptr);

}  // namespace vennrick
