// The plot functions that Halvorn.exe exports to the plug-in. Each records itself in the
// transcript (the plot by its 1-based number, not its address; the data arrays only by their
// length) and updates the plot window's state in the session. A window's pictures are drawn
// when it is shown and drawn again after every later change, and any window not yet drawn in its
// final state is drawn when the run ends.
#include "PlotExports.h"

#include "HostFunctionSignature.h"
#include "HostSession.h"
#include "OutputFiles.h"
#include "PlotRenderer.h"

#include <filesystem>
#include <iostream>

using json = nlohmann::ordered_json;
using halvorn_host::HostSession;
using halvorn_host::PlotWindow;
using halvorn_host::session;

namespace {

PlotWindow* findPlot(PlotHandle handle) {
    for (const auto& plot : session().plots) {
        if (plot.get() == handle) {
            return plot.get();
        }
    }
    return nullptr;
}

// The plot's number for the transcript; null for a handle that no ztPlotLine returned.
json plotNumber(const PlotWindow* plot) {
    return plot != nullptr ? json(plot->number) : json();
}

// The real host would crash on a foreign handle; the stand-in says so and ignores the call.
void warnUnknownPlot(const char* call) {
    std::cerr << "Halvorn.exe: warning: " << call
              << " was given a plot handle that no ztPlotLine returned\n"
              << std::flush;
}

std::vector<float> copyValues(int n, const float* values) {
    if (n <= 0 || values == nullptr) {
        return {};
    }
    return std::vector<float>(values, values + n);
}

std::string text(const char* value) {
    return value != nullptr ? value : "";
}

halvorn_host::PlotLine newLine(int n, const float* x, const float* y, const char* name) {
    halvorn_host::PlotLine line;
    line.x = copyValues(n, x);
    line.y = copyValues(n, y);
    line.name = text(name);
    return line;
}

void renderPictures(HostSession& host, PlotWindow& plot) {
#if !defined(QUELMAR_HOST_PICTURES)
    // Built without cairo (Windows): the plot calls are in the transcript only.
    static_cast<void>(host);
    plot.changedSinceRendered = false;
#else
    namespace fs = std::filesystem;
    const fs::path directory(host.plotsDirectory);
    const std::string baseName = halvorn_host::plotPictureBaseName(plot);
    const std::string pngPath = (directory / (baseName + ".png")).string();
    const std::string svgPath = (directory / (baseName + ".svg")).string();
    plot.changedSinceRendered = false;
    halvorn_host::PlotPictures pictures;
    try {
        pictures = halvorn_host::renderPlotPictures(plot);
    } catch (const std::exception& error) {
        halvorn_host::reportOutputFailure(host, "the plot picture",
                                          halvorn_host::OutputFileError(pngPath, error.what()));
        return;
    }
    std::error_code error;
    fs::create_directories(directory, error);
    if (!plot.renderedBaseName.empty() && plot.renderedBaseName != baseName) {
        // The title changed since the last drawing: the old pictures would be stale.
        fs::remove(directory / (plot.renderedBaseName + ".png"), error);
        fs::remove(directory / (plot.renderedBaseName + ".svg"), error);
        plot.renderedBaseName.clear();
    }
    try {
        halvorn_host::writeOutputFile(pngPath, pictures.png);
        plot.renderedBaseName = baseName; // the report shows the PNG
    } catch (const halvorn_host::OutputFileError& failure) {
        halvorn_host::reportOutputFailure(host, "the plot picture", failure);
    }
    try {
        halvorn_host::writeOutputFile(svgPath, pictures.svg);
    } catch (const halvorn_host::OutputFileError& failure) {
        halvorn_host::reportOutputFailure(host, "the plot picture", failure);
    }
#endif
}

void changed(PlotWindow& plot) {
    plot.changedSinceRendered = true;
    if (plot.position) {
        renderPictures(session(), plot);
    }
}

} // namespace

namespace halvorn_host {

void renderPendingPlots(HostSession& host) {
    for (const auto& plot : host.plots) {
        if (plot->changedSinceRendered) {
            renderPictures(host, *plot);
        }
    }
}

} // namespace halvorn_host

extern "C" {

PlotHandle ztPlotLine(int n, const float* x, const float* y, const char* name) {
    auto& host = session();
    auto plot = std::make_unique<PlotWindow>();
    plot->number = static_cast<int>(host.plots.size()) + 1;
    plot->lines.push_back(newLine(n, x, y, name));
    PlotWindow* created = plot.get();
    host.plots.push_back(std::move(plot));
    host.transcript.record(
        {{"call", "ztPlotLine"}, {"n", n}, {"name", text(name)}, {"plot", created->number}});
    return created;
}

void ztAddLineToPlot(PlotHandle handle, int n, const float* x, const float* y, const char* name) {
    PlotWindow* plot = findPlot(handle);
    session().transcript.record(
        {{"call", "ztAddLineToPlot"}, {"plot", plotNumber(plot)}, {"n", n}, {"name", text(name)}});
    if (plot == nullptr) {
        warnUnknownPlot("ztAddLineToPlot");
        return;
    }
    plot->lines.push_back(newLine(n, x, y, name));
    changed(*plot);
}

void ztSetPlotColorTheme(PlotHandle handle, int theme) {
    PlotWindow* plot = findPlot(handle);
    session().transcript.record(
        {{"call", "ztSetPlotColorTheme"}, {"plot", plotNumber(plot)}, {"theme", theme}});
    if (plot == nullptr) {
        warnUnknownPlot("ztSetPlotColorTheme");
        return;
    }
    plot->colorTheme = theme;
    changed(*plot);
}

void ztSetPlotLineSizeAndColor(PlotHandle handle, int line, int size, int red, int green, int blue,
                               int style) {
    PlotWindow* plot = findPlot(handle);
    session().transcript.record({{"call", "ztSetPlotLineSizeAndColor"},
                                 {"plot", plotNumber(plot)},
                                 {"line", line},
                                 {"size", size},
                                 {"red", red},
                                 {"green", green},
                                 {"blue", blue},
                                 {"style", style}});
    if (plot == nullptr) {
        warnUnknownPlot("ztSetPlotLineSizeAndColor");
        return;
    }
    if (line < 0 || static_cast<std::size_t>(line) >= plot->lines.size()) {
        std::cerr << "Halvorn.exe: warning: ztSetPlotLineSizeAndColor was given line " << line
                  << " of plot " << plot->number << ", which has " << plot->lines.size()
                  << " lines\n"
                  << std::flush;
        return;
    }
    auto& target = plot->lines[static_cast<std::size_t>(line)];
    target.size = size;
    target.color = halvorn_host::PlotColor{red, green, blue};
    target.style = style;
    changed(*plot);
}

void ztShowPlotLegend(PlotHandle handle, int first, int second) {
    PlotWindow* plot = findPlot(handle);
    session().transcript.record({{"call", "ztShowPlotLegend"},
                                 {"plot", plotNumber(plot)},
                                 {"first", first},
                                 {"second", second}});
    if (plot == nullptr) {
        warnUnknownPlot("ztShowPlotLegend");
        return;
    }
    plot->legendShown = first != 0;
    plot->legendFirst = first;
    plot->legendSecond = second;
    changed(*plot);
}

void ztSetPlotTitle(PlotHandle handle, const char* title) {
    PlotWindow* plot = findPlot(handle);
    session().transcript.record(
        {{"call", "ztSetPlotTitle"}, {"plot", plotNumber(plot)}, {"title", text(title)}});
    if (plot == nullptr) {
        warnUnknownPlot("ztSetPlotTitle");
        return;
    }
    plot->title = text(title);
    changed(*plot);
}

void ztResizePlot(PlotHandle handle, int width, int height) {
    PlotWindow* plot = findPlot(handle);
    session().transcript.record({{"call", "ztResizePlot"},
                                 {"plot", plotNumber(plot)},
                                 {"width", width},
                                 {"height", height}});
    if (plot == nullptr) {
        warnUnknownPlot("ztResizePlot");
        return;
    }
    plot->width = width;
    plot->height = height;
    changed(*plot);
}

void ztSetPlotYAxisRange(PlotHandle handle, float lower, float upper) {
    PlotWindow* plot = findPlot(handle);
    session().transcript.record({{"call", "ztSetPlotYAxisRange"},
                                 {"plot", plotNumber(plot)},
                                 {"lower", lower},
                                 {"upper", upper}});
    if (plot == nullptr) {
        warnUnknownPlot("ztSetPlotYAxisRange");
        return;
    }
    plot->yRange = halvorn_host::PlotAxisRange{lower, upper};
    changed(*plot);
}

void ztShowPlotAtPosition(PlotHandle handle, int x, int y) {
    PlotWindow* plot = findPlot(handle);
    session().transcript.record(
        {{"call", "ztShowPlotAtPosition"}, {"plot", plotNumber(plot)}, {"x", x}, {"y", y}});
    if (plot == nullptr) {
        warnUnknownPlot("ztShowPlotAtPosition");
        return;
    }
    plot->position = halvorn_host::PlotPosition{x, y};
    changed(*plot);
}

} // extern "C"

// The exported functions must have exactly the signatures of the protocol header.
HALVORN_CHECK_SIGNATURE(ztPlotLine)
HALVORN_CHECK_SIGNATURE(ztAddLineToPlot)
HALVORN_CHECK_SIGNATURE(ztSetPlotColorTheme)
HALVORN_CHECK_SIGNATURE(ztSetPlotLineSizeAndColor)
HALVORN_CHECK_SIGNATURE(ztShowPlotLegend)
HALVORN_CHECK_SIGNATURE(ztSetPlotTitle)
HALVORN_CHECK_SIGNATURE(ztResizePlot)
HALVORN_CHECK_SIGNATURE(ztSetPlotYAxisRange)
HALVORN_CHECK_SIGNATURE(ztShowPlotAtPosition)
