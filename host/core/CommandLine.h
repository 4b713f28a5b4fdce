// The command line of Halvorn.exe.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace halvorn_host {

struct HostOptions {
    std::string pluginPath; // empty: Quelmar.so / Quelmar.dll beside the exe
    std::optional<std::string> documentPath;
    std::optional<int> documentType;
    std::vector<std::string> parameterFiles;       // --params FILE, applied before --set
    std::vector<std::string> parameterAssignments; // NAME=VALUE
    std::vector<std::string> fileDialogAnswers;
    std::string hostVersion = "2.8.0";
    std::optional<std::string> transcriptPath;
    std::string plotsDirectory = ".";
    std::optional<std::string> mapDimensions; // "X,Y,Z": maps of other dimensions than the document
    std::optional<std::string> reportDirectory; // --report DIR: DIR/index.html after the run
    bool gzipMaps = false;                      // maps as NAME.nii.gz
    std::vector<std::string> tasks;
};

// Parses argv. Returns nothing after printing help or a usage error; `exitCode` then holds the
// status to exit with.
std::optional<HostOptions> parseCommandLine(int argc, char** argv, int& exitCode);

// "X.Y.Z" into its three numbers (each may be negative); throws std::invalid_argument.
void parseHostVersion(const std::string& text, int& major, int& minor, int& patch);

// "X,Y,Z" into three numbers; throws std::invalid_argument.
std::array<int, 3> parseMapDimensions(const std::string& text);

} // namespace halvorn_host
