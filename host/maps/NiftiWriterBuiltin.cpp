// writeNiftiMaps without the NIfTI library: the file's bytes come from nifti1SingleFile and are
// saved through the atomic writer. Without the library there is no compression.
#include "Nifti1File.h"
#include "NiftiWriter.h"

#include "OutputFiles.h"

#include <stdexcept>

namespace halvorn_host {

void writeNiftiMaps(const std::string& path, const NiftiMapImage& image) {
    if (path.ends_with(".gz")) {
        throw std::invalid_argument("this build of Halvorn.exe cannot compress " + path);
    }
    writeOutputFile(path, nifti1SingleFile(image));
}

bool writerCompresses() {
    return false;
}

} // namespace halvorn_host
