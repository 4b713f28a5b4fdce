// The header comes from the field's NIfTI library; the file is written through the project's
// atomic writer: a temporary file beside the target, renamed over it only when complete, so a
// failed save never destroys maps saved earlier under the same name. A ".nii.gz" file is
// compressed by the library's own gzip stream (znzlib) into a private temporary file first, and
// its bytes then go through the atomic writer like any other.
#include "NiftiWriter.h"

#include "OutputFiles.h"

#include <nifti2_io.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <span>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <vector>

namespace halvorn_host {
namespace {

// Size of a NIfTI-1 header, the 4-byte extension flag after it, and so the data offset of a
// single-file image without extensions.
constexpr std::int64_t kNifti1DataOffset = 352;

struct NiftiImageDeleter {
    void operator()(nifti_image* image) const { nifti_image_free(image); }
};
using NiftiImagePointer = std::unique_ptr<nifti_image, NiftiImageDeleter>;

nifti_1_header niftiHeader(const NiftiMapImage& image) {
    const auto [nx, ny, nz] = image.dimensions;
    const auto volumes = static_cast<std::int64_t>(image.volumes.size());
    const std::int64_t dims[8] = {volumes > 1 ? 4 : 3, nx, ny, nz, volumes, 1, 1, 1};
    NiftiImagePointer nim(nifti_make_new_nim(dims, NIFTI_TYPE_FLOAT32, 0));
    if (!nim) {
        throw std::runtime_error("the NIfTI library could not make a header");
    }
    nim->nifti_type = NIFTI_FTYPE_NIFTI1_1;
    nim->dx = nim->pixdim[1] = image.voxelSize[0];
    nim->dy = nim->pixdim[2] = image.voxelSize[1];
    nim->dz = nim->pixdim[3] = image.voxelSize[2];
    nim->xyz_units = NIFTI_UNITS_MM;
    const NiftiPlacement& placement = image.placement;
    nim->qform_code = placement.qformCode;
    nim->quatern_b = placement.quaternB;
    nim->quatern_c = placement.quaternC;
    nim->quatern_d = placement.quaternD;
    nim->qoffset_x = placement.qoffset[0];
    nim->qoffset_y = placement.qoffset[1];
    nim->qoffset_z = placement.qoffset[2];
    nim->qfac = placement.qfac;
    nim->qto_xyz = nifti_quatern_to_dmat44(nim->quatern_b, nim->quatern_c, nim->quatern_d,
                                           nim->qoffset_x, nim->qoffset_y, nim->qoffset_z, nim->dx,
                                           nim->dy, nim->dz, nim->qfac);
    nim->qto_ijk = nifti_dmat44_inverse(nim->qto_xyz);
    nim->sform_code = placement.sformCode;
    if (placement.sformCode > 0) {
        for (int row = 0; row < 3; ++row) {
            for (int column = 0; column < 4; ++column) {
                nim->sto_xyz.m[row][column] = placement.srow[row][column];
            }
        }
        nim->sto_xyz.m[3][3] = 1.0;
        nim->sto_ijk = nifti_dmat44_inverse(nim->sto_xyz);
    }
    nim->cal_min = image.displayMin;
    nim->cal_max = image.displayMax;
    std::strncpy(nim->descrip, image.description.c_str(), sizeof nim->descrip - 1);
    nim->descrip[sizeof nim->descrip - 1] = '\0';
    nim->iname_offset = kNifti1DataOffset;

    nifti_1_header header{};
    if (nifti_convert_nim2n1hdr(nim.get(), &header) != 0) {
        throw std::runtime_error("the NIfTI library could not make a header");
    }
    static_assert(sizeof header + 4 == kNifti1DataOffset);
    return header;
}

// A temporary folder of this process's own, removed with what it holds.
class PrivateFolder {
public:
    PrivateFolder() {
        namespace fs = std::filesystem;
        std::random_device entropy;
        for (int attempt = 0; attempt < 16; ++attempt) {
            std::error_code error;
            const fs::path candidate =
                fs::temp_directory_path(error) / ("halvorn-gzip-" + std::to_string(entropy()));
            if (!error && fs::create_directory(candidate, error) && !error) {
                path_ = candidate;
                fs::permissions(path_, fs::perms::owner_all, error);
                return;
            }
        }
        throw std::runtime_error("no temporary folder to compress in");
    }
    ~PrivateFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;

    std::filesystem::path file(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// The pieces compressed by the NIfTI library's gzip stream.
std::string gzipped(std::span<const std::string_view> pieces) {
    const PrivateFolder folder;
    const std::string path = folder.file("map.nii.gz").string();
    znzFile file = znzopen(path.c_str(), "wb", 1);
    if (znz_isnull(file)) {
        throw std::runtime_error("the NIfTI library could not open a compressed file");
    }
    bool written = true;
    for (const std::string_view piece : pieces) {
        written = written && znzwrite(piece.data(), 1, piece.size(), file) == piece.size();
    }
    if (Xznzclose(&file) != 0 || !written) {
        throw std::runtime_error("the NIfTI library could not compress the maps");
    }
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

void writeNiftiMaps(const std::string& path, const NiftiMapImage& image) {
    const std::size_t volumeSize = checkedVolumeSize(image);
    const nifti_1_header header = niftiHeader(image);
    // The header, the zero extension flag, then the maps one after the other from where they are.
    const char noExtension[4] = {0, 0, 0, 0};
    std::vector<std::string_view> pieces = {{reinterpret_cast<const char*>(&header), sizeof header},
                                            {noExtension, sizeof noExtension}};
    for (const auto volume : image.volumes) {
        pieces.emplace_back(reinterpret_cast<const char*>(volume.data()),
                            volumeSize * sizeof(float));
    }
    if (path.ends_with(".gz")) {
        std::string compressed;
        try {
            compressed = gzipped(pieces);
        } catch (const std::exception& error) {
            throw OutputFileError(path, error.what());
        }
        writeOutputFile(path, compressed);
    } else {
        writeOutputFile(path, pieces);
    }
}

bool writerCompresses() {
    return true;
}

} // namespace halvorn_host
