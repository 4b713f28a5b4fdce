#include "NiftiWriter.h"

#include <nifti2_io.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <system_error>

#include <unistd.h>

namespace halvorn_host {
namespace {

// Size of a NIfTI-1 header, the 4-byte extension flag after it, and so the data offset of a
// single-file image without extensions.
constexpr std::uintmax_t kNifti1DataOffset = 352;

struct NiftiImageDeleter {
    void operator()(nifti_image* image) const {
        image->data = nullptr; // the data belong to the caller's buffer
        nifti_image_free(image);
    }
};
using NiftiImagePointer = std::unique_ptr<nifti_image, NiftiImageDeleter>;

char* duplicate(const std::string& text) {
    // The library frees its file names with free().
    char* copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (copy == nullptr) {
        throw std::bad_alloc();
    }
    std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

// A name in the target's folder that no other writer uses at the same time.
std::string temporaryPathBeside(const std::string& path) {
    static int counter = 0;
    return path + ".halvorn-" + std::to_string(::getpid()) + "-" + std::to_string(++counter) +
           ".tmp";
}

} // namespace

void writeNiftiMaps(const std::string& path, const NiftiMapImage& image) {
    const auto [nx, ny, nz] = image.dimensions;
    if (nx <= 0 || ny <= 0 || nz <= 0 || image.volumes.empty()) {
        throw std::runtime_error("cannot save maps to " + path + ": no map data to write");
    }
    const std::size_t volumeSize =
        static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny) * static_cast<std::size_t>(nz);
    for (const auto* volume : image.volumes) {
        if (volume->size() != volumeSize) {
            throw std::runtime_error("cannot save maps to " + path + ": the maps differ in size");
        }
    }
    // The library writes one block of data: several maps are laid end to end in a buffer of their
    // own, a single map is written from where it is.
    std::vector<float> joined;
    if (image.volumes.size() > 1) {
        joined.reserve(volumeSize * image.volumes.size());
        for (const auto* volume : image.volumes) {
            joined.insert(joined.end(), volume->begin(), volume->end());
        }
    }
    const float* data = joined.empty() ? image.volumes.front()->data() : joined.data();
    const std::size_t dataSize = volumeSize * image.volumes.size();

    const auto volumes = static_cast<std::int64_t>(image.volumes.size());
    const std::int64_t dims[8] = {volumes > 1 ? 4 : 3, nx, ny, nz, volumes, 1, 1, 1};
    NiftiImagePointer nim(nifti_make_new_nim(dims, NIFTI_TYPE_FLOAT32, 0));
    if (!nim) {
        throw std::runtime_error("cannot save maps to " + path + ": the NIfTI library failed");
    }
    nim->nifti_type = NIFTI_FTYPE_NIFTI1_1;
    nim->dx = nim->pixdim[1] = image.voxelSize[0];
    nim->dy = nim->pixdim[2] = image.voxelSize[1];
    nim->dz = nim->pixdim[3] = image.voxelSize[2];
    nim->xyz_units = NIFTI_UNITS_MM;
    // The plug-in places voxel centres symmetrically about the volume's centre; so does this
    // image's scanner coordinate system.
    nim->qform_code = NIFTI_XFORM_SCANNER_ANAT;
    nim->quatern_b = nim->quatern_c = nim->quatern_d = 0.0;
    nim->qfac = 1.0;
    nim->qoffset_x = -0.5 * (nx - 1) * nim->dx;
    nim->qoffset_y = -0.5 * (ny - 1) * nim->dy;
    nim->qoffset_z = -0.5 * (nz - 1) * nim->dz;
    nim->qto_xyz = nifti_quatern_to_dmat44(0.0, 0.0, 0.0, nim->qoffset_x, nim->qoffset_y,
                                           nim->qoffset_z, nim->dx, nim->dy, nim->dz, 1.0);
    nim->qto_ijk = nifti_dmat44_inverse(nim->qto_xyz);
    nim->cal_min = image.displayMin;
    nim->cal_max = image.displayMax;
    std::strncpy(nim->descrip, image.description.c_str(), sizeof nim->descrip - 1);
    nim->descrip[sizeof nim->descrip - 1] = '\0';
    free(nim->fname);
    free(nim->iname);
    // Written beside the target under a temporary name and renamed over it only when complete,
    // so a failed save never destroys maps saved earlier under the same name.
    const std::string temporary = temporaryPathBeside(path);
    nim->fname = duplicate(temporary);
    nim->iname = duplicate(temporary);
    nim->iname_offset = static_cast<std::int64_t>(kNifti1DataOffset);
    // Only read by the library.
    nim->data = const_cast<float*>(data);
    nifti_image_write(nim.get());

    // The library reports failures only on stderr; a complete file is the proof of success.
    std::error_code error;
    const std::uintmax_t written = std::filesystem::file_size(temporary, error);
    if (error || written < kNifti1DataOffset + dataSize * sizeof(float)) {
        std::filesystem::remove(temporary, error);
        throw std::runtime_error("cannot save maps to " + path + ": the file could not be written");
    }
    std::filesystem::rename(temporary, path, error);
    if (error) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        throw std::runtime_error("cannot save maps to " + path + ": " + error.message());
    }
}

} // namespace halvorn_host
