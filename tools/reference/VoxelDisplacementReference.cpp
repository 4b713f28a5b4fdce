#include "VoxelDisplacementReference.h"

#include "MotionRows.h"

#include <cmath>
#include <cstddef>

namespace qm::test {

namespace {

// Keeps the stored value when it is greater, stores the new one otherwise.
void keepMaximum(float& stored, float candidate) {
    stored = stored > candidate ? stored : candidate;
}

} // namespace

DisplacementMaps computeVoxelDisplacementReference(const VolumeDimensions& dim,
                                                   const VoxelSize& voxelSize,
                                                   const std::vector<std::int32_t>& maskIndices,
                                                   const DesignMatrix& motion) {
    const float extentX = static_cast<float>(dim.x) * voxelSize.x;
    const float extentY = static_cast<float>(dim.y) * voxelSize.y;
    const float extentZ = static_cast<float>(dim.z) * voxelSize.z;
    const std::vector<Point3> reference = buildVoxelCentreGrid(dim, extentX, extentY, extentZ);
    std::vector<Point3> previous = reference;

    DisplacementMaps maps{Volume(dim), Volume(dim), Volume(dim), Volume(dim),
                          Volume(dim), Volume(dim), Volume(dim)};

    const auto volumes = static_cast<std::size_t>(motion.nrOfDataPoints.value);
    for (std::size_t j = 0; j < volumes; ++j) {
        // Always from the reference grid, so errors do not accumulate over volumes.
        std::vector<Point3> current =
            transformPoints(reference, transformFromMotionRow(motionRow(motion, j)));

        for (const std::int32_t index : maskIndices) {
            const auto v = static_cast<std::size_t>(index);
            const float ax = current[v].x - reference[v].x;
            const float ay = current[v].y - reference[v].y;
            const float az = current[v].z - reference[v].z;
            const float rx = current[v].x - previous[v].x;
            const float ry = current[v].y - previous[v].y;
            const float rz = current[v].z - previous[v].z;
            const float absolute = std::sqrt((ax * ax + ay * ay) + az * az);
            const float relative = std::sqrt((ry * ry + rx * rx) + rz * rz);

            maps.meanAbsolute.data[v] += absolute;
            maps.meanRelative.data[v] += relative;
            keepMaximum(maps.maxAbsolute.data[v], absolute);
            keepMaximum(maps.maxRelative.data[v], relative);
            keepMaximum(maps.maxAbsoluteX.data[v], std::fabs(ax));
            keepMaximum(maps.maxAbsoluteY.data[v], std::fabs(ay));
            keepMaximum(maps.maxAbsoluteZ.data[v], std::fabs(az));
        }
        previous = std::move(current);
    }

    maps.meanAbsolute.divideBy(static_cast<float>(volumes));
    maps.meanRelative.divideBy(static_cast<float>(volumes));
    return maps;
}

} // namespace qm::test
