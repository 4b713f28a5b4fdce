#include "DocumentLoader.h"

#include "FmrHeaderRecord.h"
#include "FmrProject.h"

#include <cstdint>
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

// The twelve position fields, when all are there and place a grid.
void positionOf(const qm::FmrProject& project, FmrDocument& document) {
    const qm::FloatField* fields[12] = {
        &project.slice1CenterX, &project.slice1CenterY, &project.slice1CenterZ,
        &project.sliceNCenterX, &project.sliceNCenterY, &project.sliceNCenterZ,
        &project.rowDirX,       &project.rowDirY,       &project.rowDirZ,
        &project.colDirX,       &project.colDirY,       &project.colDirZ};
    constexpr const char* kKeys[12] = {
        "Slice1CenterX:", "Slice1CenterY:", "Slice1CenterZ:", "SliceNCenterX:",
        "SliceNCenterY:", "SliceNCenterZ:", "RowDirX:",       "RowDirY:",
        "RowDirZ:",       "ColDirX:",       "ColDirY:",       "ColDirZ:"};
    bool any = false;
    std::string missing;
    for (std::size_t i = 0; i < 12; ++i) {
        any = any || fields[i]->present;
        if (!fields[i]->present && missing.empty()) {
            missing = kKeys[i];
        }
    }
    if (!any) {
        return; // no position information: the maps' placement is unknown
    }
    if (!missing.empty()) {
        document.positionProblem = "it has no \"" + missing + "\" entry";
        return;
    }
    FmrPosition position;
    for (std::size_t axis = 0; axis < 3; ++axis) {
        position.slice1Center[axis] = fields[axis]->value;
        position.sliceNCenter[axis] = fields[3 + axis]->value;
        position.rowDirection[axis] = fields[6 + axis]->value;
        position.columnDirection[axis] = fields[9 + axis]->value;
    }
    document.positionProblem = positionProblem(position, project.nrOfSlices.value);
    if (document.positionProblem.empty()) {
        document.position = position;
    }
}

} // namespace

FmrDocumentHeader readFmrDocumentHeader(const std::string& path) {
    return readFmrDocument(path).header;
}

FmrDocument readFmrDocument(const std::string& path) {
    checkFitsFmrHeader(path);
    checkIsFmrSizedFile(path);
    const qm::FmrProject project(path, false);
    checkHoldsAnFmrHeader(project, path);
    FmrGrid grid;
    grid.volumes = project.nrOfVolumes.value;
    grid.columns = project.resolutionX.value;
    grid.rows = project.resolutionY.value;
    grid.slices = project.nrOfSlices.value;
    grid.voxelSizeX = project.inplaneResolutionX.value;
    grid.voxelSizeY = project.inplaneResolutionY.value;
    // The distance between slice centres.
    grid.voxelSizeZ = project.sliceThickness.value + project.sliceGap.value;
    FmrDocument document;
    document.header = fmrHeaderRecord(path, grid);
    positionOf(project, document);
    return document;
}

} // namespace halvorn_host
