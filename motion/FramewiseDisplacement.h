// Volume-to-volume head motion in the common "sum of absolute differences" form: the changes of
// the three translations plus the changes of the three rotations as arc lengths on a sphere of
// 50 mm, the radius this convention fixes for every head.
#pragma once

#include "DesignMatrix.h"

#include <vector>

namespace qm {

inline constexpr float kFramewiseRotationRadius = 50.0F; // millimetres

// One entry per data point, millimetres; entry 0 is 0 (there is no earlier volume). Reads the six
// motion columns (translations in mm, rotations in degrees) of `motion`; throws like
// requireMotionColumns for a matrix without them.
std::vector<float> computeFramewiseDisplacement(const DesignMatrix& motion);

} // namespace qm
