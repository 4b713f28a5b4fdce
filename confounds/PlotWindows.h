// The host's plot windows, as much of them as the motion plots use: the narrow face of the host
// that the plot routine draws through. The plug-in implements it on the host's functions; tests
// record the calls.
#pragma once

namespace qm {

class PlotWindows {
public:
    using Handle = void*; // the host's opaque name of one plot window

    virtual ~PlotWindows() = default;

    // A new window with one line of `points` points.
    virtual Handle plotLine(int points, const float* x, const float* y, const char* name) = 0;
    virtual void addLine(Handle plot, int points, const float* x, const float* y,
                         const char* name) = 0;
    virtual void setColorTheme(Handle plot, int theme) = 0;
    virtual void setLineSizeAndColor(Handle plot, int line, int size, int red, int green, int blue,
                                     int style) = 0;
    virtual void showLegend(Handle plot, int first, int second) = 0;
    virtual void setTitle(Handle plot, const char* title) = 0;
    virtual void resize(Handle plot, int width, int height) = 0;
    virtual void setYAxisRange(Handle plot, float lower, float upper) = 0;
    virtual void showAtPosition(Handle plot, int x, int y) = 0;

protected:
    PlotWindows() = default;
    PlotWindows(const PlotWindows&) = default;
    PlotWindows& operator=(const PlotWindows&) = default;
};

} // namespace qm
