// The confound task's own time: this program plays a host whose every function costs nothing
// (plots are dropped, log text is only measured), loads the real Quelmar.so and times execute()
// with "task" = "confound" on a motion SDM of 2000 volumes, so that what is measured is the
// plug-in's work alone: reading the SDM, the transforms, both displacement series, the spikes,
// building the plot lines, and writing the SDM files and the confound table.
//
// It is named "Halvorn.exe" and exports the host functions because the plug-in binds its host
// table by looking up the loaded module of that name; it lives in a folder of its own so that it
// is never taken for the real stand-in.
//
// Usage: Halvorn.exe [Google Benchmark options]   (the plug-in is the one built beside it)
#include "HostTextBuffer.h"
#include "LenientParameters.h"
#include "PluginLibrary.h"
#include "SyntheticRun.h"

#include <benchmark/benchmark.h>
#include <halvorn/HalvornPluginApi.h>
#include <stdlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#ifndef QUELMAR_PLUGIN_PATH
#error "QUELMAR_PLUGIN_PATH must name the plug-in library"
#endif

namespace {

namespace fs = std::filesystem;

constexpr std::int32_t kVolumes = 2000;

struct BenchmarkHost {
    halvorn_host::ParameterTexts parameters;
    std::vector<std::string> messageBoxes;
    std::size_t logBytes = 0;
    int plotHandle = 0;
};

BenchmarkHost& host() {
    static BenchmarkHost instance;
    return instance;
}

} // namespace

extern "C" {

HALVORN_EXPORT void ztGetVersionOfHalvornZT(int* major, int* minor, int* patch) {
    *major = 2;
    *minor = 8;
    *patch = 0;
}
HALVORN_EXPORT void ztShowLogTab() {}
HALVORN_EXPORT void ztShowBusyCursor() {}
HALVORN_EXPORT void ztStopBusyCursor() {}
HALVORN_EXPORT void ztLogText(const char* text) {
    host().logBytes += std::strlen(text);
}
HALVORN_EXPORT void ztMessageBox(const char* text) {
    host().messageBoxes.emplace_back(text);
}
HALVORN_EXPORT int ztGetIDOfCurrentDocument() {
    return 0;
}
HALVORN_EXPORT int ztGetDocumentType(int) {
    return kDocumentTypeFmr;
}
HALVORN_EXPORT void ztGetStringParameter(const char* name, char* buffer512) {
    halvorn_host::copyToHostTextBuffer(halvorn_host::parameterText(host().parameters, name),
                                       buffer512);
}
HALVORN_EXPORT int ztGetIntParameter(const char* name) {
    return halvorn_host::parameterNumber<int>(host().parameters, name);
}
HALVORN_EXPORT float ztGetFloatParameter(const char* name) {
    return halvorn_host::parameterNumber<float>(host().parameters, name);
}
HALVORN_EXPORT PlotHandle ztPlotLine(int, const float*, const float*, const char*) {
    return &host().plotHandle;
}
HALVORN_EXPORT void ztAddLineToPlot(PlotHandle, int, const float*, const float*, const char*) {}
HALVORN_EXPORT void ztSetPlotColorTheme(PlotHandle, int) {}
HALVORN_EXPORT void ztSetPlotLineSizeAndColor(PlotHandle, int, int, int, int, int, int) {}
HALVORN_EXPORT void ztShowPlotLegend(PlotHandle, int, int) {}
HALVORN_EXPORT void ztSetPlotTitle(PlotHandle, const char*) {}
HALVORN_EXPORT void ztResizePlot(PlotHandle, int, int) {}
HALVORN_EXPORT void ztSetPlotYAxisRange(PlotHandle, float, float) {}
HALVORN_EXPORT void ztShowPlotAtPosition(PlotHandle, int, int) {}

} // extern "C"

namespace {

// A temporary folder with a 2000-volume run, removed when the program ends.
class RunFolder {
public:
    RunFolder() {
        std::string pattern = (fs::temp_directory_path() / "quelmar-confound-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot create a temporary folder");
        }
        path_ = pattern;
        qm::tools::RunSpec spec;
        spec.directory = path_;
        spec.name = "run2000";
        spec.sizeX = 8; // the confound task reads only the motion file
        spec.sizeY = 8;
        spec.sizeZ = 4;
        spec.volumes = kVolumes;
        sdm_ = qm::tools::writeSyntheticRun(spec).sdm;
    }
    ~RunFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;

    const std::string& sdm() const { return sdm_; }

private:
    std::string path_;
    std::string sdm_;
};

HNZTPluginInterface* loadPlugin() {
    // Loaded to the end of the process, as the host keeps it.
    static const auto* library = new halvorn_host::PluginLibrary(QUELMAR_PLUGIN_PATH);
    HNZTPluginInterface* plugin = library->createPlugin();
    if (!plugin->initPlugin()) {
        throw std::runtime_error("initPlugin refused the benchmark host");
    }
    return plugin;
}

// Every option on: all seven families, spikes with neighbours, both plots, the table.
std::map<std::string, std::string> everything(const std::string& sdm) {
    return {{"task", "confound"},       {"sdmfile", sdm},          {"spike_threshold", "0.5"},
            {"spike_measure", "0"},     {"head_radius", "65"},     {"spikes_before", "1"},
            {"spikes_after", "2"},      {"create_detrended", "1"}, {"create_derivative", "1"},
            {"create_spikes", "1"},     {"create_squared", "1"},   {"create_delayed1", "1"},
            {"create_delayed1sq", "1"}, {"create_delayed2", "1"},  {"create_delayed2sq", "1"},
            {"create_table", "1"},      {"plot_regular", "1"},     {"plot_detrended", "1"}};
}

void confoundTask(benchmark::State& state, HNZTPluginInterface* plugin, const RunFolder* run,
                  bool table) {
    host().parameters = everything(run->sdm());
    host().parameters["create_table"] = table ? "1" : "0";
    for (auto _ : state) {
        host().messageBoxes.clear();
        plugin->execute();
        if (!host().messageBoxes.empty()) {
            state.SkipWithError(host().messageBoxes.front().c_str());
            break;
        }
    }
    state.counters["volumes"] = kVolumes;
}

double smallest(const std::vector<double>& values) {
    return *std::min_element(values.begin(), values.end());
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    try {
        const RunFolder run;
        HNZTPluginInterface* plugin = loadPlugin();
        for (const bool table : {true, false}) {
            benchmark::RegisterBenchmark(table ? "ConfoundTask/2000volumes/everything"
                                               : "ConfoundTask/2000volumes/everything-but-table",
                                         confoundTask, plugin, &run, table)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime()
                ->ComputeStatistics("min", smallest);
        }
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
        // The plug-in is left to the end of the process, as the host leaves it loaded.
    } catch (const std::exception& error) {
        std::cerr << "Halvorn.exe (confound benchmark): " << error.what() << '\n';
        return 1;
    }
    return 0;
}
