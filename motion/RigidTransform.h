// Rigid-body transforms from motion parameters, and the small matrix algebra they need.
// All arithmetic is single precision, in the evaluation order stated at each function.
#pragma once

#include <array>
#include <vector>

namespace qm {

// 16 floats, row-major: element (r, c) is entry 4·r + c. A transform keeps its translation in
// column 3 and has the bottom row (0, 0, 0, 1).
struct Matrix4x4 {
    std::array<float, 16> m{};
    float& operator()(int row, int column) { return m[static_cast<std::size_t>(4 * row + column)]; }
    float operator()(int row, int column) const {
        return m[static_cast<std::size_t>(4 * row + column)];
    }
    static Matrix4x4 identity();
};

// 9 floats, row-major: element (r, c) is entry 3·r + c.
struct Matrix3x3 {
    std::array<float, 9> m{};
    float& operator()(int row, int column) { return m[static_cast<std::size_t>(3 * row + column)]; }
    float operator()(int row, int column) const {
        return m[static_cast<std::size_t>(3 * row + column)];
    }
};

// A position in millimetres.
struct Point3 {
    float x = 0.0F;
    float y = 0.0F;
    float z = 0.0F;
};

// A list of floats with its count. Holding a motion row: c0..c2 translations along x, y, z in
// millimetres, c3..c5 rotations about x, y, z in degrees. Holding transform parameters:
// p0..p2 rotations about x, y, z in radians, p3..p5 translations in millimetres.
struct TransformParameters {
    std::vector<float> values;
};

TransformParameters motionRowToParameters(const TransformParameters& motionRow);
Matrix4x4 parametersToMatrix(const TransformParameters& parameters);
Matrix4x4 transformFromMotionRow(const TransformParameters& motionRow);

// p' = x·M(0,0) + y·M(1,0) + z·M(2,0) + M(0,3), and likewise for y' and z', left to right.
std::vector<Point3> transformPoints(const std::vector<Point3>& points, const Matrix4x4& matrix);

Matrix4x4 invert(const Matrix4x4& a);
Matrix4x4 multiply(const Matrix4x4& a, const Matrix4x4& b);
Matrix4x4 subtract(const Matrix4x4& a, const Matrix4x4& b);
Matrix3x3 multiply3x3(const Matrix3x3& a, const Matrix3x3& b);

} // namespace qm
