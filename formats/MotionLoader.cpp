#include "MotionLoader.h"

namespace qm {

bool endsWithExtension(const std::string& path, const std::string& extension) {
    const std::string ending = "." + extension;
    return path.size() >= ending.size() &&
           path.compare(path.size() - ending.size(), ending.size(), ending) == 0;
}

std::vector<DesignMatrix> loadMotionDesignMatrices(std::string path,
                                                   const FileChooser& chooseFile) {
    std::vector<DesignMatrix> matrices;
    if (endsWithExtension(path, "sdm")) {
        matrices.emplace_back(path);
    } else if (endsWithExtension(path, "mdm")) {
        MultiStudyDesignMatrix mdm(path);
        mdm.repairPaths(chooseFile);
        matrices.reserve(mdm.designMatrixFiles.size());
        for (const auto& sdmPath : mdm.designMatrixFiles) {
            matrices.emplace_back(sdmPath);
        }
    }
    return matrices;
}

} // namespace qm
