// A single-study design matrix (SDM): the host's text file of predictors over volumes.
#pragma once

#include "HeaderField.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qm {

// Which numbers a design matrix file may hold.
enum class SdmValues {
    AnyFloat,   // every 32-bit float, "nan" and "inf" included
    FiniteOnly, // motion parameters: a value that is not finite is a FileFormatError
};

struct DesignMatrix {
    std::string path; // read from, or to be written to
    IntField fileVersion;
    IntField nrOfPredictors;
    IntField nrOfDataPoints;
    BoolField includesConstant;
    IntField firstConfoundPredictor;
    std::vector<std::int32_t> red;
    std::vector<std::int32_t> green;
    std::vector<std::int32_t> blue;
    std::vector<std::string> predictorNames;
    // Predictor-major: columns[p][t] is predictor p at data point t.
    std::vector<std::vector<float>> columns;

    // An empty matrix with the five header fields present at width 24: FileVersion 1, no
    // predictors, no data points, no constant, FirstConfoundPredictor 0.
    DesignMatrix();

    // Reads the SDM at `filePath`. Throws OpenFileError when it cannot be opened and
    // FileFormatError (naming the file and line) when its content is not a design matrix, or
    // holds a value that `values` does not allow (naming the predictor too).
    explicit DesignMatrix(std::string filePath, SdmValues values = SdmValues::AnyFloat);

    // The text `save` writes: the SDM layout with CR LF line ends, values with 6 decimals.
    std::string fileContent() const;

    // Writes the record to `path`, replacing the file only once it is completely written.
    // Throws std::runtime_error "Cannot Create file: " + path on failure.
    void save() const;
    // Sets `path` to `newPath`, then saves.
    void saveAs(std::string newPath);
};

} // namespace qm
