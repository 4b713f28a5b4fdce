// Where a map's voxels lie: the FMR project's position information (LPS, as DICOM gives it)
// turned into the NIfTI qform and sform (RAS), checked with the NIfTI library's own matrices.
#include "MapGeometry.h"

#include <gtest/gtest.h>
#include <nifti2_io.h>

#include <cmath>
#include <numbers>

namespace halvorn_host {
namespace {

constexpr std::array<std::int32_t, 3> kGrid = {10, 8, 5};
constexpr std::array<float, 3> kVoxel = {2.5F, 3.0F, 3.5F};

Vector3 add(const Vector3& a, const Vector3& b, double factor) {
    return {a[0] + factor * b[0], a[1] + factor * b[1], a[2] + factor * b[2]};
}

// A slice stack turned 30 degrees about the scanner's z axis and tilted 20 degrees, away from
// the scanner's centre, slices one voxel size apart along the normal.
FmrPosition rotatedAndShifted() {
    const double turn = 30.0 * std::numbers::pi / 180.0;
    const double tilt = 20.0 * std::numbers::pi / 180.0;
    FmrPosition position;
    position.rowDirection = {std::cos(turn), std::sin(turn), 0.0};
    position.columnDirection = {-std::sin(turn) * std::cos(tilt), std::cos(turn) * std::cos(tilt),
                                std::sin(tilt)};
    const Vector3& r = position.rowDirection;
    const Vector3& c = position.columnDirection;
    const Vector3 normal = {r[1] * c[2] - r[2] * c[1], r[2] * c[0] - r[0] * c[2],
                            r[0] * c[1] - r[1] * c[0]};
    position.slice1Center = {12.5, -30.0, 7.0};
    position.sliceNCenter = add(position.slice1Center, normal, (kGrid[2] - 1) * kVoxel[2]);
    return position;
}

// The centre of voxel (i, j, k) in RAS, by the documented convention, worked out on its own.
Vector3 expectedCentre(const FmrPosition& position, double i, double j, double k) {
    Vector3 lps = position.slice1Center;
    lps = add(lps, position.rowDirection, (i - (kGrid[0] - 1) / 2.0) * kVoxel[0]);
    lps = add(lps, position.columnDirection, (j - (kGrid[1] - 1) / 2.0) * kVoxel[1]);
    const Vector3 step = {(position.sliceNCenter[0] - position.slice1Center[0]) / (kGrid[2] - 1),
                          (position.sliceNCenter[1] - position.slice1Center[1]) / (kGrid[2] - 1),
                          (position.sliceNCenter[2] - position.slice1Center[2]) / (kGrid[2] - 1)};
    lps = add(lps, step, k);
    return {-lps[0], -lps[1], lps[2]};
}

Vector3 applied(const nifti_dmat44& matrix, double i, double j, double k) {
    Vector3 world{};
    for (int axis = 0; axis < 3; ++axis) {
        world[static_cast<std::size_t>(axis)] = matrix.m[axis][0] * i + matrix.m[axis][1] * j +
                                                matrix.m[axis][2] * k + matrix.m[axis][3];
    }
    return world;
}

nifti_dmat44 sformOf(const NiftiPlacement& placement) {
    nifti_dmat44 matrix{};
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 4; ++column) {
            matrix.m[row][column] =
                placement.srow[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
        }
    }
    matrix.m[3][3] = 1.0;
    return matrix;
}

nifti_dmat44 qformOf(const NiftiPlacement& placement) {
    return nifti_quatern_to_dmat44(placement.quaternB, placement.quaternC, placement.quaternD,
                                   placement.qoffset[0], placement.qoffset[1], placement.qoffset[2],
                                   placement.pixdim[0], placement.pixdim[1], placement.pixdim[2],
                                   placement.qfac);
}

void expectNear(const Vector3& actual, const Vector3& expected, const char* what) {
    for (std::size_t axis = 0; axis < 3; ++axis) {
        EXPECT_NEAR(actual[axis], expected[axis], 1e-9) << what << ", axis " << axis;
    }
}

TEST(MapGeometry, VoxelCentresLieWhereThePositionInformationPutsThem) {
    const FmrPosition position = rotatedAndShifted();
    const NiftiPlacement placement = niftiPlacement(position, kGrid, kVoxel);
    EXPECT_EQ(placement.qformCode, NIFTI_XFORM_SCANNER_ANAT);
    EXPECT_EQ(placement.sformCode, NIFTI_XFORM_SCANNER_ANAT);
    const nifti_dmat44 sform = sformOf(placement);
    const nifti_dmat44 qform = qformOf(placement);
    for (const auto& [i, j, k] : std::vector<std::array<double, 3>>{
             {0, 0, 0}, {9, 0, 0}, {0, 7, 0}, {0, 0, 4}, {9, 7, 4}, {4.5, 3.5, 0}, {4.5, 3.5, 4}}) {
        const Vector3 expected = expectedCentre(position, i, j, k);
        expectNear(applied(sform, i, j, k), expected, "sform");
        expectNear(applied(qform, i, j, k), expected, "qform");
    }
    // The middle of the first and of the last slice are the two slice centres.
    expectNear(applied(sform, 4.5, 3.5, 0), {-12.5, 30.0, 7.0}, "first slice centre");
}

TEST(MapGeometry, SlicesStackedAgainstTheNormalFlipQfac) {
    FmrPosition position = rotatedAndShifted();
    std::swap(position.slice1Center, position.sliceNCenter);
    const NiftiPlacement placement = niftiPlacement(position, kGrid, kVoxel);
    EXPECT_EQ(placement.qfac, -1.0);
    const nifti_dmat44 qform = qformOf(placement);
    for (const double k : {0.0, 4.0}) {
        expectNear(applied(qform, 2, 3, k), expectedCentre(position, 2, 3, k), "qform");
        expectNear(applied(sformOf(placement), 2, 3, k), expectedCentre(position, 2, 3, k),
                   "sform");
    }
}

TEST(MapGeometry, AStackOfAxialSlicesAroundTheOriginFlipsXAndYIntoRas) {
    FmrPosition position;
    position.rowDirection = {1.0, 0.0, 0.0};
    position.columnDirection = {0.0, 1.0, 0.0};
    position.slice1Center = {0.0, 0.0, -7.0};
    position.sliceNCenter = {0.0, 0.0, 7.0};
    const NiftiPlacement placement = niftiPlacement(position, kGrid, kVoxel);
    // A half turn about z: x and y change sign.
    EXPECT_DOUBLE_EQ(placement.quaternB, 0.0);
    EXPECT_DOUBLE_EQ(placement.quaternC, 0.0);
    EXPECT_DOUBLE_EQ(placement.quaternD, 1.0);
    EXPECT_EQ(placement.qfac, 1.0);
    expectNear(placement.qoffset, {4.5 * 2.5, 3.5 * 3.0, -7.0}, "voxel (0, 0, 0)");
    expectNear(applied(sformOf(placement), 9, 7, 4), {-4.5 * 2.5, -3.5 * 3.0, 7.0}, "last voxel");
}

TEST(MapGeometry, ASingleSliceStepsAlongTheNormalByTheSliceDistance) {
    FmrPosition position = rotatedAndShifted();
    const std::array<std::int32_t, 3> single = {10, 8, 1};
    const NiftiPlacement placement = niftiPlacement(position, single, kVoxel);
    ASSERT_EQ(placement.sformCode, NIFTI_XFORM_SCANNER_ANAT);
    const nifti_dmat44 sform = sformOf(placement);
    const Vector3 a = applied(sform, 0, 0, 0);
    const Vector3 b = applied(sform, 0, 0, 1);
    const double step = std::sqrt((b[0] - a[0]) * (b[0] - a[0]) + (b[1] - a[1]) * (b[1] - a[1]) +
                                  (b[2] - a[2]) * (b[2] - a[2]));
    EXPECT_NEAR(step, kVoxel[2], 1e-9);
}

TEST(MapGeometry, WithoutUsablePositionInformationThePlacementIsUnknown) {
    const NiftiPlacement none = niftiPlacement(std::nullopt, kGrid, kVoxel);
    EXPECT_EQ(none.qformCode, NIFTI_XFORM_UNKNOWN);
    EXPECT_EQ(none.sformCode, NIFTI_XFORM_UNKNOWN);
    EXPECT_EQ(none.qoffset, (std::array<double, 3>{0.0, 0.0, 0.0}));

    FmrPosition parallel = rotatedAndShifted();
    parallel.columnDirection = parallel.rowDirection;
    FmrPosition still = rotatedAndShifted();
    still.rowDirection = {0.0, 0.0, 0.0};
    FmrPosition flat = rotatedAndShifted();
    flat.sliceNCenter = flat.slice1Center;
    FmrPosition broken = rotatedAndShifted();
    broken.slice1Center[1] = std::nan("");
    const std::pair<FmrPosition, const char*> cases[] = {
        {parallel, "\"RowDir\" and \"ColDir\" are parallel"},
        {still, "\"RowDir\" or \"ColDir\" has no direction"},
        {flat, "the first and the last slice have the same centre"},
        {broken, "a position value is not a finite number"},
    };
    for (const auto& [position, problem] : cases) {
        EXPECT_EQ(positionProblem(position, kGrid[2]), problem);
        EXPECT_EQ(niftiPlacement(position, kGrid, kVoxel).qformCode, NIFTI_XFORM_UNKNOWN)
            << problem;
    }
    EXPECT_EQ(positionProblem(flat, 1), "") << "one slice has one centre";
}

} // namespace
} // namespace halvorn_host
