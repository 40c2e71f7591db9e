// How much room a line of text takes in a font at a resolution: what the layouts measure their texts with, so
// that labels can be kept apart before anything is painted.
#pragma once

#include <QFontMetricsF>
#include <string>

#include "figure/label_placer.h"

namespace vennrick {

// A font at a resolution, ready to measure with. Text is measured at a fine reference resolution, where the
// adjustments of glyphs to whole pixels no longer count, and scaled to the resolution asked for: a figure at
// three times the pixels and the dpi measures its texts exactly three times as wide, and lays them out alike.
struct TextMeasure {
    QFontMetricsF metrics;  // at the reference resolution
    double scale;           // pixels at the resolution asked for, per pixel at the reference one
};

// The font family (empty: the application's default font) at pointSize points (<= 0: the font's default size),
// on a device of dpi pixels per inch, as the figure painter draws it.
TextMeasure measureFor(const std::string& family, int pointSize, int dpi);

// The advance of the text, pixels.
double textWidth(const TextMeasure& measure, const std::string& text);

// The height of a line of the font, ascent and descent, pixels.
double lineHeight(const TextMeasure& measure);

// The sizes a label placer needs of the font: each ASCII character's advance, the widest character, the height.
LabelFont labelFontOf(const TextMeasure& measure);

// The text as it fits width pixels: whole, or cut at the end and marked with an ellipsis.
std::string elidedText(const TextMeasure& measure, const std::string& text, double width);

}  // namespace vennrick
