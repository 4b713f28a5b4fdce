// The voxel displacement statistics, voxel by voxel: each group of masked voxels keeps its
// running statistics in registers while it walks through all volumes, so the only memory it
// touches per volume is that volume's transform.
//
// Written once for any lane type; each instruction set's translation unit instantiates it with
// its own lanes, declared there in an unnamed namespace so that every instantiation stays
// private to the unit compiled for it (see DisplacementKernels.h). A lane type provides
//   Vector, kWidth, load, store, broadcast, zero, add, subtract, multiply, divide, squareRoot,
//   keepMaximum(stored, candidate) = stored > candidate ? stored : candidate, and absolute
// with IEEE single-precision results per lane and no fused multiply-add, so that every lane
// computes exactly what the plain per-volume transform of the whole grid computes.
//
// Two loops share the work. Voxels of one row share y and z, so for a group of them the
// products y·M10 and z·M20 (and those of y' and z') are the same in every lane: they are
// computed once per row and volume, and the group's transform takes three multiplications
// instead of nine. With y and z the same in every lane, the loop also keeps fewer values alive;
// scheduled with an eye on register pressure (motion/CMakeLists.txt), all seven running
// statistics stay in registers. Voxels of rows too short to fill a group go through the general
// loop, which takes its y and z per lane.
#pragma once

#include "DisplacementKernels.h"

#include <cstddef>

namespace qm::kernels {

// The seven running statistics of one group of lanes.
template <typename Lanes> struct RunningStatistics {
    using V = typename Lanes::Vector;

    // Before volume 0 the previous position is the reference position.
    RunningStatistics(V x, V y, V z) : previousX(x), previousY(y), previousZ(z) {}

    // One volume: the group's reference positions (x, y, z) moved to (currentX, currentY,
    // currentZ).
    void add(V x, V y, V z, V currentX, V currentY, V currentZ) {
        const V ax = Lanes::subtract(currentX, x);
        const V ay = Lanes::subtract(currentY, y);
        const V az = Lanes::subtract(currentZ, z);
        const V rx = Lanes::subtract(currentX, previousX);
        const V ry = Lanes::subtract(currentY, previousY);
        const V rz = Lanes::subtract(currentZ, previousZ);

        // sqrt((ax² + ay²) + az²) and sqrt((ry² + rx²) + rz²): y before x for the relative
        // displacement, as the definition adds them.
        const V absolute = Lanes::squareRoot(Lanes::add(
            Lanes::add(Lanes::multiply(ax, ax), Lanes::multiply(ay, ay)), Lanes::multiply(az, az)));
        const V relative = Lanes::squareRoot(Lanes::add(
            Lanes::add(Lanes::multiply(ry, ry), Lanes::multiply(rx, rx)), Lanes::multiply(rz, rz)));

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

    // The finished statistics of lanes 0 .. lanes-1 into entry target(lane) of each array. The
    // means divide the sums by the number of volumes, as the plain computation does for every
    // element of its finished volumes.
    template <typename TargetOf>
    void store(std::size_t volumes, const DisplacementTargets& targets, std::size_t lanes,
               TargetOf target) const {
        const V volumeCount = Lanes::broadcast(static_cast<float>(volumes));
        alignas(64) float results[7][Lanes::kWidth];
        Lanes::store(results[0], Lanes::divide(sumAbsolute, volumeCount));
        Lanes::store(results[1], maxAbsolute);
        Lanes::store(results[2], Lanes::divide(sumRelative, volumeCount));
        Lanes::store(results[3], maxRelative);
        Lanes::store(results[4], maxX);
        Lanes::store(results[5], maxY);
        Lanes::store(results[6], maxZ);
        // Padding lanes were computed along with the others; only real voxels are stored.
        for (std::size_t lane = 0; lane < lanes; ++lane) {
            const std::size_t i = target(lane);
            targets.meanAbsolute[i] = results[0][lane];
            targets.maxAbsolute[i] = results[1][lane];
            targets.meanRelative[i] = results[2][lane];
            targets.maxRelative[i] = results[3][lane];
            targets.maxAbsoluteX[i] = results[4][lane];
            targets.maxAbsoluteY[i] = results[5][lane];
            targets.maxAbsoluteZ[i] = results[6][lane];
        }
    }

    V previousX;
    V previousY;
    V previousZ;
    V sumAbsolute = Lanes::zero();
    V sumRelative = Lanes::zero();
    V maxAbsolute = Lanes::zero();
    V maxRelative = Lanes::zero();
    V maxX = Lanes::zero();
    V maxY = Lanes::zero();
    V maxZ = Lanes::zero();
};

// A group of lanes from a row costs a whole vector however few of them are voxels. Below 7/8
// full it would cost more than its voxels' share of the general loop, whose transform takes
// six more multiplications, so such voxels go there instead.
template <typename Lanes>
inline constexpr std::size_t kFewestRowLanes = (7 * Lanes::kWidth + 7) / 8;

// For one row: per volume the coefficients with y·M10, z·M20, y·M11, z·M21, y·M12, z·M22 in
// place of M10, M20, M11, M21, M12, M22. A template like everything here, so that each
// instruction set's unit keeps its own copy.
template <typename Lanes>
void fillRowTerms(const DisplacementBatch& batch, const DisplacementRow& row, float* terms) {
    const float* c = batch.coefficients;
    for (std::size_t j = 0; j < batch.volumes; ++j) {
        for (std::size_t axis = 0; axis < 3; ++axis, c += 4, terms += 4) {
            terms[0] = c[0];
            terms[1] = row.y * c[1];
            terms[2] = row.z * c[2];
            terms[3] = c[3];
        }
    }
}

// The voxels first .. first + lanes - 1 of the batch, all of `row`.
template <typename Lanes>
void accumulateRowGroup(const DisplacementBatch& batch, const DisplacementTargets& targets,
                        const DisplacementRow& row, const float* rowTerms, std::size_t first,
                        std::size_t lanes) {
    using V = typename Lanes::Vector;
    const V x = Lanes::load(batch.x + first);
    const V y = Lanes::broadcast(row.y);
    const V z = Lanes::broadcast(row.z);
    RunningStatistics<Lanes> statistics(x, y, z);
    const float* t = rowTerms;
    for (std::size_t j = 0; j < batch.volumes; ++j, t += kCoefficientsPerVolume) {
        // x' = ((x·M00 + y·M10) + z·M20) + M03 with y·M10 and z·M20 taken from the row's terms:
        // the same products, so the same sums.
        const V currentX =
            Lanes::add(Lanes::add(Lanes::add(Lanes::multiply(x, Lanes::broadcast(t[0])),
                                             Lanes::broadcast(t[1])),
                                  Lanes::broadcast(t[2])),
                       Lanes::broadcast(t[3]));
        const V currentY =
            Lanes::add(Lanes::add(Lanes::add(Lanes::multiply(x, Lanes::broadcast(t[4])),
                                             Lanes::broadcast(t[5])),
                                  Lanes::broadcast(t[6])),
                       Lanes::broadcast(t[7]));
        const V currentZ =
            Lanes::add(Lanes::add(Lanes::add(Lanes::multiply(x, Lanes::broadcast(t[8])),
                                             Lanes::broadcast(t[9])),
                                  Lanes::broadcast(t[10])),
                       Lanes::broadcast(t[11]));
        statistics.add(x, y, z, currentX, currentY, currentZ);
    }
    statistics.store(batch.volumes, targets, lanes,
                     [first](std::size_t lane) { return first + lane; });
}

// `count` voxels of any rows, with their positions and batch indices in the scratch arrays.
template <typename Lanes>
void accumulateScattered(const DisplacementBatch& batch, const DisplacementTargets& targets,
                         const DisplacementScratch& scratch, std::size_t count) {
    using V = typename Lanes::Vector;
    constexpr std::size_t kWidth = Lanes::kWidth;
    for (std::size_t first = 0; first < count; first += kWidth) {
        const V x = Lanes::load(scratch.x + first);
        const V y = Lanes::load(scratch.y + first);
        const V z = Lanes::load(scratch.z + first);
        RunningStatistics<Lanes> statistics(x, y, z);
        const float* c = batch.coefficients;
        for (std::size_t j = 0; j < batch.volumes; ++j, c += kCoefficientsPerVolume) {
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
            statistics.add(x, y, z, currentX, currentY, currentZ);
        }
        const std::size_t lanes = count - first < kWidth ? count - first : kWidth;
        statistics.store(batch.volumes, targets, lanes, [&scratch, first](std::size_t lane) {
            return scratch.voxel[first + lane];
        });
    }
}

template <typename Lanes>
void accumulateDisplacement(const DisplacementBatch& batch, const DisplacementTargets& targets,
                            const DisplacementScratch& scratch) {
    constexpr std::size_t kWidth = Lanes::kWidth;
    constexpr std::size_t kFewest = kFewestRowLanes<Lanes>;
    std::size_t scattered = 0;
    for (std::size_t r = 0; r < batch.rowCount; ++r) {
        const DisplacementRow& row = batch.rows[r];
        const std::size_t fullGroups = row.count / kWidth;
        const std::size_t rest = row.count % kWidth;
        const std::size_t rowLanes = fullGroups * kWidth + (rest >= kFewest ? rest : 0);
        if (rowLanes > 0) {
            fillRowTerms<Lanes>(batch, row, scratch.rowTerms);
        }
        for (std::size_t done = 0; done < rowLanes; done += kWidth) {
            const std::size_t lanes = rowLanes - done < kWidth ? rowLanes - done : kWidth;
            accumulateRowGroup<Lanes>(batch, targets, row, scratch.rowTerms, row.first + done,
                                      lanes);
        }
        for (std::size_t i = row.first + rowLanes; i < row.first + row.count; ++i) {
            scratch.x[scattered] = batch.x[i];
            scratch.y[scattered] = row.y;
            scratch.z[scattered] = row.z;
            scratch.voxel[scattered] = i;
            ++scattered;
        }
    }
    accumulateScattered<Lanes>(batch, targets, scratch, scattered);
}

} // namespace qm::kernels
