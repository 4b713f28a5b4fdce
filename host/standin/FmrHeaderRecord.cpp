#include "FmrHeaderRecord.h"

#include <cstring>
#include <stdexcept>
#include <string>

namespace halvorn_host {

void checkFitsFmrHeader(std::string_view path) {
    if (path.size() > kLongestFmrPath) {
        throw std::runtime_error("the document path " + std::string(path) + " is longer than " +
                                 std::to_string(kLongestFmrPath) + " bytes");
    }
}

FmrDocumentHeader fmrHeaderRecord(std::string_view path, const FmrGrid& grid) {
    checkFitsFmrHeader(path);
    FmrDocumentHeader header{};
    std::memcpy(header.fmrPath, path.data(), path.size());
    header.fmrPath[path.size()] = '\0';
    header.nrOfVolumes = grid.volumes;
    header.dimX = grid.columns;
    header.dimY = grid.rows;
    header.dimZ = grid.slices;
    header.voxelSizeX = grid.voxelSizeX;
    header.voxelSizeY = grid.voxelSizeY;
    header.voxelSizeZ = grid.voxelSizeZ;
    return header;
}

} // namespace halvorn_host
