// The voxel displacement kernel as it was before voxels of a row shared their products: every
// group of lanes takes y and z per lane and multiplies all nine coefficients. Kept here, with the
// compiler options it had, so that one benchmark run measures the kernel against its
// predecessor on the machine at hand. Results are bit-identical to the kernels of motion/.
#pragma once

#include "DisplacementKernels.h"

#include <cstddef>

namespace qm::bench {

// Masked voxels with their reference positions, each array padded by
// kernels::kPositionPadding; results go to entry i of each target for voxel i.
struct PreviousBatch {
    const float* coefficients = nullptr;
    std::size_t volumes = 0;
    const float* x = nullptr;
    const float* y = nullptr;
    const float* z = nullptr;
    std::size_t count = 0;
};

using PreviousKernel = void (*)(const PreviousBatch&, const kernels::DisplacementTargets&);

// Only to be called where the processor and the system support AVX, AVX-512F.
void accumulatePreviouslyAvx(const PreviousBatch& batch,
                             const kernels::DisplacementTargets& targets);
void accumulatePreviouslyAvx512(const PreviousBatch& batch,
                                const kernels::DisplacementTargets& targets);

template <typename Lanes>
void accumulatePreviously(const PreviousBatch& batch, const kernels::DisplacementTargets& targets) {
    using V = typename Lanes::Vector;
    constexpr std::size_t kWidth = Lanes::kWidth;

    for (std::size_t first = 0; first < batch.count; first += kWidth) {
        const V x = Lanes::load(batch.x + first);
        const V y = Lanes::load(batch.y + first);
        const V z = Lanes::load(batch.z + first);
        // Before volume 0 the previous position is the reference position.
        V previousX = x;
        V previousY = y;
        V previousZ = z;
        V sumAbsolute = Lanes::zero();
        V sumRelative = Lanes::zero();
        V maxAbsolute = Lanes::zero();
        V maxRelative = Lanes::zero();
        V maxX = Lanes::zero();
        V maxY = Lanes::zero();
        V maxZ = Lanes::zero();

        const float* c = batch.coefficients;
        for (std::size_t j = 0; j < batch.volumes; ++j, c += kernels::kCoefficientsPerVolume) {
            // x' = ((x·M00 + y·M10) + z·M20) + M03, and likewise for y' and z'.
            const V currentX =
                Lanes::add(Lanes::add(Lanes::add(Lanes::multiply(x, Lanes::broadcast(c[0])),
                                                 Lanes::multiply(y, Lanes::broadcast(c[1]))),
                                      Lanes::multiply(z, Lanes::broadcast(c[2]))),
                           Lanes::broadcast(c[3]));
            const V currentY =
                Lanes::add(Lanes::add(Lanes::add(Lanes::multiply(x, Lanes::broadcast(c[4])),
                                                 Lanes::multiply(y, Lanes::broadcast(c[5]))),
                                      Lanes::multiply(z, Lanes::broadcast(c[6]))),
                           Lanes::broadcast(c[7]));
            const V currentZ =
                Lanes::add(Lanes::add(Lanes::add(Lanes::multiply(x, Lanes::broadcast(c[8])),
                                                 Lanes::multiply(y, Lanes::broadcast(c[9]))),
                                      Lanes::multiply(z, Lanes::broadcast(c[10]))),
                           Lanes::broadcast(c[11]));

            const V ax = Lanes::subtract(currentX, x);
            const V ay = Lanes::subtract(currentY, y);
            const V az = Lanes::subtract(currentZ, z);
            const V rx = Lanes::subtract(currentX, previousX);
            const V ry = Lanes::subtract(currentY, previousY);
            const V rz = Lanes::subtract(currentZ, previousZ);

            // sqrt((ax² + ay²) + az²) and sqrt((ry² + rx²) + rz²): y before x for the relative
            // displacement, as the definition adds them.
            const V absolute = Lanes::squareRoot(
                Lanes::add(Lanes::add(Lanes::multiply(ax, ax), Lanes::multiply(ay, ay)),
                           Lanes::multiply(az, az)));
            const V relative = Lanes::squareRoot(
                Lanes::add(Lanes::add(Lanes::multiply(ry, ry), Lanes::multiply(rx, rx)),
                           Lanes::multiply(rz, rz)));

            sumAbsolute = Lanes::add(sumAbsolute, absolute);
            sumRelative = Lanes::add(sumRelative, relative);
            maxAbsolute = Lanes::keepMaximum(maxAbsolute, absolute);
            maxRelative = Lanes::keepMaximum(maxRelative, relative);
            maxX = Lanes::keepMaximum(maxX, Lanes::absolute(ax));
            maxY = Lanes::keepMaximum(maxY, Lanes::absolute(ay));
            maxZ = Lanes::keepMaximum(maxZ, Lanes::absolute(az));

            previousX = currentX;
            previousY = currentY;
            previousZ = currentZ;
        }

        // The means divide the sums by the number of volumes, as the plain computation does
        // once for every element of the finished volumes: a voxel outside the mask holds +0
        // there, and +0 divided by a positive count stays +0, so only masked voxels need it.
        const V volumeCount = Lanes::broadcast(static_cast<float>(batch.volumes));
        // Padding lanes were computed along with the others; only real voxels are stored.
        alignas(64) float results[7][kWidth];
        Lanes::store(results[0], Lanes::divide(sumAbsolute, volumeCount));
        Lanes::store(results[1], maxAbsolute);
        Lanes::store(results[2], Lanes::divide(sumRelative, volumeCount));
        Lanes::store(results[3], maxRelative);
        Lanes::store(results[4], maxX);
        Lanes::store(results[5], maxY);
        Lanes::store(results[6], maxZ);
        const std::size_t lanes = batch.count - first < kWidth ? batch.count - first : kWidth;
        for (std::size_t lane = 0; lane < lanes; ++lane) {
            const std::size_t voxel = first + lane;
            targets.meanAbsolute[voxel] = results[0][lane];
            targets.maxAbsolute[voxel] = results[1][lane];
            targets.meanRelative[voxel] = results[2][lane];
            targets.maxRelative[voxel] = results[3][lane];
            targets.maxAbsoluteX[voxel] = results[4][lane];
            targets.maxAbsoluteY[voxel] = results[5][lane];
            targets.maxAbsoluteZ[voxel] = results[6][lane];
        }
    }
}

} // namespace qm::bench
