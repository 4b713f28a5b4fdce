// The motion panels of the run report: series over the volumes of a run (displacement,
// translations, rotations), each panel with its own unit, drawn with cairo into a PNG of twice
// the pixel density at which the page shows it, so that lines stay sharp on high-density screens.
#pragma once

#include "ReportColorScale.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace halvorn_host {

// The Okabe-Ito palette: colours that readers with any common colour-vision deficiency tell
// apart.
namespace okabe_ito {
inline constexpr Rgb8 kOrange{0xE6, 0x9F, 0x00};
inline constexpr Rgb8 kSkyBlue{0x56, 0xB4, 0xE9};
inline constexpr Rgb8 kBluishGreen{0x00, 0x9E, 0x73};
inline constexpr Rgb8 kBlue{0x00, 0x72, 0xB2};
inline constexpr Rgb8 kVermillion{0xD5, 0x5E, 0x00};
inline constexpr Rgb8 kReddishPurple{0xCC, 0x79, 0xA7};
inline constexpr Rgb8 kBlack{0x00, 0x00, 0x00};
} // namespace okabe_ito

struct PanelSeries {
    std::string name;           // in the legend; plain ASCII
    std::vector<double> values; // one per volume; NaN leaves a gap
    Rgb8 color;
};

struct SeriesPanel {
    std::string title;
    std::string caption; // what the page says under the picture
    std::string unit;    // of the y axis, e.g. "mm" or "degrees"
    std::vector<PanelSeries> series;
    std::optional<double> threshold;  // a dashed horizontal line, in the legend with its value
    std::vector<std::size_t> flagged; // volumes marked by a band across the panel
};

struct PanelPicture {
    std::string png;
    int width = 0; // as the page shows it; the PNG has twice as many pixels each way
    int height = 0;
};

// Throws std::runtime_error when cairo cannot draw it.
PanelPicture drawSeriesPanel(const SeriesPanel& panel);

} // namespace halvorn_host
