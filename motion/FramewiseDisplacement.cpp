#include "FramewiseDisplacement.h"

#include "MotionRows.h"
#include "Pi.h"

#include <cmath>
#include <cstddef>

namespace qm {

std::vector<float> computeFramewiseDisplacement(const DesignMatrix& motion) {
    const std::size_t volumes = requireMotionColumns(motion);
    std::vector<float> displacement(volumes, 0.0F);
    const std::vector<float>& x = motion.columns[0];
    const std::vector<float>& y = motion.columns[1];
    const std::vector<float>& z = motion.columns[2];
    const std::vector<float>& alpha = motion.columns[3];
    const std::vector<float>& beta = motion.columns[4];
    const std::vector<float>& gamma = motion.columns[5];
    // Rotations are converted to radians first and then differenced, as a reader of the radian
    // values in the confound table would do. Single precision, summed in this fixed order:
    // ((((( |dx| + |dy| ) + |dz| ) + |da|·50 ) + |db|·50 ) + |dc|·50 ), where d is the value of
    // volume i minus that of volume i-1 and a, b, c are the rotations about x, y, z in radians.
    const auto arc = [](const std::vector<float>& degrees, std::size_t i) {
        return std::abs(degreesToRadians(degrees[i]) - degreesToRadians(degrees[i - 1])) *
               kFramewiseRotationRadius;
    };
    for (std::size_t i = 1; i < volumes; ++i) {
        float sum = std::abs(x[i] - x[i - 1]);
        sum += std::abs(y[i] - y[i - 1]);
        sum += std::abs(z[i] - z[i - 1]);
        sum += arc(alpha, i);
        sum += arc(beta, i);
        sum += arc(gamma, i);
        displacement[i] = sum;
    }
    return displacement;
}

} // namespace qm
