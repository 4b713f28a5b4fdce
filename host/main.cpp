// Halvorn.exe: plays the HalvornZT host for the plug-in, headless.
//
// The run follows the real host: load the library, read its six description texts, create the
// plug-in, initPlugin, one execute per task (with "task" set to it), delete the plug-in.
#include "CommandLine.h"
#include "DialogScript.h"
#include "DocumentLoader.h"
#include "HostSession.h"
#include "NiftiWriter.h"
#include "OutputFiles.h"
#include "ParameterFile.h"
#include "ParameterUsage.h"
#include "PlotExports.h"
#include "PluginLibrary.h"
#include "Report.h"
#include "WrittenFiles.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

namespace halvorn_host {
namespace {

// Parameter files in order, then --set, each overriding what came before. Returns where each
// parameter was given, for the warnings after the run.
std::map<std::string, std::string> applyParameters(const HostOptions& options, HostSession& host) {
    std::vector<ParameterAssignment> assignments;
    for (const auto& file : options.parameterFiles) {
        auto fromFile = readParameterFile(file);
        assignments.insert(assignments.end(), fromFile.begin(), fromFile.end());
    }
    for (const auto& text : options.parameterAssignments) {
        assignments.push_back(parseSetAssignment(text));
    }
    std::map<std::string, std::string> origins;
    for (const auto& assignment : assignments) {
        host.parameters[assignment.name] = assignment.value;
        origins[assignment.name] = assignment.origin;
    }
    return origins;
}

// The plug-in stored these itself (the selection task stores "sdmfile"): every entry of the
// store that neither the command line nor the host's "task" put there.
std::set<std::string> parametersSetByPlugin(const HostSession& host,
                                            const std::map<std::string, std::string>& given) {
    std::set<std::string> names;
    for (const auto& entry : host.parameters) {
        if (entry.first != "task" && !given.contains(entry.first)) {
            names.insert(entry.first);
        }
    }
    return names;
}

void applyOptions(const HostOptions& options, HostSession& host) {
    parseHostVersion(options.hostVersion, host.version.major, host.version.minor,
                     host.version.patch);
    host.plotsDirectory = options.plotsDirectory;
    if (options.mapDimensions) {
        host.mapDimensions = parseMapDimensions(*options.mapDimensions);
    }
    host.fileDialogAnswers.assign(options.fileDialogAnswers.begin(),
                                  options.fileDialogAnswers.end());
    if (options.transcriptPath) {
        // Written when the run ends; what would stop it then is told now, before the run.
        const std::string problem = obviousWriteProblem(*options.transcriptPath);
        if (!problem.empty()) {
            throw std::runtime_error("cannot write the transcript " + *options.transcriptPath +
                                     ": " + problem);
        }
        host.transcript.open(*options.transcriptPath);
    }
    if (options.documentPath) {
        FmrDocument fmr = readFmrDocument(*options.documentPath);
        if (!fmr.positionProblem.empty()) {
            std::cerr << "Halvorn.exe: warning: the position information of the document "
                      << *options.documentPath << " cannot place its slices ("
                      << fmr.positionProblem
                      << "), so maps are saved without a position in the scanner\n";
        }
        host.document = CurrentDocument{0, kDocumentTypeFmr, fmr.header, fmr.position, {}};
    }
    if (options.gzipMaps) {
        if (!writerCompresses()) {
            throw std::runtime_error(
                "--gzip-maps needs the NIfTI library's compression, which this build of "
                "Halvorn.exe does not have; without the option maps are saved as NAME.nii");
        }
        host.gzipMaps = true;
    }
    if (options.documentType) {
        if (!host.document) {
            host.document = CurrentDocument{};
        }
        host.document->type = *options.documentType;
    }
}

std::string pluginText(const PluginLibrary& library, const char* entryPoint) {
    const auto function = reinterpret_cast<pluginText_t>(library.symbol(entryPoint));
    const char* text = function();
    return text != nullptr ? text : "";
}

// "a, b and c".
std::string listText(const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    }
    return text;
}

// The dialog script that the host loads from beside the library. Without one, names cannot be
// checked; the run goes on after a warning.
std::optional<PluginDialog> loadPluginDialog(const std::string& pluginPath,
                                             const std::string& scriptName) {
    if (scriptName.empty()) {
        std::cerr << "Halvorn.exe: warning: the plug-in names no dialog script, so task and "
                     "parameter names are not checked\n";
        return std::nullopt;
    }
    const std::string scriptPath =
        (std::filesystem::path(pluginPath).parent_path() / scriptName).string();
    try {
        return readDialogScript(scriptPath);
    } catch (const DialogScriptError& error) {
        std::cerr << "Halvorn.exe: warning: " << error.what()
                  << ", so task and parameter names are not checked\n";
        return std::nullopt;
    }
}

int runPlugin(const HostOptions& options) {
    HostSession& host = session();
    applyOptions(options, host);
    const auto givenParameters = applyParameters(options, host);

    const std::string pluginPath =
        options.pluginPath.empty() ? defaultPluginPath() : options.pluginPath;
    std::unique_ptr<PluginLibrary> library;
    try {
        library = std::make_unique<PluginLibrary>(pluginPath);
    } catch (const std::exception& error) {
        std::cerr << "Halvorn.exe: error: " << error.what() << '\n';
        return kExitCannotStart;
    }

    nlohmann::ordered_json loaded = {{"host", "loaded"}, {"plugin", pluginPath}};
    for (const char* entryPoint : {"getPluginName", "getPluginDescription", "getAuthor",
                                   "getPluginVersion", "getHelpFile", "getGUIScript"}) {
        loaded[entryPoint] = pluginText(*library, entryPoint);
    }
    host.transcript.record(loaded);

    // Names are checked before anything of the plug-in runs: a misspelt task would run nothing,
    // a misspelt parameter would leave an option at 0.
    const std::optional<PluginDialog> dialog =
        loadPluginDialog(pluginPath, loaded["getGUIScript"].get<std::string>());
    if (dialog) {
        const auto unknownTasks = unknownTaskErrors(options.tasks, *dialog);
        if (!unknownTasks.empty()) {
            for (const auto& error : unknownTasks) {
                std::cerr << "Halvorn.exe: error: " << error << '\n';
            }
            std::cerr << "Halvorn.exe: the plug-in's tasks are " << listText(dialog->taskNames())
                      << '\n';
            host.transcript.record({{"host", "unknown task"}});
            return kExitCannotStart;
        }
        for (const auto& warning : unknownParameterWarnings(givenParameters, *dialog)) {
            std::cerr << "Halvorn.exe: warning: " << warning << '\n';
        }
    }

    PluginObject plugin(library->createPlugin());
    host.transcript.record({{"host", "initPlugin"}});
    const bool ready = plugin->initPlugin();
    host.transcript.record({{"host", "initPlugin returned"}, {"result", ready}});
    if (!ready) {
        plugin.reset();
        host.transcript.record({{"host", "plugin deleted"}});
        return kExitCannotStart;
    }

    for (const auto& task : options.tasks) {
        host.parameters["task"] = task;
        host.transcript.record({{"host", "execute"}, {"task", task}});
        // The folders as "sdmfile" names them when the task starts (a task that sets it writes
        // nothing beside the design matrices).
        const std::vector<std::string> folders = motionFolders(host);
        const FolderListing before = listFolders(folders);
        host.insideTask = true;
        const bool result = plugin->execute();
        host.insideTask = false;
        host.transcript.record({{"host", "execute returned"}, {"result", result}});
        if (!folders.empty()) {
            host.transcript.record(
                filesWrittenEvent(task, filesWritten(before, listFolders(folders))));
        }
    }

    plugin.reset();
    host.transcript.record({{"host", "plugin deleted"}});
    renderPendingPlots(host);
    if (host.busyCursorDepth != 0) {
        std::cerr << "Halvorn.exe: warning: the busy cursor was left on\n";
    }
    std::optional<std::set<std::string>> expectedToBeRead;
    if (dialog) {
        expectedToBeRead = dialog->parametersReadBy(options.tasks);
    }
    for (const auto& warning :
         parameterUsageWarnings(givenParameters, host.parametersRead,
                                parametersSetByPlugin(host, givenParameters), expectedToBeRead)) {
        std::cerr << "Halvorn.exe: warning: " << warning << '\n';
    }
    return host.errorShownDuringTask ? kExitTaskError : kExitOk;
}

void writeTranscript(HostSession& host) {
    try {
        host.transcript.write();
    } catch (const OutputFileError& error) {
        reportOutputFailure(host, "the transcript", error);
    }
}

// The report folder is made before the run, so that the transcript it is read from can go there.
// The transcript is written when the run ends, the report after it.
int run(const HostOptions& options) {
    HostSession& host = session();
    std::optional<ReportWriter> report;
    int exitCode = kExitOk;
    try {
        if (options.reportDirectory) {
            report.emplace(*options.reportDirectory, options.transcriptPath, host);
        }
        exitCode = runPlugin(options);
    } catch (const std::exception& error) {
        std::cerr << "Halvorn.exe: error: " << error.what() << '\n';
        report.reset();
        exitCode = kExitCannotStart;
    }
    writeTranscript(host);
    if (report) {
        try {
            report->write(host);
        } catch (const std::exception& error) {
            std::cerr << "Halvorn.exe: error: cannot write the report: " << error.what() << '\n';
            exitCode = std::max(exitCode, kExitTaskError);
        }
    }
    if (!host.failedOutputFiles.empty()) {
        exitCode = std::max(exitCode, kExitTaskError);
    }
    return exitCode;
}

} // namespace

HostSession& session() {
    static HostSession host;
    return host;
}

void stopRun(HostSession& host, int status) {
    host.transcript.record({{"host", "stopped"}, {"status", status}});
    writeTranscript(host);
    std::cout.flush();
    std::cerr.flush();
    // Neither the plug-in's nor the host's static objects are destroyed: the plug-in is still
    // inside the call that stopped the run.
    std::_Exit(status);
}

} // namespace halvorn_host

int main(int argc, char** argv) {
#if defined(_WIN32)
    // The log and the message boxes reach stdout and stderr as the plug-in wrote them, with no
    // carriage return put before its newlines.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    int exitCode = 0;
    const auto options = halvorn_host::parseCommandLine(argc, argv, exitCode);
    if (!options) {
        return exitCode;
    }
    try {
        return halvorn_host::run(*options);
    } catch (const std::exception& error) {
        std::cerr << "Halvorn.exe: error: " << error.what() << '\n';
        return 2;
    }
}
