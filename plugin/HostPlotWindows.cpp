#include "HostPlotWindows.h"

#include "HostFunctionTable.h"
#include "MotionPlot.h"

namespace qm {

PlotWindows::Handle HostPlotWindows::plotLine(int points, const float* x, const float* y,
                                              const char* name) {
    return callHost<HostFunction::ztPlotLine>(points, x, y, name);
}

void HostPlotWindows::addLine(Handle plot, int points, const float* x, const float* y,
                              const char* name) {
    callHost<HostFunction::ztAddLineToPlot>(plot, points, x, y, name);
}

void HostPlotWindows::setColorTheme(Handle plot, int theme) {
    callHost<HostFunction::ztSetPlotColorTheme>(plot, theme);
}

void HostPlotWindows::setLineSizeAndColor(Handle plot, int line, int size, int red, int green,
                                          int blue, int style) {
    callHost<HostFunction::ztSetPlotLineSizeAndColor>(plot, line, size, red, green, blue, style);
}

void HostPlotWindows::showLegend(Handle plot, int first, int second) {
    callHost<HostFunction::ztShowPlotLegend>(plot, first, second);
}

void HostPlotWindows::setTitle(Handle plot, const char* title) {
    callHost<HostFunction::ztSetPlotTitle>(plot, title);
}

void HostPlotWindows::resize(Handle plot, int width, int height) {
    callHost<HostFunction::ztResizePlot>(plot, width, height);
}

void HostPlotWindows::setYAxisRange(Handle plot, float lower, float upper) {
    callHost<HostFunction::ztSetPlotYAxisRange>(plot, lower, upper);
}

void HostPlotWindows::showAtPosition(Handle plot, int x, int y) {
    callHost<HostFunction::ztShowPlotAtPosition>(plot, x, y);
}

void plotInHost(const DesignMatrix& matrix) {
    constexpr int kLineSize = 2;
    constexpr int kLegendFirst = 1;
    constexpr int kLegendSecond = 3;
    HostPlotWindows windows;
    plotDesignMatrix(windows, matrix, kLineSize, kLegendFirst, kLegendSecond);
}

} // namespace qm
