#include "DocumentLoader.h"

#include "FmrProject.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace halvorn_host {
namespace {

// An FMR project is a short text header; its slice data lie in the STC file beside it. A file
// this large is something else, and reading it token by token could take all memory.
constexpr std::uintmax_t kLargestFmrHeader = 64U * 1024U * 1024U;

// Devices and pipes never end (a token of /dev/zero never does), and files far too large for a
// header are not one. Missing files and folders are left to the FMR reader, which names them as
// it does for the plug-in.
void checkIsFmrSizedFile(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    const auto status = fs::status(path, error);
    if (error || !fs::exists(status) || fs::is_directory(status)) {
        return;
    }
    if (!fs::is_regular_file(status)) {
        throw std::runtime_error("the document " + path +
                                 " is not a regular file, so it is no FMR project");
    }
    const auto bytes = fs::file_size(path, error);
    if (!error && bytes > kLargestFmrHeader) {
        throw std::runtime_error("the document " + path + " is not an FMR project: it holds " +
                                 std::to_string(bytes) +
                                 " bytes, and an FMR project is a short text header");
    }
}

// A file without any of the entries that give a run its size is no FMR project (an SDM, an MDM,
// an STC...), and would become a document of 0 x 0 x 0 voxels. A project that has some of them
// is damaged rather than foreign: the plug-in names what is missing when it reads it.
void checkHoldsAnFmrHeader(const qm::FmrProject& project, const std::string& path) {
    if (!project.nrOfVolumes.present && !project.nrOfSlices.present &&
        !project.resolutionX.present && !project.resolutionY.present) {
        throw std::runtime_error(
            "the document " + path +
            " is not an FMR project: it has no \"NrOfVolumes:\", \"NrOfSlices:\", "
            "\"ResolutionX:\" or \"ResolutionY:\" entry");
    }
}

} // namespace

FmrDocumentHeader readFmrDocumentHeader(const std::string& path) {
    FmrDocumentHeader header{};
    if (path.size() >= sizeof header.fmrPath) {
        throw std::runtime_error("the document path " + path + " is longer than " +
                                 std::to_string(sizeof header.fmrPath - 1) + " bytes");
    }
    checkIsFmrSizedFile(path);
    const qm::FmrProject project(path, false);
    checkHoldsAnFmrHeader(project, path);
    std::memcpy(header.fmrPath, path.c_str(), path.size() + 1);
    header.nrOfVolumes = project.nrOfVolumes.value;
    header.dimX = project.resolutionX.value;
    header.dimY = project.resolutionY.value;
    header.dimZ = project.nrOfSlices.value;
    header.voxelSizeX = project.inplaneResolutionX.value;
    header.voxelSizeY = project.inplaneResolutionY.value;
    // The distance between slice centres.
    header.voxelSizeZ = project.sliceThickness.value + project.sliceGap.value;
    return header;
}

} // namespace halvorn_host
