#include "PredictorTransforms.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace qm {

namespace {

// Below this sample standard deviation a column is only centred rather than blown up.
constexpr float kSmallestScaledSd = 0.0001F;

// Every column is rewritten on its own, with its own length; names are extended separately so
// that neither loop depends on the other list's size.
template <typename ColumnTransform>
void transformEachColumn(DesignMatrix& matrix, ColumnTransform transform,
                         const std::string& nameSuffix) {
    for (std::vector<float>& column : matrix.columns) {
        transform(column);
    }
    for (std::string& name : matrix.predictorNames) {
        name += nameSuffix;
    }
}

void detrend(std::vector<float>& y) {
    const std::size_t n = y.size();
    if (n == 0) {
        return;
    }
    float sumT = 0.0F;
    float sumY = 0.0F;
    float sumTY = 0.0F;
    float sumTT = 0.0F;
    for (std::size_t t = 0; t < n; ++t) {
        const auto tf = static_cast<float>(t);
        // t² is exact as an integer; 64 bits keep it exact where 32 would overflow (t > 46340).
        const auto tSquared = static_cast<std::int64_t>(t) * static_cast<std::int64_t>(t);
        sumT += tf;
        sumY += y[t];
        sumTY += tf * y[t];
        sumTT += static_cast<float>(tSquared);
    }
    const auto nf = static_cast<float>(n);
    const float slope = (sumTY * nf - sumY * sumT) / (sumTT * nf - sumT * sumT);
    const float intercept = (sumY - slope * sumT) / nf;
    for (std::size_t t = 0; t < n; ++t) {
        y[t] = y[t] - (static_cast<float>(t) * slope + intercept);
    }
}

void differentiate(std::vector<float>& y) {
    const std::size_t n = y.size();
    if (n == 0) {
        return;
    }
    const std::vector<float> x = y;
    y[0] = 0.0F;
    y[n - 1] = 0.0F;
    for (std::size_t i = 1; i + 1 < n; ++i) {
        y[i] = (x[i + 1] - x[i - 1]) * 0.5F;
    }
}

void delay(std::vector<float>& y, unsigned k) {
    const std::vector<float> x = y;
    for (std::size_t i = 0; i < y.size(); ++i) {
        y[i] = i < k ? 0.0F : x[i - k];
    }
}

void square(std::vector<float>& y) {
    for (float& value : y) {
        value = value * value;
    }
}

void standardize(std::vector<float>& y) {
    if (y.empty()) {
        return;
    }
    const auto [mean, sd] = columnMeanAndSd(y);
    const float divisor = sd < kSmallestScaledSd ? 1.0F : sd;
    for (float& value : y) {
        value = (value - mean) / divisor;
    }
}

} // namespace

void detrendPredictors(DesignMatrix& matrix) {
    transformEachColumn(matrix, detrend, " detrended");
}

void differentiatePredictors(DesignMatrix& matrix) {
    transformEachColumn(matrix, differentiate, " derivative");
}

void delayPredictors(DesignMatrix& matrix, unsigned k) {
    transformEachColumn(
        matrix, [k](std::vector<float>& column) { delay(column, k); }, " t-" + std::to_string(k));
}

void squarePredictors(DesignMatrix& matrix) {
    transformEachColumn(matrix, square, " squared");
}

void standardizePredictors(DesignMatrix& matrix) {
    transformEachColumn(matrix, standardize, "");
}

std::pair<float, float> columnMeanAndSd(const std::vector<float>& column) {
    // Signed, so that an empty column gives NaN rather than a wrapped-around count.
    const auto n = static_cast<std::int64_t>(column.size());
    float sum = 0.0F;
    for (const float value : column) {
        sum += value;
    }
    const float mean = sum / static_cast<float>(n);
    float squares = 0.0F;
    for (const float value : column) {
        const float deviation = value - mean;
        squares += deviation * deviation;
    }
    const float variance = squares / static_cast<float>(n - 1);
    return {mean, std::sqrt(variance)};
}

bool standardizationScales(const std::vector<float>& column) {
    return !column.empty() && !(columnMeanAndSd(column).second < kSmallestScaledSd);
}

void addPredictor(DesignMatrix& matrix, std::vector<float> values, std::string name, int red,
                  int green, int blue) {
    if (static_cast<std::int64_t>(values.size()) != matrix.nrOfDataPoints.value) {
        return;
    }
    matrix.columns.push_back(std::move(values));
    matrix.predictorNames.push_back(std::move(name));
    matrix.red.push_back(red);
    matrix.green.push_back(green);
    matrix.blue.push_back(blue);
    matrix.nrOfPredictors.value = static_cast<std::int32_t>(matrix.columns.size());
}

void clearPredictors(DesignMatrix& matrix) {
    matrix.nrOfPredictors.value = 0;
    matrix.firstConfoundPredictor.value = 1;
    matrix.includesConstant.value = false;
    matrix.columns.clear();
    matrix.predictorNames.clear();
    matrix.red.clear();
    matrix.green.clear();
    matrix.blue.clear();
}

} // namespace qm
