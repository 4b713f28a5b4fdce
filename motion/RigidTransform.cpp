#include "RigidTransform.h"

#include "Pi.h"

#include <cmath>
#include <cstddef>
#include <stdexcept>
#include <string>

namespace qm {

namespace {

constexpr std::size_t kMotionParameterCount = 6;

void requireSixValues(const TransformParameters& parameters, const char* what) {
    if (parameters.values.size() < kMotionParameterCount) {
        throw std::invalid_argument(std::string(what) + " needs 6 values, got " +
                                    std::to_string(parameters.values.size()));
    }
}

// Determinant of the 3×3 block (a b c / d e f / g h i), expanded down its first column. Every
// product has its first factor from that column, so negating the column negates each term
// exactly; cofactors with an odd sign are formed that way.
float determinant3x3(const std::array<float, 9>& k) {
    const float a = k[0], b = k[1], c = k[2];
    const float d = k[3], e = k[4], f = k[5];
    const float g = k[6], h = k[7], i = k[8];
    return a * e * i - a * f * h - d * b * i + d * c * h + g * b * f - g * c * e;
}

// Cofactor of element (row, column): the signed determinant of the matrix without that row and
// that column.
float cofactor(const Matrix4x4& a, int row, int column) {
    std::array<float, 9> minor{};
    std::size_t next = 0;
    for (int r = 0; r < 4; ++r) {
        if (r == row) {
            continue;
        }
        for (int c = 0; c < 4; ++c) {
            if (c != column) {
                minor[next++] = a(r, c);
            }
        }
    }
    if ((row + column) % 2 != 0) {
        minor[0] = -minor[0];
        minor[3] = -minor[3];
        minor[6] = -minor[6];
    }
    return determinant3x3(minor);
}

} // namespace

Matrix4x4 Matrix4x4::identity() {
    Matrix4x4 unit;
    unit(0, 0) = 1.0F;
    unit(1, 1) = 1.0F;
    unit(2, 2) = 1.0F;
    unit(3, 3) = 1.0F;
    return unit;
}

TransformParameters motionRowToParameters(const TransformParameters& motionRow) {
    requireSixValues(motionRow, "A motion row");
    const std::vector<float>& c = motionRow.values;
    // The motion estimates translate the volume; moving its points back means flipping the sign.
    return TransformParameters{{degreesToRadians(c[3]), degreesToRadians(c[4]),
                                degreesToRadians(c[5]), -c[0], -c[1], -c[2]}};
}

Matrix4x4 parametersToMatrix(const TransformParameters& parameters) {
    requireSixValues(parameters, "Transform parameters");
    const std::vector<float>& p = parameters.values;
    const float sa = std::sin(p[0]);
    const float ca = std::cos(p[0]);
    const float sb = std::sin(p[1]);
    const float cb = std::cos(p[1]);
    const float sg = std::sin(p[2]);
    const float cg = std::cos(p[2]);

    Matrix4x4 t;
    t(0, 0) = cg * cb;
    t(0, 1) = sg * cb;
    t(0, 2) = -sb;
    t(0, 3) = p[3];
    t(1, 0) = sa * sb * cg - sg * ca;
    t(1, 1) = sa * sb * sg + ca * cg;
    t(1, 2) = sa * cb;
    t(1, 3) = p[4];
    t(2, 0) = ca * sb * cg + sa * sg;
    t(2, 1) = ca * sb * sg - sa * cg;
    t(2, 2) = ca * cb;
    t(2, 3) = p[5];
    t(3, 3) = 1.0F;
    return t;
}

Matrix4x4 transformFromMotionRow(const TransformParameters& motionRow) {
    return parametersToMatrix(motionRowToParameters(motionRow));
}

std::vector<Point3> transformPoints(const std::vector<Point3>& points, const Matrix4x4& matrix) {
    // The rotation block is applied transposed; the translation comes from column 3.
    const float m00 = matrix(0, 0), m10 = matrix(1, 0), m20 = matrix(2, 0), m03 = matrix(0, 3);
    const float m01 = matrix(0, 1), m11 = matrix(1, 1), m21 = matrix(2, 1), m13 = matrix(1, 3);
    const float m02 = matrix(0, 2), m12 = matrix(1, 2), m22 = matrix(2, 2), m23 = matrix(2, 3);

    std::vector<Point3> moved;
    moved.reserve(points.size());
    for (const Point3& p : points) {
        moved.push_back(Point3{p.x * m00 + p.y * m10 + p.z * m20 + m03,
                               p.x * m01 + p.y * m11 + p.z * m21 + m13,
                               p.x * m02 + p.y * m12 + p.z * m22 + m23});
    }
    return moved;
}

Matrix4x4 invert(const Matrix4x4& a) {
    // Adjugate: the transposed matrix of cofactors.
    Matrix4x4 adjugate;
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 4; ++column) {
            adjugate(column, row) = cofactor(a, row, column);
        }
    }
    // Expansion along the first row. No test for zero: only rigid transforms (determinant 1) are
    // ever inverted here.
    const float determinant = a(0, 0) * adjugate(0, 0) + a(0, 1) * adjugate(1, 0) +
                              a(0, 2) * adjugate(2, 0) + a(0, 3) * adjugate(3, 0);
    const float reciprocal = 1.0F / determinant;

    Matrix4x4 inverse;
    for (std::size_t i = 0; i < inverse.m.size(); ++i) {
        inverse.m[i] = adjugate.m[i] * reciprocal;
    }
    return inverse;
}

Matrix4x4 multiply(const Matrix4x4& a, const Matrix4x4& b) {
    Matrix4x4 product;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            float sum = 0.0F;
            for (int k = 0; k < 4; ++k) {
                sum += a(i, k) * b(k, j);
            }
            product(i, j) = sum;
        }
    }
    return product;
}

Matrix4x4 subtract(const Matrix4x4& a, const Matrix4x4& b) {
    Matrix4x4 difference;
    for (std::size_t i = 0; i < difference.m.size(); ++i) {
        difference.m[i] = a.m[i] - b.m[i];
    }
    return difference;
}

Matrix3x3 multiply3x3(const Matrix3x3& a, const Matrix3x3& b) {
    Matrix3x3 product;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            float sum = 0.0F;
            for (int k = 0; k < 3; ++k) {
                sum += a(i, k) * b(k, j);
            }
            product(i, j) = sum;
        }
    }
    return product;
}

} // namespace qm
