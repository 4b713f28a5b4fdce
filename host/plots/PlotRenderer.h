// Pictures of the stand-in host's plot windows: one drawing routine, drawn with cairo into a PNG
// and into an SVG of the window's size.
#pragma once

#include "PlotWindow.h"

#include <string>

namespace halvorn_host {

// "plot-01-run1_3DMC.sdm": the file name, without extension, of a plot's pictures. The title is
// made safe for a file name: characters other than letters, digits and ". _ - +" become "_".
std::string plotPictureBaseName(const PlotWindow& plot);

// The bytes of a plot's two pictures, drawn by the same routine.
struct PlotPictures {
    std::string png;
    std::string svg;
};

// Draws `plot` at its window's size (kept within sensible bounds). Throws std::runtime_error
// when cairo cannot draw it.
PlotPictures renderPlotPictures(const PlotWindow& plot);

} // namespace halvorn_host
