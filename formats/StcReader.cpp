// Reading the STC slice data of an FMR project: samples only, slice-major, then volume, row,
// column; 32-bit floats for DataType 2, 16-bit signed integers otherwise, little-endian.
#include "FileErrors.h"
#include "FmrProject.h"

#include <cstring>
#include <fstream>

namespace qm {

void FmrProject::readSliceData() {
    const std::string stcFile = stcPath();
    std::ifstream in(stcFile, std::ios::binary);
    if (!in) {
        throw OpenFileError("Failed opening STC for reading: " + stcFile);
    }
    const VolumeDimensions dim{resolutionX.value, resolutionY.value, nrOfSlices.value};
    const std::size_t voxels = elementCount(dim);
    std::vector<Volume> read;
    read.reserve(static_cast<std::size_t>(nrOfVolumes.value > 0 ? nrOfVolumes.value : 0));
    for (std::int32_t v = 0; v < nrOfVolumes.value; ++v) {
        read.emplace_back(dim);
    }
    const bool floatSamples = dataType.present && dataType.value == 2;
    const std::size_t sampleSize = floatSamples ? 4 : 2;
    const std::size_t sliceSize = static_cast<std::size_t>(dim.x) * static_cast<std::size_t>(dim.y);
    std::vector<unsigned char> bytes(sliceSize * sampleSize);
    for (std::int32_t z = 0; z < dim.z; ++z) {
        for (std::int32_t v = 0; v < nrOfVolumes.value; ++v) {
            in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
            const auto got = static_cast<std::size_t>(in.gcount()) / sampleSize;
            float* slice = read[static_cast<std::size_t>(v)].data.data() + sliceSize * static_cast<std::size_t>(z);
            for (std::size_t i = 0; i < got; ++i) {
                const unsigned char* sample = bytes.data() + i * sampleSize;
                if (floatSamples) {
                    const std::uint32_t bits = static_cast<std::uint32_t>(sample[0]) |
                                               static_cast<std::uint32_t>(sample[1]) << 8 |
                                               static_cast<std::uint32_t>(sample[2]) << 16 |
                                               static_cast<std::uint32_t>(sample[3]) << 24;
                    std::memcpy(&slice[i], &bits, sizeof bits);
                } else {
                    const auto bits = static_cast<std::uint16_t>(sample[0] | sample[1] << 8);
                    slice[i] = static_cast<float>(static_cast<std::int16_t>(bits));
                }
            }
        }
    }
    (void)voxels;
    volumes = std::move(read);
}

} // namespace qm
