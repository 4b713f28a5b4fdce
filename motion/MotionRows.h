// Reading the per-volume motion parameters out of a motion design matrix.
#pragma once

#include "DesignMatrix.h"
#include "RigidTransform.h"

#include <cstddef>
#include <string>

namespace qm {

// The number of volumes of a motion design matrix (its NrOfDataPoints), after checking that the
// matrix holds the six motion parameter columns (three translations, three rotations) with a
// value for every volume. Throws std::runtime_error naming the matrix's file otherwise, so that
// no caller ever reads past the end of a column.
std::size_t requireMotionColumns(const DesignMatrix& motion);

// The matrix's file for messages, or a note that it was not read from one.
std::string motionMatrixName(const DesignMatrix& motion);

// Columns 0..5 at `volume`, in column order. Only valid after requireMotionColumns.
TransformParameters motionRow(const DesignMatrix& motion, std::size_t volume);

} // namespace qm
