// Column transforms of a design matrix (each rewrites every predictor column in place and
// extends every name), and the two edits that build new matrices.
#pragma once

#include "DesignMatrix.h"

#include <string>
#include <utility>
#include <vector>

namespace qm {

void detrendPredictors(DesignMatrix& matrix);           // " detrended"
void differentiatePredictors(DesignMatrix& matrix);     // " derivative"
void delayPredictors(DesignMatrix& matrix, unsigned k); // " t-" and k
void squarePredictors(DesignMatrix& matrix);            // " squared"
void standardizePredictors(DesignMatrix& matrix);       // names unchanged

// (mean, sample standard deviation) of one column.
std::pair<float, float> columnMeanAndSd(const std::vector<float>& column);
// Whether standardizePredictors divides `column` by its standard deviation; false when the
// deviation is below 0.0001 and the column is only centred.
bool standardizationScales(const std::vector<float>& column);

// Appends one predictor when `values` has nrOfDataPoints entries; otherwise changes nothing.
void addPredictor(DesignMatrix& matrix, std::vector<float> values, std::string name, int red,
                  int green, int blue);
// No predictors, FirstConfoundPredictor 1, IncludesConstant false.
void clearPredictors(DesignMatrix& matrix);

} // namespace qm
