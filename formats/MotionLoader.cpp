#include "MotionLoader.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace qm {
namespace {

constexpr std::int32_t kMotionPredictors = 6;
// Detrending fits a line, and every displacement compares two volumes.
constexpr std::int32_t kLeastMotionVolumes = 2;

void requireMotionShape(const DesignMatrix& matrix) {
    if (matrix.nrOfPredictors.value < kMotionPredictors) {
        throw std::runtime_error(
            "The motion design matrix " + matrix.path + " has " +
            std::to_string(matrix.nrOfPredictors.value) +
            " predictors; motion parameters need 6 (three translations, three rotations).");
    }
    const std::int32_t volumes = matrix.nrOfDataPoints.value;
    if (volumes < kLeastMotionVolumes) {
        throw std::runtime_error("The motion design matrix " + matrix.path + " holds " +
                                 std::to_string(volumes) +
                                 (volumes == 1 ? " data point" : " data points") +
                                 "; the motion tasks need at least 2 volumes.");
    }
}

} // namespace

bool endsWithExtension(const std::string& path, const std::string& extension) {
    const std::string ending = "." + extension;
    return path.size() >= ending.size() &&
           std::equal(ending.begin(), ending.end(),
                      path.end() - static_cast<std::ptrdiff_t>(ending.size()), [](char a, char b) {
                          return std::tolower(static_cast<unsigned char>(a)) ==
                                 std::tolower(static_cast<unsigned char>(b));
                      });
}

std::vector<DesignMatrix> loadMotionDesignMatrices(std::string path,
                                                   const FileChooser& chooseFile) {
    if (path.empty()) {
        throw std::runtime_error("No motion design matrix has been chosen (\"sdmfile\" is empty): "
                                 "run \"select_3dmcsdm\" first to choose the run's *_3DMC.sdm or "
                                 "*_3DMC.mdm.");
    }
    std::vector<DesignMatrix> matrices;
    if (endsWithExtension(path, "sdm")) {
        matrices.emplace_back(path, SdmValues::FiniteOnly);
    } else if (endsWithExtension(path, "mdm")) {
        MultiStudyDesignMatrix mdm(path);
        if (mdm.designMatrixFiles.empty()) {
            throw std::runtime_error("The MDM " + path + " lists no design matrix.");
        }
        mdm.repairPaths(chooseFile);
        matrices.reserve(mdm.designMatrixFiles.size());
        for (const auto& sdmPath : mdm.designMatrixFiles) {
            matrices.emplace_back(sdmPath, SdmValues::FiniteOnly);
        }
    } else {
        throw std::runtime_error("The file " + path +
                                 " is neither a single-study (.sdm) nor a multi-study (.mdm) "
                                 "design matrix; choose the run's *_3DMC.sdm or *_3DMC.mdm.");
    }
    for (const DesignMatrix& matrix : matrices) {
        requireMotionShape(matrix);
    }
    return matrices;
}

} // namespace qm
