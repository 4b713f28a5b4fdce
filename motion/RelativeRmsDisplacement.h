// Volume-to-volume head motion as one number per volume: the RMS displacement, between the
// transforms of consecutive volumes, of the points of a solid ball about the origin of the motion
// frame, by default of radius 65 mm.
#pragma once

#include "DesignMatrix.h"
#include "RigidTransform.h"

#include <vector>

namespace qm {

inline constexpr float kSphereRadius = 65.0F; // millimetres

// One entry per data point, millimetres; entry 0 is 0. `radius` is the ball's, in millimetres.
std::vector<float> computeRelativeRmsDisplacement(const DesignMatrix& motion,
                                                  float radius = kSphereRadius);

float rmsDeviation(const Matrix4x4& t1, const Matrix4x4& t2, float radius);

} // namespace qm
