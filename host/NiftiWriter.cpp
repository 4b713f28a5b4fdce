// The header comes from the field's NIfTI library; the file is written through the project's
// atomic writer: a temporary file beside the target, renamed over it only when complete, so a
// failed save never destroys maps saved earlier under the same name.
#include "NiftiWriter.h"

#include "AtomicFileWriter.h"

#include <nifti2_io.h>

#include <cstring>
#include <memory>
#include <stdexcept>
#include <string_view>
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
    nim->iname_offset = kNifti1DataOffset;

    nifti_1_header header{};
    if (nifti_convert_nim2n1hdr(nim.get(), &header) != 0) {
        throw std::runtime_error("cannot save maps to " + path + ": the NIfTI library failed");
    }
    static_assert(sizeof header + 4 == kNifti1DataOffset);
    // The header, the zero extension flag, then the maps one after the other from where they are.
    const char noExtension[4] = {0, 0, 0, 0};
    std::vector<std::string_view> pieces = {{reinterpret_cast<const char*>(&header), sizeof header},
                                            {noExtension, sizeof noExtension}};
    for (const auto* volume : image.volumes) {
        pieces.emplace_back(reinterpret_cast<const char*>(volume->data()),
                            volumeSize * sizeof(float));
    }
    try {
        qm::writeFileAtomically(path, pieces);
    } catch (const std::runtime_error&) {
        throw std::runtime_error("cannot save maps to " + path + ": the file could not be written");
    }
}

} // namespace halvorn_host
