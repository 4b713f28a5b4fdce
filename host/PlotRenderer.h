// Pictures of the stand-in host's plot windows: one drawing routine, drawn with cairo into a PNG
// and into an SVG of the window's size.
#pragma once

#include "PlotWindow.h"

#include <string>

namespace halvorn_host {

// "plot-01-run1_3DMC.sdm": the file name, without extension, of a plot's pictures. The title is
// made safe for a file name: characters other than letters, digits and ". _ - +" become "_".
std::string plotPictureBaseName(const PlotWindow& plot);

// Draws `plot` into `pngPath` and `svgPath`, replacing both. Throws std::runtime_error naming
// the file when cairo cannot write it.
void renderPlotPictures(const PlotWindow& plot, const std::string& pngPath,
                        const std::string& svgPath);

} // namespace halvorn_host
