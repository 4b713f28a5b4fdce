#include "RigidTransform.h"
#include "MotionMatrices.h"
#include "Pi.h"
#include "PlainMotion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <vector>

namespace qm {
namespace {

using test::bitsOf;

TransformParameters row(float c0, float c1, float c2, float c3, float c4, float c5) {
    return TransformParameters{{c0, c1, c2, c3, c4, c5}};
}

Matrix4x4 fromRow(float c0, float c1, float c2, float c3, float c4, float c5) {
    return transformFromMotionRow(row(c0, c1, c2, c3, c4, c5));
}

const std::vector<Point3> kSomePoints = {
    {0.0F, 0.0F, 0.0F}, {1.0F, 0.0F, 0.0F}, {-12.5F, 40.25F, 3.0F}, {96.0F, -64.0F, -31.5F}};

TEST(RigidTransform, ZeroRowIsTheIdentityAndLeavesPointsWhereTheyAre) {
    const Matrix4x4 t = fromRow(0, 0, 0, 0, 0, 0);
    EXPECT_EQ(t.m, Matrix4x4::identity().m);
    const std::vector<Point3> moved = transformPoints(kSomePoints, t);
    ASSERT_EQ(moved.size(), kSomePoints.size());
    for (std::size_t i = 0; i < moved.size(); ++i) {
        EXPECT_EQ(moved[i].x, kSomePoints[i].x);
        EXPECT_EQ(moved[i].y, kSomePoints[i].y);
        EXPECT_EQ(moved[i].z, kSomePoints[i].z);
    }
}

TEST(RigidTransform, TranslationOfOneMillimetreMovesPointsBackAlongX) {
    const std::vector<Point3> moved = transformPoints(kSomePoints, fromRow(1, 0, 0, 0, 0, 0));
    for (std::size_t i = 0; i < moved.size(); ++i) {
        EXPECT_EQ(moved[i].x, kSomePoints[i].x - 1.0F);
        EXPECT_EQ(moved[i].y, kSomePoints[i].y);
        EXPECT_EQ(moved[i].z, kSomePoints[i].z);
    }
}

struct RotationCase {
    const char* what;
    TransformParameters motionRow;
    Point3 from;
    Point3 to;
};

TEST(RigidTransform, QuarterTurnsAboutEachAxis) {
    const std::vector<RotationCase> cases = {
        {"90 deg about z", row(0, 0, 0, 0, 0, 90), {1, 0, 0}, {0, 1, 0}},
        {"90 deg about x", row(0, 0, 0, 90, 0, 0), {0, 1, 0}, {0, 0, 1}},
        {"90 deg about y", row(0, 0, 0, 0, 90, 0), {0, 0, 1}, {1, 0, 0}},
    };
    for (const RotationCase& c : cases) {
        SCOPED_TRACE(c.what);
        const Point3 p = transformPoints({c.from}, transformFromMotionRow(c.motionRow)).at(0);
        EXPECT_NEAR(p.x, c.to.x, 1e-6F);
        EXPECT_NEAR(p.y, c.to.y, 1e-6F);
        EXPECT_NEAR(p.z, c.to.z, 1e-6F);
    }
}

TEST(RigidTransform, RotationsActAboutTheOriginOfThePointFrame) {
    const Point3 p = transformPoints({{0, 0, 0}}, fromRow(0, 0, 0, 12.0F, -7.5F, 33.0F)).at(0);
    EXPECT_EQ(p.x, 0.0F);
    EXPECT_EQ(p.y, 0.0F);
    EXPECT_EQ(p.z, 0.0F);
}

TEST(RigidTransform, ParametersAreRadiansOfTheRotationsThenNegatedTranslations) {
    const TransformParameters p = motionRowToParameters(row(1.5F, -2.0F, 0.25F, 30, -45, 0.5F));
    ASSERT_EQ(p.values.size(), 6U);
    EXPECT_EQ(bitsOf(p.values[0]), bitsOf((kPi * 30.0F) / 180.0F));
    EXPECT_EQ(bitsOf(p.values[1]), bitsOf((kPi * -45.0F) / 180.0F));
    EXPECT_EQ(bitsOf(p.values[2]), bitsOf((kPi * 0.5F) / 180.0F));
    EXPECT_EQ(p.values[3], -1.5F);
    EXPECT_EQ(p.values[4], 2.0F);
    EXPECT_EQ(p.values[5], -0.25F);
    EXPECT_EQ(bitsOf(kPi), bitsOf(4.0F * std::atan(1.0F)));
}

TEST(RigidTransform, RefusesRowsWithFewerThanSixValues) {
    EXPECT_THROW(motionRowToParameters(TransformParameters{{1, 2, 3}}), std::invalid_argument);
    EXPECT_THROW(parametersToMatrix(TransformParameters{}), std::invalid_argument);
}

TEST(RigidTransform, EmptyPointListGivesEmptyList) {
    EXPECT_TRUE(transformPoints({}, fromRow(1, 2, 3, 4, 5, 6)).empty());
}

TEST(MatrixAlgebra, InverseTimesMatrixIsTheIdentityForRigidTransforms) {
    test::Noise noise(2024);
    for (int i = 0; i < 200; ++i) {
        const Matrix4x4 m = fromRow(20 * noise.next(), 20 * noise.next(), 20 * noise.next(),
                                    180 * noise.next(), 180 * noise.next(), 180 * noise.next());
        const Matrix4x4 left = multiply(invert(m), m);
        const Matrix4x4 right = multiply(m, invert(m));
        const Matrix4x4 unit = Matrix4x4::identity();
        for (std::size_t e = 0; e < 16; ++e) {
            EXPECT_NEAR(left.m[e], unit.m[e], 1e-5F) << "case " << i << " entry " << e;
            EXPECT_NEAR(right.m[e], unit.m[e], 1e-5F) << "case " << i << " entry " << e;
        }
    }
}

TEST(MatrixAlgebra, InverseOfAGeneralMatrix) {
    // Determinant 2; the inverse has exact binary entries.
    Matrix4x4 a;
    a.m = {2, 0, 0, 4, 0, 1, 0, 0, 0, 0, 1, -3, 0, 0, 0, 1};
    const Matrix4x4 expected{{0.5F, 0, 0, -2, 0, 1, 0, 0, 0, 0, 1, 3, 0, 0, 0, 1}};
    EXPECT_EQ(invert(a).m, expected.m);
}

TEST(MatrixAlgebra, ProductsAndDifferenceOfSmallIntegerMatrices) {
    Matrix4x4 a;
    Matrix4x4 b;
    for (std::size_t i = 0; i < 16; ++i) {
        a.m[i] = static_cast<float>(i);
        b.m[i] = static_cast<float>(16 - i);
    }
    const Matrix4x4 p = multiply(a, b);
    EXPECT_EQ(p(0, 0), 0 * 16 + 1 * 12 + 2 * 8 + 3 * 4);
    EXPECT_EQ(p(3, 3), 12 * 13 + 13 * 9 + 14 * 5 + 15 * 1);
    EXPECT_EQ(p(3, 0), 12 * 16 + 13 * 12 + 14 * 8 + 15 * 4);
    EXPECT_EQ(subtract(a, b)(1, 2), 6.0F - 10.0F);

    Matrix3x3 c;
    Matrix3x3 d;
    c.m = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    d.m = {9, 8, 7, 6, 5, 4, 3, 2, 1};
    const Matrix3x3 expected{{30, 24, 18, 84, 69, 54, 138, 114, 90}};
    EXPECT_EQ(multiply3x3(c, d).m, expected.m);
}

// --- Bit-exact agreement with a plain, independent computation on a realistic run -------------

TEST(RigidTransform, AgreesBitForBitWithAPlainComputationOnARealisticRun) {
    const DesignMatrix motion = test::realisticMotion(300);
    const std::vector<Point3> points = {
        {-94.5F, -94.5F, -45.0F}, {1.5F, -30.0F, 12.0F}, {60.0F, 88.5F, 45.0F}};
    for (std::size_t t = 0; t < 300; ++t) {
        TransformParameters motionRow;
        for (std::size_t p = 0; p < 6; ++p) {
            motionRow.values.push_back(motion.columns[p][t]);
        }
        const test::PlainMatrix expected = test::plainTransform(motion, t);
        const Matrix4x4 actual = transformFromMotionRow(motionRow);
        for (std::size_t e = 0; e < 16; ++e) {
            ASSERT_EQ(bitsOf(actual.m[e]), bitsOf(expected[e])) << "volume " << t << " entry " << e;
        }

        const test::PlainMatrix expectedInverse = test::plainInverse(expected);
        const Matrix4x4 inverse = invert(actual);
        for (std::size_t e = 0; e < 16; ++e) {
            ASSERT_EQ(bitsOf(inverse.m[e]), bitsOf(expectedInverse[e]))
                << "volume " << t << " inverse entry " << e;
        }

        const std::vector<Point3> moved = transformPoints(points, actual);
        const test::PlainMatrix& m = expected;
        for (std::size_t i = 0; i < points.size(); ++i) {
            const Point3& p = points[i];
            ASSERT_EQ(bitsOf(moved[i].x), bitsOf(p.x * m[0] + p.y * m[4] + p.z * m[8] + m[3]));
            ASSERT_EQ(bitsOf(moved[i].y), bitsOf(p.x * m[1] + p.y * m[5] + p.z * m[9] + m[7]));
            ASSERT_EQ(bitsOf(moved[i].z), bitsOf(p.x * m[2] + p.y * m[6] + p.z * m[10] + m[11]));
        }
    }
}

} // namespace
} // namespace qm
