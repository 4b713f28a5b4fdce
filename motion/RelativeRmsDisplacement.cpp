#include "RelativeRmsDisplacement.h"

#include "MotionRows.h"

#include <cmath>

namespace qm {

std::vector<float> computeRelativeRmsDisplacement(const DesignMatrix& motion, float radius) {
    const std::size_t volumes = requireMotionColumns(motion);
    std::vector<float> displacement(volumes, 0.0F);
    // Each pair is built from its two rows afresh, so every entry depends on those rows only.
    for (std::size_t i = 0; i + 1 < volumes; ++i) {
        const Matrix4x4 earlier = transformFromMotionRow(motionRow(motion, i));
        const Matrix4x4 later = transformFromMotionRow(motionRow(motion, i + 1));
        displacement[i + 1] = rmsDeviation(earlier, later, radius);
    }
    return displacement;
}

float rmsDeviation(const Matrix4x4& t1, const Matrix4x4& t2, float radius) {
    const Matrix4x4 d = subtract(multiply(invert(t1), t2), Matrix4x4::identity());

    Matrix3x3 a;
    Matrix3x3 aTransposed;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            a(r, c) = d(r, c);
            aTransposed(c, r) = d(r, c);
        }
    }
    const Matrix3x3 p = multiply3x3(aTransposed, a);
    const float rotationPart = (p(0, 0) + p(1, 1)) + p(2, 2);
    const float translationPart = (d(1, 3) * d(1, 3) + d(0, 3) * d(0, 3)) + d(2, 3) * d(2, 3);

    // Each coordinate of a solid ball of radius R contributes R²/5 to the mean square.
    return std::sqrt(rotationPart * ((radius * 0.2F) * radius) + translationPart);
}

} // namespace qm
