// Declarations of the plot functions Halvorn.exe exports, with the protocol's signatures, and the
// host's side of turning its plot windows into pictures.
#pragma once

#include <halvorn/HalvornPluginApi.h>

extern "C" {
HALVORN_EXPORT PlotHandle ztPlotLine(int n, const float* x, const float* y, const char* name);
HALVORN_EXPORT void ztAddLineToPlot(PlotHandle plot, int n, const float* x, const float* y,
                                    const char* name);
HALVORN_EXPORT void ztSetPlotColorTheme(PlotHandle plot, int theme);
HALVORN_EXPORT void ztSetPlotLineSizeAndColor(PlotHandle plot, int line, int size, int red,
                                              int green, int blue, int style);
HALVORN_EXPORT void ztShowPlotLegend(PlotHandle plot, int first, int second);
HALVORN_EXPORT void ztSetPlotTitle(PlotHandle plot, const char* title);
HALVORN_EXPORT void ztResizePlot(PlotHandle plot, int width, int height);
HALVORN_EXPORT void ztSetPlotYAxisRange(PlotHandle plot, float lower, float upper);
HALVORN_EXPORT void ztShowPlotAtPosition(PlotHandle plot, int x, int y);
}

namespace halvorn_host {

struct HostSession;

// Draws the pictures of every plot window whose state changed since it was last drawn, those
// never shown included. Called when the run ends, so the files show each window's final state.
void renderPendingPlots(HostSession& host);

} // namespace halvorn_host
