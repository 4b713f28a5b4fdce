#include "MapGeometry.h"

#include <cmath>

namespace halvorn_host {
namespace {

Vector3 lpsToRas(const Vector3& v) {
    return {-v[0], -v[1], v[2]};
}

// A rotation matrix's quaternion (b, c, d), with a >= 0; columns are the rotated axes. Of the
// four ways to take the square root, the one of the largest term keeps the division stable.
std::array<double, 3> quaternionOf(const Vector3& x, const Vector3& y, const Vector3& z) {
    const double r11 = x[0], r12 = y[0], r13 = z[0];
    const double r21 = x[1], r22 = y[1], r23 = z[1];
    const double r31 = x[2], r32 = y[2], r33 = z[2];
    double a = r11 + r22 + r33 + 1.0;
    double b = 0.0;
    double c = 0.0;
    double d = 0.0;
    if (a > 0.5) {
        a = 0.5 * std::sqrt(a);
        b = 0.25 * (r32 - r23) / a;
        c = 0.25 * (r13 - r31) / a;
        d = 0.25 * (r21 - r12) / a;
    } else {
        const double xd = 1.0 + r11 - (r22 + r33);
        const double yd = 1.0 + r22 - (r11 + r33);
        const double zd = 1.0 + r33 - (r11 + r22);
        if (xd > 1.0) {
            b = 0.5 * std::sqrt(xd);
            c = 0.25 * (r12 + r21) / b;
            d = 0.25 * (r13 + r31) / b;
            a = 0.25 * (r32 - r23) / b;
        } else if (yd > 1.0) {
            c = 0.5 * std::sqrt(yd);
            b = 0.25 * (r12 + r21) / c;
            d = 0.25 * (r23 + r32) / c;
            a = 0.25 * (r13 - r31) / c;
        } else {
            d = 0.5 * std::sqrt(zd);
            b = 0.25 * (r13 + r31) / d;
            c = 0.25 * (r23 + r32) / d;
            a = 0.25 * (r21 - r12) / d;
        }
        if (a < 0.0) {
            b = -b;
            c = -c;
            d = -d;
        }
    }
    return {b, c, d};
}

} // namespace

NiftiPlacement niftiPlacement(const std::optional<FmrPosition>& position,
                              const std::array<std::int32_t, 3>& dimensions,
                              const std::array<float, 3>& voxelSize) {
    NiftiPlacement placement;
    placement.pixdim = {voxelSize[0], voxelSize[1], voxelSize[2]};
    if (!position || !positionProblem(*position, dimensions[2]).empty()) {
        return placement; // unknown: codes 0, no quaternion, no offset, no sform
    }
    const auto [nx, ny, nz] = dimensions;
    const double dx = voxelSize[0];
    const double dy = voxelSize[1];
    const double dz = voxelSize[2];
    const Vector3 row = unit(lpsToRas(position->rowDirection));
    const Vector3 column = unit(lpsToRas(position->columnDirection));
    const Vector3 first = lpsToRas(position->slice1Center);
    const Vector3 normal = unit(cross(row, column));
    const Vector3 sliceStep =
        nz > 1 ? scaled(minus(lpsToRas(position->sliceNCenter), first), 1.0 / (nz - 1))
               : scaled(normal, dz);
    // Voxel (0, 0, 0): from the first slice's centre half the grid back along both directions.
    const Vector3 origin =
        minus(minus(first, scaled(row, 0.5 * (nx - 1) * dx)), scaled(column, 0.5 * (ny - 1) * dy));

    placement.sformCode = 1;
    const Vector3 columns[4] = {scaled(row, dx), scaled(column, dy), sliceStep, origin};
    for (std::size_t axis = 0; axis < 3; ++axis) {
        for (std::size_t c = 0; c < 4; ++c) {
            placement.srow[axis][c] = columns[c][axis];
        }
    }

    placement.qformCode = 1;
    const Vector3 perpendicular = unit(minus(column, scaled(row, dot(column, row))));
    const Vector3 third = cross(row, perpendicular);
    placement.qfac = dot(sliceStep, third) < 0.0 ? -1.0 : 1.0;
    const auto [b, c, d] = quaternionOf(row, perpendicular, third);
    placement.quaternB = b;
    placement.quaternC = c;
    placement.quaternD = d;
    placement.qoffset = origin;
    return placement;
}

} // namespace halvorn_host
