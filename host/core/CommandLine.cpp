#include "CommandLine.h"

#include <CLI/CLI.hpp>

#include <charconv>
#include <stdexcept>

namespace halvorn_host {

namespace {

constexpr const char* kDescription =
    "Halvorn.exe - a stand-in for the HalvornZT host. It loads the plug-in library exactly as the\n"
    "host does, offers the host functions the plug-in calls, and runs one plug-in task per TASK\n"
    "argument (\"select_3dmcsdm\", \"confound\", \"displacement\").\n"
    "Log text goes to stdout, message boxes to stderr.\n"
    "Exit status: 2 when the plug-in cannot be loaded or refuses to start, 1 when a task showed\n"
    "an \"Error: \" message box, 0 otherwise.";

} // namespace

void parseHostVersion(const std::string& text, int& major, int& minor, int& patch) {
    int parts[3] = {0, 0, 0};
    const char* cursor = text.data();
    const char* end = text.data() + text.size();
    for (int i = 0; i < 3; ++i) {
        const auto result = std::from_chars(cursor, end, parts[i]);
        if (result.ec != std::errc() || (i < 2 && (result.ptr == end || *result.ptr != '.'))) {
            throw std::invalid_argument("host version must be X.Y.Z, got \"" + text + "\"");
        }
        cursor = result.ptr + (i < 2 ? 1 : 0);
        if (i == 2 && cursor != end) {
            throw std::invalid_argument("host version must be X.Y.Z, got \"" + text + "\"");
        }
    }
    major = parts[0];
    minor = parts[1];
    patch = parts[2];
}

std::array<int, 3> parseMapDimensions(const std::string& text) {
    std::array<int, 3> dimensions{};
    const char* cursor = text.data();
    const char* end = text.data() + text.size();
    for (std::size_t i = 0; i < dimensions.size(); ++i) {
        const auto result = std::from_chars(cursor, end, dimensions[i]);
        const bool last = i + 1 == dimensions.size();
        if (result.ec != std::errc() ||
            (last ? result.ptr != end : result.ptr == end || *result.ptr != ',')) {
            throw std::invalid_argument("map dimensions must be X,Y,Z, got \"" + text + "\"");
        }
        cursor = result.ptr + (last ? 0 : 1);
    }
    return dimensions;
}

namespace {

// An option given as often as the user likes, each time with exactly one value of its own.
void repeatable(CLI::Option* option) {
    option->expected(1)->allow_extra_args(false)->multi_option_policy(
        CLI::MultiOptionPolicy::TakeAll);
}

} // namespace

std::optional<HostOptions> parseCommandLine(int argc, char** argv, int& exitCode) {
    HostOptions options;
    CLI::App app(kDescription, "Halvorn.exe");
    app.add_option("--plugin", options.pluginPath,
                   "Plug-in library to load (default: Quelmar.so / Quelmar.dll beside "
                   "Halvorn.exe)");
    app.add_option("--document", options.documentPath,
                   "FMR project that becomes the current document (type 1, id 0)");
    app.add_option("--document-type", options.documentType,
                   "Make the current document of this type instead (1 = FMR)");
    repeatable(app.add_option(
        "--params", options.parameterFiles,
        "Read dialog parameters from FILE: NAME=VALUE lines, # comments (repeatable; "
        "--set overrides)"));
    repeatable(app.add_option("--set", options.parameterAssignments,
                              "Set a dialog parameter, NAME=VALUE (repeatable)"));
    repeatable(app.add_option(
        "--choose", options.fileDialogAnswers,
        "Answer the next file dialog with PATH (repeatable, in order); with none left, "
        "a dialog is cancelled"));
    app.add_option("--host-version", options.hostVersion,
                   "Version the host reports, X.Y.Z (default 2.8.0)");
    app.add_option("--transcript", options.transcriptPath,
                   "Write every host call of the plug-in to FILE as JSON Lines");
    app.add_option("--map-dimensions", options.mapDimensions,
                   "Give new maps these dimensions, X,Y,Z, instead of the document's (to test "
                   "how the plug-in checks them)");
    app.add_flag("--gzip-maps", options.gzipMaps,
                 "Save maps gzip-compressed, as NAME.nii.gz instead of NAME.nii");
    app.add_option("--plots", options.plotsDirectory,
                   "Folder for the plot pictures (default: the current folder)");
    app.add_option("--report", options.reportDirectory,
                   "After the run, write DIR/index.html: per motion design matrix its plots, "
                   "spikes, map pictures, written files and log");
    app.add_option("TASK", options.tasks, "Tasks to run, one execute call each, in order");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        exitCode = app.exit(error);
        if (exitCode != 0) {
            exitCode = 2;
        }
        return std::nullopt;
    }
    exitCode = 0;
    return options;
}

} // namespace halvorn_host
