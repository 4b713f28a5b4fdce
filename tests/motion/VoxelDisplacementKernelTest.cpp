// Every voxel displacement kernel this processor can run against the plain reference
// computation, bit for bit, on grids, masks and motions chosen to reach every corner of the
// kernels: partial lane groups, several batches, one volume, NaN and overflowing motion.
#include "MotionMatrices.h"
#include "VoxelDisplacement.h"
#include "VoxelDisplacementReference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>
#include <stdexcept>
#include <string>
#include <vector>

namespace qm {
namespace {

using test::motionMatrix;
using test::MotionValues;

struct Grid {
    VolumeDimensions dim;
    VoxelSize voxelSize;
};

const std::vector<Grid> kGrids = {
    {{1, 1, 1}, {3, 3, 3}},
    {{7, 5, 3}, {2.5F, 2.5F, 3}},
    {{13, 11, 9}, {3.1F, 2.9F, 4.7F}},
    {{16, 16, 2}, {1, 1, 1}},
    // More voxels than one batch of positions, rows longer than any lane group.
    {{67, 41, 3}, {2, 2, 2.5F}},
};

struct Mask {
    const char* name;
    std::vector<std::int32_t> indices;
};

std::vector<Mask> masksFor(const VolumeDimensions& dim) {
    const auto voxels = static_cast<std::int32_t>(elementCount(dim));
    std::vector<std::int32_t> all(static_cast<std::size_t>(voxels));
    std::iota(all.begin(), all.end(), 0);
    std::vector<std::int32_t> seven; // spread over the grid; fewer where the grid is smaller
    for (std::int32_t i = 0; i < 7; ++i) {
        const std::int32_t index = i * (voxels - 1) / 6;
        if (seven.empty() || index > seven.back()) {
            seven.push_back(index);
        }
    }
    std::vector<std::int32_t> scattered; // irregular gaps of 1 to 4
    for (std::int32_t v = 0; v < voxels; v += 1 + (v * 31 % 4)) {
        scattered.push_back(v);
    }
    std::vector<std::int32_t> rowsOfEveryLength; // row r holds its first r % (dim.x + 1) voxels
    const std::int32_t rows = dim.x > 0 ? voxels / dim.x : 0;
    for (std::int32_t row = 0; row < rows; ++row) {
        for (std::int32_t x = 0; x < row % (dim.x + 1); ++x) {
            rowsOfEveryLength.push_back(row * dim.x + x);
        }
    }
    return {{"no voxel", {}},
            {"one voxel", {voxels / 2}},
            {"seven voxels", seven},
            {"scattered voxels", scattered},
            {"rows of every length", rowsOfEveryLength},
            {"every voxel", all}};
}

struct Motion {
    const char* name;
    DesignMatrix matrix;
};

const std::vector<Motion>& motions() {
    static const std::vector<Motion> kMotions = {
        {"one volume", motionMatrix({{0.7F, -1.1F, 0.4F, 2, -3, 1.5F}})},
        {"rotations", motionMatrix({{0, 0, 0, 10, 0, 0},
                                    {0, 0, 0, 0, -20, 0},
                                    {0, 0, 0, 0, 0, 35},
                                    {0, 0, 0, 4, 7, -1.5F},
                                    {0, 0, 0, 179, -91, 360}})},
        {"translations", motionMatrix({{1, 0, 0, 0, 0, 0},
                                       {0, -2.5F, 0, 0, 0, 0},
                                       {0, 0, 0.125F, 0, 0, 0},
                                       {-3, 4, 5, 0, 0, 0}})},
        {"drift and jumps", test::realisticMotion(300)},
    };
    return kMotions;
}

// NaN and values whose squares overflow: the maxima must follow "keep the stored value if it is
// greater" through NaN exactly as the reference does.
DesignMatrix unruly() {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    return motionMatrix({{0.5F, 0, 0, 1, 0, 0},
                         {nan, 0, 0, 0, 0, 0},
                         {0.25F, 0.5F, -0.5F, 0, 2, 0},
                         {0, 0, 0, nan, 0, 0},
                         {1e30F, 0, 0, 0, 0, 0},
                         {3e38F, -3e38F, 3e38F, 0, 0, 0},
                         {0, 0, 0, 0, 0, 1e30F},
                         {inf, 0, 0, 0, 0, 0},
                         {0, 0, -inf, 0, 0, 0},
                         {0.1F, 0.2F, 0.3F, 0.4F, 0.5F, 0.6F}});
}

std::vector<const Volume*> allSeven(const DisplacementMaps& maps) {
    return {&maps.meanAbsolute, &maps.maxAbsolute,  &maps.meanRelative, &maps.maxRelative,
            &maps.maxAbsoluteX, &maps.maxAbsoluteY, &maps.maxAbsoluteZ};
}

const char* const kStatistics[7] = {"meanAbsolute", "maxAbsolute",  "meanRelative", "maxRelative",
                                    "maxAbsoluteX", "maxAbsoluteY", "maxAbsoluteZ"};

void expectBitIdentical(const DisplacementMaps& actual, const DisplacementMaps& expected) {
    const std::vector<const Volume*> a = allSeven(actual);
    const std::vector<const Volume*> e = allSeven(expected);
    for (std::size_t k = 0; k < 7; ++k) {
        ASSERT_EQ(a[k]->dim, e[k]->dim) << kStatistics[k];
        ASSERT_EQ(a[k]->data.size(), e[k]->data.size()) << kStatistics[k];
        EXPECT_EQ(
            std::memcmp(a[k]->data.data(), e[k]->data.data(), e[k]->data.size() * sizeof(float)), 0)
            << kStatistics[k];
    }
}

// NaN where the reference has NaN (its payload may depend on operand order), the same bits
// everywhere else.
void expectIdenticalUpToNanPayload(const DisplacementMaps& actual,
                                   const DisplacementMaps& expected) {
    const std::vector<const Volume*> a = allSeven(actual);
    const std::vector<const Volume*> e = allSeven(expected);
    for (std::size_t k = 0; k < 7; ++k) {
        ASSERT_EQ(a[k]->data.size(), e[k]->data.size()) << kStatistics[k];
        std::size_t differing = 0;
        for (std::size_t i = 0; i < e[k]->data.size(); ++i) {
            const float got = a[k]->data[i];
            const float want = e[k]->data[i];
            const bool same =
                std::isnan(want) ? std::isnan(got) : test::bitsOf(got) == test::bitsOf(want);
            differing += same ? 0 : 1;
        }
        EXPECT_EQ(differing, 0U) << kStatistics[k];
    }
}

std::string nameOf(DisplacementInstructionSet instructionSet) {
    return std::string(displacementInstructionSetName(instructionSet));
}

TEST(VoxelDisplacementKernels, PortableIsAlwaysThereAndTheBestComesLast) {
    const std::vector<DisplacementInstructionSet> supported =
        supportedDisplacementInstructionSets();
    ASSERT_FALSE(supported.empty());
    EXPECT_EQ(supported.front(), DisplacementInstructionSet::portable);
    EXPECT_EQ(bestDisplacementInstructionSet(), supported.back());
}

TEST(VoxelDisplacementKernels, AnInstructionSetWithoutAKernelIsRefused) {
    const auto unknown = static_cast<DisplacementInstructionSet>(99);
    try {
        computeVoxelDisplacement({2, 2, 2}, {1, 1, 1}, {0}, motions().front().matrix, unknown);
        ADD_FAILURE() << "accepted";
    } catch (const std::invalid_argument& error) {
        EXPECT_NE(std::string(error.what()).find("not available"), std::string::npos)
            << error.what();
    }
}

TEST(VoxelDisplacementKernels, MatchTheReferenceBitForBit) {
    for (const Grid& grid : kGrids) {
        for (const Mask& mask : masksFor(grid.dim)) {
            for (const Motion& motion : motions()) {
                const DisplacementMaps expected = test::computeVoxelDisplacementReference(
                    grid.dim, grid.voxelSize, mask.indices, motion.matrix);
                for (const DisplacementInstructionSet set :
                     supportedDisplacementInstructionSets()) {
                    SCOPED_TRACE(std::to_string(grid.dim.x) + " x " + std::to_string(grid.dim.y) +
                                 " x " + std::to_string(grid.dim.z) + ", " + mask.name + ", " +
                                 motion.name + ", " + nameOf(set));
                    expectBitIdentical(computeVoxelDisplacement(grid.dim, grid.voxelSize,
                                                                mask.indices, motion.matrix, set),
                                       expected);
                }
            }
        }
    }
}

TEST(VoxelDisplacementKernels, TheDefaultIsTheBestKernel) {
    const Grid& grid = kGrids[2];
    const std::vector<Mask> masks = masksFor(grid.dim);
    const DesignMatrix& motion = motions().back().matrix;
    expectBitIdentical(
        computeVoxelDisplacement(grid.dim, grid.voxelSize, masks.back().indices, motion),
        test::computeVoxelDisplacementReference(grid.dim, grid.voxelSize, masks.back().indices,
                                                motion));
}

TEST(VoxelDisplacementKernels, FollowTheReferenceThroughNanAndOverflow) {
    const DesignMatrix motion = unruly();
    for (const Grid& grid : kGrids) {
        const std::vector<Mask> masks = masksFor(grid.dim);
        const std::vector<std::int32_t>& every = masks.back().indices;
        const DisplacementMaps expected =
            test::computeVoxelDisplacementReference(grid.dim, grid.voxelSize, every, motion);
        for (const DisplacementInstructionSet set : supportedDisplacementInstructionSets()) {
            SCOPED_TRACE(std::to_string(grid.dim.x) + " x " + std::to_string(grid.dim.y) + " x " +
                         std::to_string(grid.dim.z) + ", " + nameOf(set));
            expectIdenticalUpToNanPayload(
                computeVoxelDisplacement(grid.dim, grid.voxelSize, every, motion, set), expected);
        }
    }
    // The run really does reach NaN, infinity and finite values again.
    const Grid& grid = kGrids[1];
    const DisplacementMaps maps = computeVoxelDisplacement(
        grid.dim, grid.voxelSize, masksFor(grid.dim).back().indices, motion);
    EXPECT_TRUE(std::isnan(maps.meanAbsolute.data[0]));
    EXPECT_TRUE(std::isfinite(maps.maxAbsoluteY.data[0]));
}

void expectSameArrays(const MaskedDisplacement& actual, const MaskedDisplacement& expected) {
    const std::vector<float>* a[7] = {
        &actual.meanAbsolute, &actual.maxAbsolute,  &actual.meanRelative, &actual.maxRelative,
        &actual.maxAbsoluteX, &actual.maxAbsoluteY, &actual.maxAbsoluteZ};
    const std::vector<float>* e[7] = {&expected.meanAbsolute, &expected.maxAbsolute,
                                      &expected.meanRelative, &expected.maxRelative,
                                      &expected.maxAbsoluteX, &expected.maxAbsoluteY,
                                      &expected.maxAbsoluteZ};
    for (std::size_t k = 0; k < 7; ++k) {
        ASSERT_EQ(a[k]->size(), e[k]->size()) << kStatistics[k];
        // An empty mask gives empty arrays, whose data() may be null: memcmp must not see them.
        if (e[k]->empty()) {
            continue;
        }
        EXPECT_EQ(std::memcmp(a[k]->data(), e[k]->data(), e[k]->size() * sizeof(float)), 0)
            << kStatistics[k];
    }
}

TEST(VoxelDisplacementKernels, TheMaskedArraysAreTheVolumesAtTheMasksIndices) {
    const Grid& grid = kGrids[4];
    const DesignMatrix& motion = motions().back().matrix;
    for (const Mask& mask : masksFor(grid.dim)) {
        SCOPED_TRACE(mask.name);
        const MaskedDisplacement masked =
            computeMaskedDisplacement(grid.dim, grid.voxelSize, mask.indices, motion);
        ASSERT_EQ(masked.meanAbsolute.size(), mask.indices.size());
        expectBitIdentical(
            DisplacementMaps{scatterMaskedValues(masked.meanAbsolute, mask.indices, grid.dim),
                             scatterMaskedValues(masked.maxAbsolute, mask.indices, grid.dim),
                             scatterMaskedValues(masked.meanRelative, mask.indices, grid.dim),
                             scatterMaskedValues(masked.maxRelative, mask.indices, grid.dim),
                             scatterMaskedValues(masked.maxAbsoluteX, mask.indices, grid.dim),
                             scatterMaskedValues(masked.maxAbsoluteY, mask.indices, grid.dim),
                             scatterMaskedValues(masked.maxAbsoluteZ, mask.indices, grid.dim)},
            test::computeVoxelDisplacementReference(grid.dim, grid.voxelSize, mask.indices,
                                                    motion));
    }
}

// Any number of threads gives the arrays of one thread, bit for bit, on every kernel: more
// threads than voxels, parts of one voxel, parts that split rows and lane groups.
TEST(VoxelDisplacementKernels, ThreadsGiveTheResultsOfOneThread) {
    const DesignMatrix& motion = motions().back().matrix;
    for (const Grid& grid : kGrids) {
        for (const Mask& mask : masksFor(grid.dim)) {
            for (const DisplacementInstructionSet set : supportedDisplacementInstructionSets()) {
                const MaskedDisplacement one = computeMaskedDisplacement(
                    grid.dim, grid.voxelSize, mask.indices, motion, set, 1);
                // More threads than voxels where the mask is small; parts of a few voxels each.
                const std::size_t many = std::min<std::size_t>(mask.indices.size() + 1, 33);
                for (const std::size_t threads : {std::size_t{0}, std::size_t{2}, std::size_t{3},
                                                  std::size_t{5}, std::size_t{8}, many}) {
                    SCOPED_TRACE(std::to_string(grid.dim.x) + " x " + std::to_string(grid.dim.y) +
                                 " x " + std::to_string(grid.dim.z) + ", " + mask.name + ", " +
                                 nameOf(set) + ", " + std::to_string(threads) + " threads");
                    expectSameArrays(computeMaskedDisplacement(grid.dim, grid.voxelSize,
                                                               mask.indices, motion, set, threads),
                                     one);
                }
            }
        }
    }
}

} // namespace
} // namespace qm
