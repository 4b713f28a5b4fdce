// The state of one plot window of the stand-in host, as the plug-in built it up through the
// plot functions (PlotExports.cpp). PlotRenderer.cpp turns it into pictures.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace halvorn_host {

struct PlotColor {
    int red = 0;
    int green = 0;
    int blue = 0;
};

struct PlotLine {
    std::vector<float> x;
    std::vector<float> y;
    std::string name;
    int size = 1;                   // line width in pixels
    std::optional<PlotColor> color; // unset: a colour of the default palette
    int style = 0;                  // 0 solid, 1 dashed, 2 dotted, 3 dash-dot
};

struct PlotAxisRange {
    float lower = 0.0F;
    float upper = 0.0F;
};

struct PlotPosition {
    int x = 0;
    int y = 0;
};

struct PlotWindow {
    int number = 0; // 1-based, in creation order; names the picture files
    std::vector<PlotLine> lines;
    int colorTheme = 0;
    bool legendShown = false;
    int legendFirst = 0;
    int legendSecond = 0;
    std::string title;
    int width = 640;
    int height = 400;
    std::optional<PlotAxisRange> yRange;  // unset: fitted to the data
    std::optional<PlotPosition> position; // set once the window was shown

    // Picture bookkeeping: whether the pictures are behind the window's state, and the file
    // names (without extension) under which they were last written.
    bool changedSinceRendered = true;
    std::string renderedBaseName;
};

} // namespace halvorn_host
