// Everything the stand-in host holds while a plug-in runs inside it: its parameter store, the
// answers for file dialogs, the current document, the transcript of calls. The functions the
// host exports to the plug-in (HostExports.cpp) reach it through session().
#pragma once

#include "FmrPosition.h"
#include "HostMap.h"
#include "PlotWindow.h"
#include "Transcript.h"

#include <halvorn/HalvornPluginApi.h>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace halvorn_host {

struct HostVersion {
    int major = 2;
    int minor = 8;
    int patch = 0;
};

struct CurrentDocument {
    int id = 0;
    int type = kDocumentTypeFmr;
    std::optional<FmrDocumentHeader> fmrHeader; // present for an FMR read from disk
    std::optional<FmrPosition> position;        // where its slices lie, when the FMR says so
    DocumentMaps maps;                          // created by the plug-in
};

struct HostSession {
    HostVersion version;
    std::map<std::string, std::string> parameters; // values kept as text
    std::set<std::string> parametersRead;
    std::deque<std::string> fileDialogAnswers;
    std::optional<CurrentDocument> document;
    Transcript transcript;
    int busyCursorDepth = 0;
    bool errorShownDuringTask = false;
    bool insideTask = false;
    // Plot windows in creation order; a plot's handle is the address of its PlotWindow.
    std::vector<std::unique_ptr<PlotWindow>> plots;
    std::string plotsDirectory = "."; // where the plot pictures go
    // Dimensions of new maps instead of the document's (--map-dimensions).
    std::optional<MapDimensions> mapDimensions;
    bool gzipMaps = false; // --gzip-maps: maps as NAME.nii.gz
    // Called after a save wrote its file, before the maps' values are released (the report
    // keeps its statistics and pictures of them).
    std::function<void(const SavedMaps&)> mapsSaved;
    // Files Halvorn.exe could not write (each reported once); any makes the exit status 1.
    std::set<std::string> failedOutputFiles;
};

HostSession& session();

// Exit statuses of Halvorn.exe.
inline constexpr int kExitOk = 0;
inline constexpr int kExitTaskError = 1;   // an error was shown, or an output file failed
inline constexpr int kExitCannotStart = 2; // the run could not start, or was stopped

// Ends the process at once with `status`, from inside a call of the plug-in: what the host
// keeps on file is completed first, nothing of the plug-in runs any more.
[[noreturn]] void stopRun(HostSession& host, int status);

} // namespace halvorn_host
