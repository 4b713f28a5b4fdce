// The selection and confound tasks on a fuzzed SDM, driven as the host drives them. This
// program is named "Halvorn.exe" and exports the host functions the tasks call, because the
// plug-in binds its host table by looking up the loaded module of that name; it loads the real
// Quelmar.so, creates and initialises the plug-in once, and for every input writes the bytes as
// run_3DMC.sdm, lets the user choose it ("select_3dmcsdm"), then runs "confound" with every
// output and plot switched on, the confound table and spike neighbours included.
//
// Faults: a crash or sanitizer report inside the plug-in; an error message that betrays an
// internal failure rather than telling the user what is wrong with the file; an unbalanced busy
// cursor; an output SDM that the SDM reader refuses or whose length differs from the input's; a
// confound table without a header and one line per data point, or a sidecar that is not JSON;
// a temporary file left behind. Inputs of more than kMaxDataPoints data points are passed over
// (the spike matrix grows with the square of the volume count).
#include "AtomicFileWriter.h"
#include "DesignMatrix.h"
#include "FileContent.h"
#include "FmrHeaderRecord.h"
#include "FuzzSupport.h"
#include "HostTextBuffer.h"
#include "LenientParameters.h"
#include "PluginLibrary.h"

#include <halvorn/HalvornPluginApi.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#ifndef QUELMAR_PLUGIN_PATH
#error "QUELMAR_PLUGIN_PATH must name the plug-in library"
#endif

namespace {

using qm::fuzz::fail;

constexpr std::int32_t kMaxDataPoints = 256;
constexpr std::int32_t kDocumentVolumes = 10;
constexpr const char* kSpikeThreshold = "0.5";

struct FuzzHost {
    halvorn_host::ParameterTexts parameters;
    std::optional<std::string> dialogAnswer;
    std::vector<std::string> messageBoxes;
    int busyCursorDepth = 0;
    int plotHandle = 0; // its address is the one plot handle the host hands out
};

FuzzHost& host() {
    static FuzzHost instance;
    return instance;
}

std::string parameter(const char* name) {
    return halvorn_host::parameterText(host().parameters, name);
}

// Touches every element the plug-in hands over, so that a short array is caught.
float sumOf(int n, const float* values) {
    if (n < 0) {
        fail("a plot line with a negative number of points");
    }
    float sum = 0.0F;
    for (int i = 0; i < n; ++i) {
        sum += values[i];
    }
    return sum;
}

void expectPlot(PlotHandle plot) {
    if (plot != &host().plotHandle) {
        fail("a plot call with a handle the host never handed out");
    }
}

// An error whose text comes from the language or library rather than from the plug-in's own
// account of what is wrong. Such a text is the whole exception message, right after "Error: ";
// the plug-in's own messages begin with its words, and quote the user's data only later.
bool betraysInternalFailure(const std::string& text) {
    static const std::array<const char*, 9> beginnings = {
        "std::", "bad_alloc", "basic_string",      "vector::",          "stoi",
        "stof",  "map::at",   "assertion failure", "unexpected failure"};
    const std::string prefix = "Error: ";
    if (text.compare(0, prefix.size(), prefix) != 0) {
        return false;
    }
    for (const char* beginning : beginnings) {
        if (text.compare(prefix.size(), std::strlen(beginning), beginning) == 0) {
            return true;
        }
    }
    return text.find(" is not available") != std::string::npos; // a host function we lack
}

} // namespace

extern "C" {

HALVORN_EXPORT void ztGetVersionOfHalvornZT(int* major, int* minor, int* patch) {
    *major = 2;
    *minor = 8;
    *patch = 0;
}
HALVORN_EXPORT void ztShowLogTab() {}
HALVORN_EXPORT void ztShowBusyCursor() {
    ++host().busyCursorDepth;
}
HALVORN_EXPORT void ztStopBusyCursor() {
    --host().busyCursorDepth;
}
HALVORN_EXPORT void ztLogText(const char* text) {
    static_cast<void>(std::strlen(text));
}
HALVORN_EXPORT void ztMessageBox(const char* text) {
    host().messageBoxes.emplace_back(text);
}
HALVORN_EXPORT int ztGetIDOfCurrentDocument() {
    return 0;
}
HALVORN_EXPORT int ztGetDocumentType(int documentId) {
    return documentId == 0 ? kDocumentTypeFmr : -1;
}
HALVORN_EXPORT void ztGetStringParameter(const char* name, char* buffer512) {
    halvorn_host::copyToHostTextBuffer(parameter(name), buffer512);
}
HALVORN_EXPORT int ztGetIntParameter(const char* name) {
    return halvorn_host::parameterNumber<int>(host().parameters, name);
}
HALVORN_EXPORT float ztGetFloatParameter(const char* name) {
    return halvorn_host::parameterNumber<float>(host().parameters, name);
}
HALVORN_EXPORT void ztSetStringParameter(const char* name, const char* value) {
    host().parameters[name] = value;
}
HALVORN_EXPORT int ztGetOpenFileName(const char*, const char*, const char*, char* buffer512) {
    if (!host().dialogAnswer) {
        return 0;
    }
    halvorn_host::copyToHostTextBuffer(*host().dialogAnswer, buffer512);
    host().dialogAnswer.reset();
    return 1;
}
HALVORN_EXPORT void ztGetHeaderOfCurrentFMR(FmrDocumentHeader* header) {
    const FmrDocumentHeader filled =
        halvorn_host::fmrHeaderRecord("run.fmr", {kDocumentVolumes, 4, 4, 2, 3.0F, 3.0F, 3.0F});
    std::memcpy(header, &filled, sizeof filled);
}
HALVORN_EXPORT PlotHandle ztPlotLine(int n, const float* x, const float* y, const char* name) {
    static_cast<void>(sumOf(n, x) + sumOf(n, y) + static_cast<float>(std::strlen(name)));
    return &host().plotHandle;
}
HALVORN_EXPORT void ztAddLineToPlot(PlotHandle plot, int n, const float* x, const float* y,
                                    const char* name) {
    expectPlot(plot);
    static_cast<void>(sumOf(n, x) + sumOf(n, y) + static_cast<float>(std::strlen(name)));
}
HALVORN_EXPORT void ztSetPlotColorTheme(PlotHandle plot, int) {
    expectPlot(plot);
}
HALVORN_EXPORT void ztSetPlotLineSizeAndColor(PlotHandle plot, int, int, int, int, int, int) {
    expectPlot(plot);
}
HALVORN_EXPORT void ztShowPlotLegend(PlotHandle plot, int, int) {
    expectPlot(plot);
}
HALVORN_EXPORT void ztSetPlotTitle(PlotHandle plot, const char* title) {
    expectPlot(plot);
    static_cast<void>(std::strlen(title));
}
HALVORN_EXPORT void ztResizePlot(PlotHandle plot, int, int) {
    expectPlot(plot);
}
HALVORN_EXPORT void ztSetPlotYAxisRange(PlotHandle plot, float, float) {
    expectPlot(plot);
}
HALVORN_EXPORT void ztShowPlotAtPosition(PlotHandle plot, int, int) {
    expectPlot(plot);
}

} // extern "C"

namespace {

HNZTPluginInterface* plugin = nullptr;

void loadPlugin() {
    try {
        // Loaded to the end of the process, as the host keeps it.
        static const auto* library = new halvorn_host::PluginLibrary(QUELMAR_PLUGIN_PATH);
        plugin = library->createPlugin();
    } catch (const std::exception& error) {
        fail(error.what());
    }
    if (!plugin->initPlugin()) {
        fail("initPlugin refused the fuzz host");
    }
}

void runTask(const char* task) {
    host().parameters["task"] = task;
    host().messageBoxes.clear();
    plugin->execute();
    if (host().busyCursorDepth != 0) {
        fail(std::string("the busy cursor is left on after ") + task);
    }
    for (const auto& text : host().messageBoxes) {
        if (betraysInternalFailure(text)) {
            fail(std::string(task) + " showed an internal failure: " + text);
        }
    }
}

// What the tasks left beside the input: only finished SDMs of the input's length.
void checkOutputs(const qm::fuzz::ScratchFolder& scratch, const std::string& input,
                  std::int32_t dataPoints) {
    namespace fs = std::filesystem;
    for (const auto& entry : fs::directory_iterator(fs::path(scratch.path("")))) {
        const std::string path = entry.path().string();
        if (path == input) {
            continue;
        }
        if (qm::isAtomicWriteTemporaryName(entry.path().filename().string())) {
            fail("a temporary file was left behind: " + path);
        }
        if (entry.path().extension() == ".tsv") {
            const std::string table = qm::readFileContent(path);
            const auto lines = std::count(table.begin(), table.end(), '\n');
            if (table.empty() || table.back() != '\n' || lines != dataPoints + 1) {
                fail("the confound table " + path + " has not a header and one line per volume");
            }
            continue;
        }
        if (entry.path().extension() == ".json") {
            if (nlohmann::json::parse(qm::readFileContent(path), nullptr, false).is_discarded()) {
                fail("the confound table's sidecar " + path + " is not JSON");
            }
            continue;
        }
        try {
            const qm::DesignMatrix output(path);
            if (output.nrOfDataPoints.value != dataPoints) {
                fail("the output " + path + " has another number of data points");
            }
        } catch (const std::exception& error) {
            fail(std::string("the SDM reader refuses an output of the confound task: ") +
                 error.what());
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    loadPlugin();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const qm::fuzz::ScratchFolder scratch("tasks");
    scratch.clear();
    const std::string input = scratch.write("run_3DMC.sdm", qm::fuzz::bytesOf(data, size));

    std::int32_t dataPoints = 0;
    try {
        dataPoints = qm::DesignMatrix(input).nrOfDataPoints.value;
    } catch (const std::exception&) {
        // Refused files are still handed to the tasks, which must report them.
    }
    if (dataPoints > kMaxDataPoints) {
        return 0;
    }

    host().parameters = {{"spike_threshold", kSpikeThreshold},
                         {"create_detrended", "1"},
                         {"create_derivative", "1"},
                         {"create_spikes", "1"},
                         {"create_squared", "1"},
                         {"create_delayed1", "1"},
                         {"create_delayed1sq", "1"},
                         {"create_delayed2", "1"},
                         {"create_delayed2sq", "1"},
                         {"create_table", "1"},
                         {"spikes_before", "1"},
                         {"spikes_after", "2"},
                         {"plot_regular", "1"},
                         {"plot_detrended", "1"}};
    host().dialogAnswer = input;
    runTask("select_3dmcsdm");
    if (parameter("sdmfile") != input) {
        return 0; // refused: the confound task never sees it
    }
    runTask("confound");
    checkOutputs(scratch, input, dataPoints);
    return 0;
}
