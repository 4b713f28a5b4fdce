// Where a map's voxels lie in the scanner, from the FMR project's position information, as the
// NIfTI header states it (qform and sform).
//
// Conventions. The FMR project's position fields are read as DICOM gives them: millimetres in
// the scanner's patient frame LPS (x towards the patient's left, y towards the back, z towards
// the head). NIfTI's scanner space is RAS (x right, y front, z head), so x and y change sign.
// Voxel (i, j, k) of a map lies at column i along "RowDir", row j along "ColDir" and slice k on
// the way from "Slice1Center" (slice 0) to "SliceNCenter" (the last slice). A slice centre is the
// middle of the slice's grid, halfway between its first and last voxel centre in both directions.
// So the centre of voxel (i, j, k) is
//     Slice1Center + (i - (nx-1)/2) * dx * RowDir + (j - (ny-1)/2) * dy * ColDir
//                  + k * (SliceNCenter - Slice1Center) / (nz-1),
// converted to RAS, with dx, dy the in-plane voxel sizes. For a single slice the slice step is the
// slice distance along RowDir x ColDir. The sform holds exactly this affine; the qform holds the
// nearest rigid rotation (RowDir, then ColDir made perpendicular to it, then their cross product,
// its sign in qfac) with the map's voxel sizes.
#pragma once

#include "FmrPosition.h"

#include <array>
#include <cstdint>
#include <optional>

namespace halvorn_host {

// The NIfTI header fields that place the voxels.
struct NiftiPlacement {
    std::int16_t qformCode = 0; // 0: unknown, 1: scanner anatomical
    std::int16_t sformCode = 0;
    double quaternB = 0.0;
    double quaternC = 0.0;
    double quaternD = 0.0;
    std::array<double, 3> qoffset{};
    double qfac = 1.0;                           // pixdim[0]
    std::array<std::array<double, 4>, 3> srow{}; // the sform's three rows
    std::array<double, 3> pixdim{};              // voxel sizes
};

// The placement of a map of `dimensions` voxels of `voxelSize` millimetres: from `position` when
// there is one without a problem (scanner anatomical), else unknown: no qform and no sform, so
// readers fall back to the voxel sizes alone.
NiftiPlacement niftiPlacement(const std::optional<FmrPosition>& position,
                              const std::array<std::int32_t, 3>& dimensions,
                              const std::array<float, 3>& voxelSize);

} // namespace halvorn_host
