// The "select_3dmcsdm" task routine of quelmar.
#include "quelmar.h"

#include "HostServices.h"
#include "MotionLoader.h"

#include <stdexcept>
#include <string>
#include <vector>

void quelmar::runSelectSdmTask() {
    const std::string chosen = qm::chooseFileInHost("Choose the 3DMC SDM you want to use:", "",
                                                    "3D Motion Correction (*_3DMC.sdm *_3DMC.mdm)");
    if (chosen.empty()) {
        throw std::runtime_error("You must choose a valid file!");
    }

    // Never empty: the loader refuses a choice that names no motion design matrix.
    const std::vector<qm::DesignMatrix> matrices =
        qm::loadMotionDesignMatrices(chosen, qm::chooseFileInHost);

    // Only the first matrix is compared: the runs of an MDM may differ in length.
    const FmrDocumentHeader header = qm::currentFmrHeader();
    if (matrices.front().nrOfDataPoints.value != header.nrOfVolumes) {
        qm::showMessageBox("FMR and _3DMC.sdm don't have the same number of volumes!");
    }
    qm::setHostStringParameter("sdmfile", chosen);
}
