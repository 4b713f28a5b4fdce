#include "Nifti1File.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string_view>

namespace halvorn_host {
namespace {

static_assert(std::endian::native == std::endian::little,
              "the header and the data are copied as they lie in memory: little-endian only");

// Byte offsets of the header fields this writer sets; every other byte stays 0.
constexpr std::size_t kSizeofHdr = 0;
constexpr std::size_t kRegular = 38;
constexpr std::size_t kDim = 40;        // 8 x int16
constexpr std::size_t kDatatype = 70;   // int16
constexpr std::size_t kBitpix = 72;     // int16
constexpr std::size_t kPixdim = 76;     // 8 x float32
constexpr std::size_t kVoxOffset = 108; // float32
constexpr std::size_t kXyztUnits = 123; // char
constexpr std::size_t kCalMax = 124;    // float32
constexpr std::size_t kCalMin = 128;    // float32
constexpr std::size_t kDescrip = 148;   // 80 chars
constexpr std::size_t kDescripLength = 80;
constexpr std::size_t kQformCode = 252; // int16
constexpr std::size_t kSformCode = 254; // int16
constexpr std::size_t kQuatern = 256;   // quatern_b, _c, _d, then qoffset_x, _y, _z: 6 x float32
constexpr std::size_t kSrow = 280;      // srow_x, srow_y, srow_z: 3 x 4 x float32
constexpr std::size_t kMagic = 344;     // 4 chars

constexpr std::int16_t kDatatypeFloat32 = 16;
constexpr char kUnitsMillimetre = 2;

template <typename T> void put(std::string& bytes, std::size_t offset, T value) {
    std::memcpy(bytes.data() + offset, &value, sizeof value);
}

} // namespace

std::string nifti1SingleFile(const NiftiMapImage& image) {
    const auto [nx, ny, nz] = image.dimensions;
    if (nx <= 0 || ny <= 0 || nz <= 0 || image.volumes.empty()) {
        throw std::invalid_argument("no map data to write");
    }
    const std::size_t volumeSize =
        static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny) * static_cast<std::size_t>(nz);
    for (const auto volume : image.volumes) {
        if (volume.size() != volumeSize) {
            throw std::invalid_argument("the maps differ in size");
        }
    }
    const std::size_t volumes = image.volumes.size();
    if (nx > INT16_MAX || ny > INT16_MAX || nz > INT16_MAX || volumes > INT16_MAX) {
        throw std::invalid_argument("a map dimension exceeds the format's 32767");
    }
    const bool fourDimensional = volumes > 1;
    const std::size_t dataSize = volumeSize * volumes * sizeof(float);
    std::string bytes(kNifti1DataOffset + dataSize, '\0');

    put<std::int32_t>(bytes, kSizeofHdr, static_cast<std::int32_t>(kNifti1HeaderSize));
    bytes[kRegular] = 'r';
    const std::int16_t dim[8] = {static_cast<std::int16_t>(fourDimensional ? 4 : 3),
                                 static_cast<std::int16_t>(nx),
                                 static_cast<std::int16_t>(ny),
                                 static_cast<std::int16_t>(nz),
                                 static_cast<std::int16_t>(fourDimensional ? volumes : 0),
                                 0,
                                 0,
                                 0};
    std::memcpy(bytes.data() + kDim, dim, sizeof dim);
    put<std::int16_t>(bytes, kDatatype, kDatatypeFloat32);
    put<std::int16_t>(bytes, kBitpix, 32);
    // pixdim[0] is the qform's handedness (0 without a qform); pixdim[4], the time step, exists
    // only in 4-D.
    const NiftiPlacement& placement = image.placement;
    const bool qform = placement.qformCode > 0;
    const float pixdim[8] = {qform ? static_cast<float>(placement.qfac) : 0.0F,
                             image.voxelSize[0],
                             image.voxelSize[1],
                             image.voxelSize[2],
                             fourDimensional ? 1.0F : 0.0F,
                             0.0F,
                             0.0F,
                             0.0F};
    std::memcpy(bytes.data() + kPixdim, pixdim, sizeof pixdim);
    put<float>(bytes, kVoxOffset, static_cast<float>(kNifti1DataOffset));
    bytes[kXyztUnits] = kUnitsMillimetre;
    put<float>(bytes, kCalMax, image.displayMax);
    put<float>(bytes, kCalMin, image.displayMin);
    // At most 79 characters, up to the first NUL, and the terminating NUL.
    const std::string_view description(image.description.c_str());
    std::memcpy(bytes.data() + kDescrip, description.data(),
                std::min(description.size(), kDescripLength - 1));
    put<std::int16_t>(bytes, kQformCode, placement.qformCode);
    put<std::int16_t>(bytes, kSformCode, placement.sformCode);
    if (qform) {
        const float quatern[6] = {
            static_cast<float>(placement.quaternB),   static_cast<float>(placement.quaternC),
            static_cast<float>(placement.quaternD),   static_cast<float>(placement.qoffset[0]),
            static_cast<float>(placement.qoffset[1]), static_cast<float>(placement.qoffset[2])};
        std::memcpy(bytes.data() + kQuatern, quatern, sizeof quatern);
    }
    if (placement.sformCode > 0) {
        float srow[12];
        for (std::size_t i = 0; i < 12; ++i) {
            srow[i] = static_cast<float>(placement.srow[i / 4][i % 4]);
        }
        std::memcpy(bytes.data() + kSrow, srow, sizeof srow);
    }
    std::memcpy(bytes.data() + kMagic, "n+1", 4);
    // The four bytes after the header stay 0: no extension follows.

    char* data = bytes.data() + kNifti1DataOffset;
    for (const auto volume : image.volumes) {
        std::memcpy(data, volume.data(), volumeSize * sizeof(float));
        data += volumeSize * sizeof(float);
    }
    return bytes;
}

} // namespace halvorn_host
