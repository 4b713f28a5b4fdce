// writeNiftiMaps without the NIfTI library: the file's bytes come from nifti1SingleFile and are
// saved through a temporary file beside the target, renamed over it only when complete, so a
// failed save never destroys maps saved earlier under the same name.
#include "Nifti1File.h"
#include "NiftiWriter.h"

#include "AtomicFileWriter.h"

#include <stdexcept>

namespace halvorn_host {

void writeNiftiMaps(const std::string& path, const NiftiMapImage& image) {
    std::string bytes;
    try {
        bytes = nifti1SingleFile(image);
    } catch (const std::invalid_argument& error) {
        throw std::runtime_error("cannot save maps to " + path + ": " + error.what());
    }
    try {
        qm::writeFileAtomically(path, bytes);
    } catch (const std::runtime_error&) {
        throw std::runtime_error("cannot save maps to " + path + ": the file could not be written");
    }
}

} // namespace halvorn_host
