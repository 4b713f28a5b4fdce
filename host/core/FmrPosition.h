// The position information of an FMR project, and the small vector arithmetic that checks it and
// that places a map's voxels from it.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <string>

namespace halvorn_host {

using Vector3 = std::array<double, 3>;

// The position fields of an FMR project, as read (LPS, millimetres).
struct FmrPosition {
    Vector3 slice1Center{};
    Vector3 sliceNCenter{};
    Vector3 rowDirection{};
    Vector3 columnDirection{};
};

// What is wrong with `position` for a grid of `slices` slices, or empty when it can place one:
// the direction vectors must be finite, of nonzero length and not parallel, and with several
// slices the first and last slice centre must differ.
std::string positionProblem(const FmrPosition& position, std::int32_t slices);

inline Vector3 minus(const Vector3& a, const Vector3& b) {
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

inline Vector3 scaled(const Vector3& v, double factor) {
    return {v[0] * factor, v[1] * factor, v[2] * factor};
}

inline double dot(const Vector3& a, const Vector3& b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

inline Vector3 cross(const Vector3& a, const Vector3& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

inline double length(const Vector3& v) {
    return std::sqrt(dot(v, v));
}

inline Vector3 unit(const Vector3& v) {
    return scaled(v, 1.0 / length(v));
}

inline bool isFinite(const Vector3& v) {
    return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

} // namespace halvorn_host
