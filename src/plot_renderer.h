// Painting the plot geometry on the 800 x 533 canvas and writing the JPEG.
#pragma once

#include <QImage>
#include <string>

#include "plot_layout.h"

namespace vennrick {

QImage renderPlot(const PlotLayout& layout, const PlotData& data, const PlotSettings& settings);

// Writes the image as a JPEG of quality 90; false when the file could not be written.
bool saveJpeg(const QImage& image, const std::string& path);

}  // namespace vennrick
