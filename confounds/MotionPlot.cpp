#include "MotionPlot.h"

#include "PathHelpers.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace qm {
namespace {

constexpr int kColorTheme = 1;
constexpr int kPlotWidth = 800;
constexpr int kPlotHeight = 350;
constexpr int kPlotPositionX = 50;
constexpr int kPlotPositionY = 50;
constexpr int kSolidLine = 0;

// A matrix whose lists disagree with its header is a fault of the program, not of the data.
void checkShape(bool holds, int line, const char* condition) {
    if (!holds) {
        throw std::logic_error("assertion failure (confounds/MotionPlot.cpp:" +
                               std::to_string(line) + "): " + condition);
    }
}

// The volume numbers 1, 2, 3, ...: each the previous one plus 1 in float.
std::vector<float> volumeNumbers(std::size_t count) {
    std::vector<float> x(count);
    float value = 1.0F;
    for (float& entry : x) {
        entry = value;
        value += 1.0F;
    }
    return x;
}

// The whole number just above the largest magnitude of the column's first `count` values:
// m + 1 cut toward zero. A column without values, or whose extremes are not numbers,
// contributes nothing; a magnitude beyond the int range gives the largest int.
int columnLimit(const std::vector<float>& column, std::size_t count) {
    if (count == 0) {
        return 0;
    }
    const auto end = column.begin() + static_cast<std::ptrdiff_t>(count);
    const auto [lowest, highest] = std::minmax_element(column.begin(), end);
    const float lo = *lowest;
    const float hi = *highest;
    const float m = hi > -lo ? hi : -lo;
    const float k = m + 1.0F;
    if (!(k >= 0.0F)) {
        return 0; // not a number
    }
    if (k >= static_cast<float>(std::numeric_limits<int>::max())) {
        return std::numeric_limits<int>::max();
    }
    return static_cast<int>(k);
}

} // namespace

void plotDesignMatrix(PlotWindows& windows, const DesignMatrix& matrix, int lineSize,
                      int legendFirst, int legendSecond) {
    const int n = matrix.nrOfDataPoints.value;
    const int lines = matrix.nrOfPredictors.value;
    if (n <= 0 || lines <= 0) {
        return; // nothing to draw, and no predictor 0 to create the plot from
    }
    const auto points = static_cast<std::size_t>(n);
    const auto count = static_cast<std::size_t>(lines);
    checkShape(matrix.columns.size() >= count && matrix.predictorNames.size() >= count, __LINE__,
               "columns and predictorNames have NrOfPredictors entries");
    checkShape(matrix.red.size() >= count && matrix.green.size() >= count &&
                   matrix.blue.size() >= count,
               __LINE__, "red, green and blue have NrOfPredictors entries");
    for (std::size_t j = 0; j < count; ++j) {
        checkShape(matrix.columns[j].size() >= points, __LINE__,
                   "every column has NrOfDataPoints entries");
    }

    const std::vector<float> x = volumeNumbers(points);
    const PlotWindows::Handle plot =
        windows.plotLine(n, x.data(), matrix.columns[0].data(), matrix.predictorNames[0].c_str());
    windows.setColorTheme(plot, kColorTheme);

    int limit = 0;
    for (std::size_t j = 0; j < count; ++j) {
        if (j > 0) {
            windows.addLine(plot, n, x.data(), matrix.columns[j].data(),
                            matrix.predictorNames[j].c_str());
        }
        windows.setLineSizeAndColor(plot, static_cast<int>(j), lineSize, matrix.red[j],
                                    matrix.green[j], matrix.blue[j], kSolidLine);
        limit = std::max(limit, columnLimit(matrix.columns[j], points));
    }

    windows.showLegend(plot, legendFirst, legendSecond);
    const std::string title = fileNamePart(matrix.path);
    windows.setTitle(plot, title.c_str());
    windows.resize(plot, kPlotWidth, kPlotHeight);
    windows.setYAxisRange(plot, static_cast<float>(-limit), static_cast<float>(limit));
    windows.showAtPosition(plot, kPlotPositionX, kPlotPositionY);
}

} // namespace qm
