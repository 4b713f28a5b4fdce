#include "DesignMatrix.h"

#include <stdexcept>

namespace qm {

DesignMatrix::DesignMatrix() {
    constexpr std::int32_t kDefaultWidth = 24;
    fileVersion.set("FileVersion", 1, kDefaultWidth);
    nrOfPredictors.set("NrOfPredictors", 0, kDefaultWidth);
    nrOfDataPoints.set("NrOfDataPoints", 0, kDefaultWidth);
    includesConstant.set("IncludesConstant", false, kDefaultWidth);
    firstConfoundPredictor.set("FirstConfoundPredictor", 0, kDefaultWidth);
}

// Reading and writing are filled in with the SDM reader and writer.
DesignMatrix::DesignMatrix(std::string filePath) : path(std::move(filePath)) {
    throw std::logic_error("SDM reading is not built yet");
}

void DesignMatrix::save() const { throw std::logic_error("SDM writing is not built yet"); }

void DesignMatrix::saveAs(std::string newPath) {
    path = std::move(newPath);
    save();
}

} // namespace qm
