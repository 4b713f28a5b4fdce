#include "FmrPosition.h"

namespace halvorn_host {
namespace {

// Directions closer to parallel than this (the sine of the angle between them) place no grid.
constexpr double kSmallestSine = 1e-3;

} // namespace

std::string positionProblem(const FmrPosition& position, std::int32_t slices) {
    const Vector3& row = position.rowDirection;
    const Vector3& column = position.columnDirection;
    if (!isFinite(row) || !isFinite(column) || !isFinite(position.slice1Center) ||
        !isFinite(position.sliceNCenter)) {
        return "a position value is not a finite number";
    }
    if (length(row) == 0.0 || length(column) == 0.0) {
        return "\"RowDir\" or \"ColDir\" has no direction";
    }
    if (length(cross(unit(row), unit(column))) < kSmallestSine) {
        return "\"RowDir\" and \"ColDir\" are parallel";
    }
    if (slices > 1 && position.slice1Center == position.sliceNCenter) {
        return "the first and the last slice have the same centre";
    }
    return {};
}

} // namespace halvorn_host
