// The host's plot windows through its bound plot functions, for the motion plots.
#pragma once

#include "DesignMatrix.h"
#include "PlotWindows.h"

namespace qm {

class HostPlotWindows final : public PlotWindows {
public:
    Handle plotLine(int points, const float* x, const float* y, const char* name) override;
    void addLine(Handle plot, int points, const float* x, const float* y,
                 const char* name) override;
    void setColorTheme(Handle plot, int theme) override;
    void setLineSizeAndColor(Handle plot, int line, int size, int red, int green, int blue,
                             int style) override;
    void showLegend(Handle plot, int first, int second) override;
    void setTitle(Handle plot, const char* title) override;
    void resize(Handle plot, int width, int height) override;
    void setYAxisRange(Handle plot, float lower, float upper) override;
    void showAtPosition(Handle plot, int x, int y) override;
};

// Plots `matrix` in a new host plot window as both analysis tasks do: lines 2 pixels wide, the
// legend values the host expects (1 and 3).
void plotInHost(const DesignMatrix& matrix);

} // namespace qm
