// The header is filled field by field through the format's own C struct from nifti1.h, which
// describes the format and needs none of the NIfTI library's code.
#include "Nifti1File.h"

#include <nifti1.h>

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string_view>

namespace halvorn_host {

static_assert(std::endian::native == std::endian::little,
              "the header and the data are copied as they lie in memory: little-endian only");
// The struct is the header as it lies in the file: no padding, each field at its offset.
static_assert(sizeof(nifti_1_header) == kNifti1HeaderSize);
static_assert(offsetof(nifti_1_header, dim) == 40 && offsetof(nifti_1_header, pixdim) == 76 &&
              offsetof(nifti_1_header, descrip) == 148 && offsetof(nifti_1_header, srow_x) == 280 &&
              offsetof(nifti_1_header, magic) == 344);

std::size_t checkedVolumeSize(const NiftiMapImage& image) {
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
    return volumeSize;
}

std::string nifti1SingleFile(const NiftiMapImage& image) {
    const std::size_t volumeSize = checkedVolumeSize(image);
    const auto [nx, ny, nz] = image.dimensions;
    const std::size_t volumes = image.volumes.size();
    if (nx > INT16_MAX || ny > INT16_MAX || nz > INT16_MAX || volumes > INT16_MAX) {
        throw std::invalid_argument("a map dimension exceeds the format's 32767");
    }
    const bool fourDimensional = volumes > 1;

    // Every field not set here stays 0.
    nifti_1_header header{};
    header.sizeof_hdr = static_cast<int>(kNifti1HeaderSize);
    header.regular = 'r';
    header.dim[0] = static_cast<short>(fourDimensional ? 4 : 3);
    header.dim[1] = static_cast<short>(nx);
    header.dim[2] = static_cast<short>(ny);
    header.dim[3] = static_cast<short>(nz);
    header.dim[4] = static_cast<short>(fourDimensional ? volumes : 0);
    header.datatype = NIFTI_TYPE_FLOAT32;
    header.bitpix = 32;
    // pixdim[0] is the qform's handedness (0 without a qform); pixdim[4], the time step, exists
    // only in 4-D.
    const NiftiPlacement& placement = image.placement;
    const bool qform = placement.qformCode > 0;
    header.pixdim[0] = qform ? static_cast<float>(placement.qfac) : 0.0F;
    header.pixdim[1] = image.voxelSize[0];
    header.pixdim[2] = image.voxelSize[1];
    header.pixdim[3] = image.voxelSize[2];
    header.pixdim[4] = fourDimensional ? 1.0F : 0.0F;
    header.vox_offset = static_cast<float>(kNifti1DataOffset);
    header.xyzt_units = NIFTI_UNITS_MM;
    header.cal_max = image.displayMax;
    header.cal_min = image.displayMin;
    // At most 79 characters, up to the first NUL, and the terminating NUL.
    const std::string_view description(image.description.c_str());
    std::memcpy(header.descrip, description.data(),
                std::min(description.size(), sizeof header.descrip - 1));
    header.qform_code = placement.qformCode;
    header.sform_code = placement.sformCode;
    if (qform) {
        header.quatern_b = static_cast<float>(placement.quaternB);
        header.quatern_c = static_cast<float>(placement.quaternC);
        header.quatern_d = static_cast<float>(placement.quaternD);
        header.qoffset_x = static_cast<float>(placement.qoffset[0]);
        header.qoffset_y = static_cast<float>(placement.qoffset[1]);
        header.qoffset_z = static_cast<float>(placement.qoffset[2]);
    }
    if (placement.sformCode > 0) {
        float* const rows[3] = {header.srow_x, header.srow_y, header.srow_z};
        for (std::size_t row = 0; row < 3; ++row) {
            for (std::size_t column = 0; column < 4; ++column) {
                rows[row][column] = static_cast<float>(placement.srow[row][column]);
            }
        }
    }
    std::memcpy(header.magic, "n+1", 4);

    // The header, then four bytes of 0 that say no extension follows, then the data.
    const std::size_t dataSize = volumeSize * volumes * sizeof(float);
    std::string bytes(kNifti1DataOffset + dataSize, '\0');
    std::memcpy(bytes.data(), &header, sizeof header);
    char* data = bytes.data() + kNifti1DataOffset;
    for (const auto volume : image.volumes) {
        std::memcpy(data, volume.data(), volumeSize * sizeof(float));
        data += volumeSize * sizeof(float);
    }
    return bytes;
}

} // namespace halvorn_host
