#include "VoxelDisplacement.h"
#include "MotionMatrices.h"
#include "PlainMotion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <stdexcept>
#include <string>

namespace qm {
namespace {

using test::motionMatrix;
using test::MotionValues;

std::vector<std::int32_t> allVoxels(const VolumeDimensions& dim) {
    std::vector<std::int32_t> mask(elementCount(dim));
    std::iota(mask.begin(), mask.end(), 0);
    return mask;
}

std::vector<const Volume*> allSeven(const DisplacementMaps& maps) {
    return {&maps.meanAbsolute, &maps.maxAbsolute,  &maps.meanRelative, &maps.maxRelative,
            &maps.maxAbsoluteX, &maps.maxAbsoluteY, &maps.maxAbsoluteZ};
}

bool allZero(const Volume& volume) {
    for (const float value : volume.data) {
        if (value != 0.0F) {
            return false;
        }
    }
    return true;
}

TEST(VoxelCentreGrid, TwoByTwoByTwoOfOneMillimetre) {
    const std::vector<Point3> grid = buildVoxelCentreGrid({2, 2, 2}, 2.0F, 2.0F, 2.0F);
    ASSERT_EQ(grid.size(), 8U);
    EXPECT_EQ(grid[0].x, -0.5F);
    EXPECT_EQ(grid[0].y, -0.5F);
    EXPECT_EQ(grid[0].z, -0.5F);
    EXPECT_EQ(grid[1].x, 0.5F);
    EXPECT_EQ(grid[1].y, -0.5F);
    EXPECT_EQ(grid[1].z, -0.5F);
    EXPECT_EQ(grid[7].x, 0.5F);
    EXPECT_EQ(grid[7].y, 0.5F);
    EXPECT_EQ(grid[7].z, 0.5F);
}

TEST(VoxelCentreGrid, ThreeByOneByOneOfTwoMillimetres) {
    const std::vector<Point3> grid = buildVoxelCentreGrid({3, 1, 1}, 6.0F, 2.0F, 2.0F);
    ASSERT_EQ(grid.size(), 3U);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(grid[i].x, -2.0F + 2.0F * static_cast<float>(i));
        EXPECT_EQ(grid[i].y, 0.0F);
        EXPECT_EQ(grid[i].z, 0.0F);
    }
}

TEST(VoxelDisplacement, NoMotionGivesSevenVolumesOfZeros) {
    const VolumeDimensions dim{4, 3, 2};
    const DisplacementMaps maps = computeVoxelDisplacement(
        dim, {2, 2, 3}, allVoxels(dim), motionMatrix(std::vector<MotionValues>(5)));
    for (const Volume* volume : allSeven(maps)) {
        EXPECT_EQ(volume->dim, dim);
        EXPECT_TRUE(allZero(*volume));
    }
}

TEST(VoxelDisplacement, EmptyMaskGivesSevenVolumesOfZeros) {
    const DisplacementMaps maps =
        computeVoxelDisplacement({4, 3, 2}, {2, 2, 3}, {}, test::realisticMotion(20));
    for (const Volume* volume : allSeven(maps)) {
        EXPECT_EQ(volume->data.size(), 24U);
        EXPECT_TRUE(allZero(*volume));
    }
}

TEST(VoxelDisplacement, OneMillimetreAlongXInEveryVolume) {
    const VolumeDimensions dim{3, 2, 2};
    const std::vector<std::int32_t> mask = {0, 4, 5, 11};
    for (const std::size_t volumes : {1U, 3U, 7U}) {
        SCOPED_TRACE(std::to_string(volumes) + " volumes");
        const DisplacementMaps maps = computeVoxelDisplacement(
            dim, {2, 2, 2}, mask,
            motionMatrix(std::vector<MotionValues>(volumes, {1, 0, 0, 0, 0, 0})));
        for (std::size_t v = 0; v < 12; ++v) {
            const bool masked = std::find(mask.begin(), mask.end(), v) != mask.end();
            const float one = masked ? 1.0F : 0.0F;
            EXPECT_EQ(maps.meanAbsolute.data[v], one);
            EXPECT_EQ(maps.maxAbsolute.data[v], one);
            EXPECT_EQ(maps.maxAbsoluteX.data[v], one);
            EXPECT_EQ(maps.maxAbsoluteY.data[v], 0.0F);
            EXPECT_EQ(maps.maxAbsoluteZ.data[v], 0.0F);
            EXPECT_EQ(maps.maxRelative.data[v], one); // volume 0 moves from the reference grid
            EXPECT_EQ(maps.meanRelative.data[v], one / static_cast<float>(volumes));
        }
    }
}

TEST(VoxelDisplacement, SingleVolumeGivesEqualRelativeAndAbsoluteStatistics) {
    const VolumeDimensions dim{5, 4, 3};
    const DisplacementMaps maps = computeVoxelDisplacement(
        dim, {2.5F, 2.5F, 3}, allVoxels(dim), motionMatrix({{0.7F, -1.1F, 0.4F, 2, -3, 1.5F}}));
    EXPECT_EQ(maps.meanRelative.data, maps.meanAbsolute.data);
    EXPECT_EQ(maps.maxRelative.data, maps.maxAbsolute.data);
    EXPECT_EQ(maps.maxAbsolute.data, maps.meanAbsolute.data);
    EXPECT_FALSE(allZero(maps.maxAbsolute));
}

TEST(VoxelDisplacement, RotationAboutZMovesAVoxelAlongItsCircle) {
    // 5 x 5 x 3 voxels of 2 mm: voxel (x, y, z) lies at ((x - 2)·2, (y - 2)·2, (z - 1)·2).
    const VolumeDimensions dim{5, 5, 3};
    const float theta = 30.0F;
    const DisplacementMaps maps = computeVoxelDisplacement(dim, {2, 2, 2}, allVoxels(dim),
                                                           motionMatrix({{0, 0, 0, 0, 0, theta}}));
    const auto index = [&](int x, int y, int z) {
        return static_cast<std::size_t>(x + 5 * (y + 5 * z));
    };
    const double radians = theta * 3.14159265358979 / 180.0;
    struct Case {
        int x, y, z;
        double rho;
    };
    for (const Case c : {Case{4, 2, 1, 4.0}, Case{0, 2, 0, 4.0}, Case{3, 3, 2, std::sqrt(8.0)},
                         Case{0, 0, 1, std::sqrt(32.0)}, Case{2, 2, 0, 0.0}, Case{2, 2, 2, 0.0}}) {
        SCOPED_TRACE("voxel " + std::to_string(c.x) + "," + std::to_string(c.y) + "," +
                     std::to_string(c.z));
        EXPECT_NEAR(maps.maxAbsolute.data[index(c.x, c.y, c.z)], 2 * c.rho * std::sin(radians / 2),
                    2e-6);
        EXPECT_EQ(maps.maxAbsoluteZ.data[index(c.x, c.y, c.z)], 0.0F);
    }
}

TEST(VoxelDisplacement, CentralVoxelOfAnOddGridStaysUnderAnyRotation) {
    const VolumeDimensions dim{7, 5, 3};
    const std::int32_t centre = 3 + 7 * (2 + 5 * 1);
    const DisplacementMaps maps =
        computeVoxelDisplacement(dim, {3, 3, 3.5F}, {centre},
                                 motionMatrix({{0, 0, 0, 10, -20, 35}, {0, 0, 0, -4, 7, 1.5F}}));
    EXPECT_LT(maps.maxAbsolute.data[static_cast<std::size_t>(centre)], 1e-6F);
    EXPECT_LT(maps.maxRelative.data[static_cast<std::size_t>(centre)], 1e-6F);
}

TEST(VoxelDisplacement, ReversingTheVolumesChangesOnlyTheRelativeStatistics) {
    const VolumeDimensions dim{6, 5, 4};
    const DesignMatrix forward = test::realisticMotion(40);
    DesignMatrix backward = forward;
    for (std::vector<float>& column : backward.columns) {
        std::reverse(column.begin(), column.end());
    }
    const DisplacementMaps a = computeVoxelDisplacement(dim, {3, 3, 3}, allVoxels(dim), forward);
    const DisplacementMaps b = computeVoxelDisplacement(dim, {3, 3, 3}, allVoxels(dim), backward);

    // Maxima see the same values; the means see them summed in another order.
    EXPECT_EQ(a.maxAbsolute.data, b.maxAbsolute.data);
    EXPECT_EQ(a.maxAbsoluteX.data, b.maxAbsoluteX.data);
    EXPECT_EQ(a.maxAbsoluteY.data, b.maxAbsoluteY.data);
    EXPECT_EQ(a.maxAbsoluteZ.data, b.maxAbsoluteZ.data);
    for (std::size_t v = 0; v < a.meanAbsolute.data.size(); ++v) {
        EXPECT_NEAR(a.meanAbsolute.data[v], b.meanAbsolute.data[v], 1e-5F * a.maxAbsolute.data[v]);
    }
    EXPECT_NE(a.meanRelative.data, b.meanRelative.data);
    EXPECT_NE(a.maxRelative.data, b.maxRelative.data);
}

TEST(VoxelDisplacement, RefusesInconsistentInputs) {
    const VolumeDimensions dim{3, 2, 2};
    const DesignMatrix motion = test::realisticMotion(4);
    DesignMatrix noVolumes = motionMatrix({});
    DesignMatrix fiveColumns = motion;
    fiveColumns.columns.pop_back();
    DesignMatrix shortColumn = motion;
    shortColumn.columns[2].pop_back();

    struct Case {
        const char* what;
        VolumeDimensions dim;
        std::vector<std::int32_t> mask;
        const DesignMatrix* matrix;
        const char* messagePart;
    };
    const std::vector<Case> cases = {
        {"no data points", dim, {0}, &noVolumes, "no data points"},
        {"five columns", dim, {0}, &fiveColumns, "run1_3DMC.sdm"},
        {"short column", dim, {0}, &shortColumn, "run1_3DMC.sdm"},
        {"index past the grid", dim, {0, 12}, &motion, "3 x 2 x 2"},
        {"negative index", dim, {-1}, &motion, "-1"},
        {"descending mask", dim, {5, 4}, &motion, "ascending"},
        {"repeated index", dim, {4, 4}, &motion, "ascending"},
        {"negative dimension", {3, -2, 2}, {}, &motion, "negative"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            computeVoxelDisplacement(c.dim, {1, 1, 1}, c.mask, *c.matrix);
            ADD_FAILURE() << "accepted";
        } catch (const std::exception& error) {
            EXPECT_NE(std::string(error.what()).find(c.messagePart), std::string::npos)
                << error.what();
        }
    }
}

// --- Bit-exact agreement with a plain, independent computation on a realistic run -------------
// Written voxel by voxel (each voxel's series over the volumes), the other way round from the
// implementation, so that only the arithmetic of each voxel has to agree.

TEST(VoxelDisplacement, AgreesBitForBitWithAPlainComputationOnARealisticRun) {
    const VolumeDimensions dim{7, 5, 4};
    const VoxelSize size{2.5F, 2.5F, 3.0F};
    const DesignMatrix motion = test::realisticMotion(300);
    std::vector<std::int32_t> mask;
    for (std::int32_t v = 1; v < 140; v += 3) {
        mask.push_back(v);
    }
    const DisplacementMaps maps = computeVoxelDisplacement(dim, size, mask, motion);

    std::vector<test::PlainMatrix> transforms;
    for (std::size_t t = 0; t < 300; ++t) {
        transforms.push_back(test::plainTransform(motion, t));
    }
    const float sx = 7.0F * size.x, sy = 5.0F * size.y, sz = 4.0F * size.z;
    const float hx = sx / 7.0F, hy = sy / 5.0F, hz = sz / 4.0F;

    std::vector<float> expected[7];
    for (std::vector<float>& volume : expected) {
        volume.assign(140, 0.0F);
    }
    for (const std::int32_t v : mask) {
        const std::int32_t ix = v % 7, iy = (v / 7) % 5, iz = v / 35;
        const float x = static_cast<float>(ix) * hx + (hx - sx) * 0.5F;
        const float y = static_cast<float>(iy) * hy + (hy - sy) * 0.5F;
        const float z = static_cast<float>(iz) * hz + (hz - sz) * 0.5F;
        float px = x, py = y, pz = z;
        float sumAbs = 0, maxAbs = 0, sumRel = 0, maxRel = 0, maxX = 0, maxY = 0, maxZ = 0;
        for (const test::PlainMatrix& m : transforms) {
            const float cx = x * m[0] + y * m[4] + z * m[8] + m[3];
            const float cy = x * m[1] + y * m[5] + z * m[9] + m[7];
            const float cz = x * m[2] + y * m[6] + z * m[10] + m[11];
            const float ax = cx - x, ay = cy - y, az = cz - z;
            const float rx = cx - px, ry = cy - py, rz = cz - pz;
            const float dAbs = std::sqrt((ax * ax + ay * ay) + az * az);
            const float dRel = std::sqrt((ry * ry + rx * rx) + rz * rz);
            sumAbs += dAbs;
            sumRel += dRel;
            maxAbs = maxAbs > dAbs ? maxAbs : dAbs;
            maxRel = maxRel > dRel ? maxRel : dRel;
            maxX = maxX > std::fabs(ax) ? maxX : std::fabs(ax);
            maxY = maxY > std::fabs(ay) ? maxY : std::fabs(ay);
            maxZ = maxZ > std::fabs(az) ? maxZ : std::fabs(az);
            px = cx, py = cy, pz = cz;
        }
        const auto i = static_cast<std::size_t>(v);
        expected[0][i] = sumAbs / 300.0F;
        expected[1][i] = maxAbs;
        expected[2][i] = sumRel / 300.0F;
        expected[3][i] = maxRel;
        expected[4][i] = maxX;
        expected[5][i] = maxY;
        expected[6][i] = maxZ;
    }

    const std::vector<const Volume*> actual = allSeven(maps);
    for (std::size_t k = 0; k < 7; ++k) {
        ASSERT_EQ(actual[k]->data.size(), 140U);
        EXPECT_EQ(std::memcmp(actual[k]->data.data(), expected[k].data(), 140 * sizeof(float)), 0)
            << "statistic " << k;
    }
    EXPECT_GT(expected[3][static_cast<std::size_t>(mask.back())], 0.5F) << "the run should jump";
}

} // namespace
} // namespace qm
