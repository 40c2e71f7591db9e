// The QQ plot in the paper style as a figure: the points, the 95% band and the diagonal of the QQ plot, laid out
// as the paper Manhattan figure is: its font, round ticks from 0, axis titles, antialiasing and physical sizes.
// The plot is square, on a canvas as tall as the Manhattan image, as wide as it is tall.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "figure/figure.h"
#include "paper/paper_style.h"
#include "figure/qq_geometry.h"
#include "settings/settings.h"

namespace vennrick {

// Where the paper QQ plot lies: its axes (for qqDots and the band) and the axis scale they show.
struct PaperQq {
    QqAxes axes;      // origin and pixels per unit: x from 0 to xAxis.top, y from 0 to axis.top
    PaperAxis axis;   // the ticks of the y axis (observed)
    PaperAxis xAxis;  // the ticks of the x axis (expected)
    double side = 1;  // pixels from 0 to the top, on both axes
};

// The geometry for the largest usable value and the count of usable values, under the title, at the settings'
// size, resolution and fonts.
PaperQq paperQqGeometry(double maxValue, int64_t usable, const std::string& title, const PlotSettings& settings);

// The figure for `usable` values with their dots (from qqDots on the geometry's axes) and lambda.
// The pixel columns of the values above the cap (-ymax) are drawn as triangles at the top.
Figure layoutPaperQq(const PaperQq& geometry, int64_t usable, std::vector<PixelDot> dots, std::optional<double> lambda,
                     const std::string& title, const PlotSettings& settings, const std::vector<int>& capped = {});

}  // namespace vennrick
