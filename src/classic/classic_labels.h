// Peak labels on the documented picture: the pixels its axes, texts and points cover, and the names of the
// strongest lead loci placed among them by the label placer.
#pragma once

#include <cstdint>

#include "analysis/lead_loci.h"
#include "classic/plot_layout.h"
#include "figure/figure_labels.h"
#include "figure/label_placer.h"
#include "reading/hit_rows.h"

namespace vennrick {

// The pixels drawn before the labels: axis lines, tick marks, the boxes of the texts, and the points.
PixelMask drawnPixels(const PlotLayout& layout, const PlotData& data);

// Where labels may lie on a classic figure: right of the y axis, up to the end of the x axis, below the title and
// above the baseline (and the zero line).
PixelRect classicLabelArea(const PlotLayout& layout);

// How far a hit's dot reaches from its centre pixel on a classic figure.
int classicHitReach(const PlotLayout& layout);

// The labels of the strongest lead loci: the lead's name, shortened for the plot, at its point, by the rules of
// a figure with a scene (labelScene).
LabelPlan labelPeaks(const LeadLoci& leads, const HitRows& hits, const PlotLayout& layout, const PlotData& data,
                     int32_t labels, const LabelFont& font);

}  // namespace vennrick
