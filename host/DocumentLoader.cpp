#include "DocumentLoader.h"

#include "FmrProject.h"

#include <cstring>
#include <stdexcept>

namespace halvorn_host {

FmrDocumentHeader readFmrDocumentHeader(const std::string& path) {
    FmrDocumentHeader header{};
    if (path.size() >= sizeof header.fmrPath) {
        throw std::runtime_error("the document path " + path + " is longer than " +
                                 std::to_string(sizeof header.fmrPath - 1) + " bytes");
    }
    const qm::FmrProject project(path, false);
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
