// Shows a design matrix as a line plot in the host: one line per predictor over the volumes.
#pragma once

#include "DesignMatrix.h"
#include "PlotWindows.h"

namespace qm {

// Draws into a new window of `windows`. Title: the file-name part of the matrix's path. A matrix
// without predictors or without data points is not plotted.
void plotDesignMatrix(PlotWindows& windows, const DesignMatrix& matrix, int lineSize,
                      int legendFirst, int legendSecond);

} // namespace qm
