#include "PredictorTransforms.h"

#include "MotionMatrices.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <string>

namespace qm {
namespace {

using test::bitsOf;
using Transform = std::function<void(DesignMatrix&)>;

// One predictor named "P" holding `values`.
DesignMatrix singleColumn(std::vector<float> values) {
    DesignMatrix matrix;
    matrix.path = "sub01_run1_3DMC.sdm";
    matrix.nrOfPredictors.value = 1;
    matrix.nrOfDataPoints.value = static_cast<std::int32_t>(values.size());
    matrix.red = {255};
    matrix.green = {0};
    matrix.blue = {0};
    matrix.predictorNames = {"P"};
    matrix.columns = {std::move(values)};
    return matrix;
}

std::vector<float> after(const Transform& transform, std::vector<float> values) {
    DesignMatrix matrix = singleColumn(std::move(values));
    transform(matrix);
    return matrix.columns.at(0);
}

const Transform detrend = detrendPredictors;
const Transform derivative = differentiatePredictors;
const Transform square = squarePredictors;
const Transform standardize = standardizePredictors;
Transform delayBy(unsigned k) {
    return [k](DesignMatrix& m) { delayPredictors(m, k); };
}

struct ColumnCase {
    const char* what;
    Transform transform;
    std::vector<float> input;
    std::vector<float> expected;
};

TEST(PredictorTransforms, WorkedColumns) {
    const std::vector<ColumnCase> cases = {
        {"detrend 0 0 3", detrend, {0, 0, 3}, {0.5F, -1, 0.5F}},
        {"detrend a straight line", detrend, {1, 3, 5, 7}, {0, 0, 0, 0}},
        {"derivative 1 4 9", derivative, {1, 4, 9}, {0, 4, 0}},
        {"derivative of one value", derivative, {7}, {0}},
        {"derivative of two values", derivative, {7, -3}, {0, 0}},
        {"derivative of five values", derivative, {2, -1, 4, 8, 3}, {0, 1, 4.5F, -0.5F, 0}},
        {"delay by 2", delayBy(2), {5, 6, 7, 8}, {0, 0, 5, 6}},
        {"delay by 0", delayBy(0), {5, 6, 7}, {5, 6, 7}},
        {"delay by the length", delayBy(3), {5, 6, 7}, {0, 0, 0}},
        {"delay by more than the length", delayBy(40), {5, 6, 7}, {0, 0, 0}},
        {"square", square, {-2, 3}, {4, 9}},
        {"standardise 1 2 3", standardize, {1, 2, 3}, {-1, 0, 1}},
        {"standardise a constant", standardize, {4.25F, 4.25F, 4.25F, 4.25F}, {0, 0, 0, 0}},
    };
    for (const ColumnCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(after(c.transform, c.input), c.expected);
    }
}

TEST(PredictorTransforms, OneValueDetrendsAndStandardisesToNotANumber) {
    EXPECT_TRUE(std::isnan(after(detrend, {2.5F}).at(0)));
    EXPECT_TRUE(std::isnan(after(standardize, {2.5F}).at(0)));
}

TEST(PredictorTransforms, MeanAndSampleStandardDeviation) {
    EXPECT_EQ(columnMeanAndSd({1, 2, 3}), (std::pair<float, float>{2.0F, 1.0F}));
    EXPECT_EQ(columnMeanAndSd({2, 4, 4, 4, 5, 5, 7, 9}).first, 5.0F);
    EXPECT_NEAR(columnMeanAndSd({2, 4, 4, 4, 5, 5, 7, 9}).second, std::sqrt(32.0F / 7.0F), 1e-6F);
}

TEST(PredictorTransforms, StandardisingScalesAColumnUnlessItHardlyVaries) {
    struct Case {
        const char* what;
        std::vector<float> column;
        bool scaled;
    };
    const std::vector<Case> cases = {
        {"a spread of 1", {1, 2, 3}, true},
        {"a constant", {0.25F, 0.25F, 0.25F}, false},
        {"a spread below 0.0001", {0, 0.00005F, 0.0001F}, false},
        {"a spread just above 0.0001", {0, 0.0002F, 0.0004F}, true},
        {"no values", {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(standardizationScales(c.column), c.scaled);
        // The transform agrees: a scaled column ends with sample standard deviation 1.
        if (!c.column.empty()) {
            const float sd = columnMeanAndSd(after(standardize, c.column)).second;
            EXPECT_NEAR(sd, c.scaled ? 1.0F : columnMeanAndSd(c.column).second, 1e-5F);
        }
    }
}

TEST(PredictorTransforms, NameSuffixes) {
    struct NameCase {
        const char* what;
        Transform transform;
        std::string expected;
    };
    const std::vector<NameCase> cases = {
        {"detrend", detrend, "P detrended"},
        {"derivative", derivative, "P derivative"},
        {"delay 1", delayBy(1), "P t-1"},
        {"delay 2", delayBy(2), "P t-2"},
        {"square", square, "P squared"},
        {"standardise", standardize, "P"},
        {"detrend, delay 1, square",
         [](DesignMatrix& m) {
             detrendPredictors(m);
             delayPredictors(m, 1);
             squarePredictors(m);
         },
         "P detrended t-1 squared"},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.what);
        DesignMatrix matrix = singleColumn({1, 2, 4});
        c.transform(matrix);
        EXPECT_EQ(matrix.predictorNames, std::vector<std::string>{c.expected});
    }
}

TEST(PredictorTransforms, TransformsChangeOnlyValuesAndNames) {
    const DesignMatrix original = test::realisticMotion(12);
    for (const Transform& transform : {detrend, derivative, square, standardize}) {
        DesignMatrix matrix = original;
        matrix.includesConstant.value = true;
        matrix.firstConfoundPredictor.value = 3;
        transform(matrix);
        delayPredictors(matrix, 2);
        EXPECT_EQ(matrix.path, original.path);
        EXPECT_EQ(matrix.nrOfPredictors.value, 6);
        EXPECT_EQ(matrix.nrOfDataPoints.value, 12);
        EXPECT_TRUE(matrix.includesConstant.value);
        EXPECT_EQ(matrix.firstConfoundPredictor.value, 3);
        EXPECT_EQ(matrix.red, original.red);
        EXPECT_EQ(matrix.green, original.green);
        EXPECT_EQ(matrix.blue, original.blue);
        ASSERT_EQ(matrix.columns.size(), 6U);
        for (const std::vector<float>& column : matrix.columns) {
            EXPECT_EQ(column.size(), 12U);
        }
    }
}

TEST(PredictorTransforms, EmptyColumnsStayEmptyAndOnlyNamesChange) {
    DesignMatrix matrix = test::motionMatrix({});
    detrendPredictors(matrix);
    differentiatePredictors(matrix);
    delayPredictors(matrix, 1);
    squarePredictors(matrix);
    standardizePredictors(matrix);
    ASSERT_EQ(matrix.columns.size(), 6U);
    for (const std::vector<float>& column : matrix.columns) {
        EXPECT_TRUE(column.empty());
    }
    EXPECT_EQ(matrix.predictorNames[0], "Translation X [mm] detrended derivative t-1 squared");
}

TEST(PredictorTransforms, EachColumnUsesItsOwnLength) {
    DesignMatrix matrix = singleColumn({1, 4, 9});
    matrix.columns.push_back({0, 0, 3, 6});
    matrix.predictorNames.push_back("Q");
    differentiatePredictors(matrix);
    EXPECT_EQ(matrix.columns[0], (std::vector<float>{0, 4, 0}));
    EXPECT_EQ(matrix.columns[1], (std::vector<float>{0, 1.5F, 3, 0}));
}

TEST(PredictorTransforms, AddPredictorDemandsOneValuePerDataPoint) {
    DesignMatrix matrix = singleColumn({1, 2, 3});
    addPredictor(matrix, {1, 2}, "too short", 1, 2, 3);
    addPredictor(matrix, {1, 2, 3, 4}, "too long", 1, 2, 3);
    EXPECT_EQ(matrix.nrOfPredictors.value, 1);
    EXPECT_EQ(matrix.columns.size(), 1U);
    EXPECT_EQ(matrix.predictorNames, std::vector<std::string>{"P"});
    EXPECT_EQ(matrix.red.size(), 1U);

    addPredictor(matrix, {7, 8, 9}, "R", 10, 20, 30);
    EXPECT_EQ(matrix.nrOfPredictors.value, 2);
    EXPECT_EQ(matrix.columns.back(), (std::vector<float>{7, 8, 9}));
    EXPECT_EQ(matrix.predictorNames.back(), "R");
    EXPECT_EQ(matrix.red.back(), 10);
    EXPECT_EQ(matrix.green.back(), 20);
    EXPECT_EQ(matrix.blue.back(), 30);
}

TEST(PredictorTransforms, ClearThenAddBuildsANewMatrixOfTheSameLength) {
    DesignMatrix matrix = test::realisticMotion(5);
    matrix.includesConstant.value = true;
    clearPredictors(matrix);
    EXPECT_EQ(matrix.nrOfPredictors.value, 0);
    EXPECT_TRUE(matrix.columns.empty());
    EXPECT_TRUE(matrix.predictorNames.empty());
    EXPECT_TRUE(matrix.red.empty() && matrix.green.empty() && matrix.blue.empty());

    addPredictor(matrix, {0, 0, 1, 0, 0}, "Spike", 250, 250, 250);
    EXPECT_EQ(matrix.nrOfPredictors.value, 1);
    EXPECT_EQ(matrix.firstConfoundPredictor.value, 1);
    EXPECT_FALSE(matrix.includesConstant.value);
    EXPECT_EQ(matrix.nrOfDataPoints.value, 5);
    EXPECT_EQ(matrix.path, "run1_3DMC.sdm");
    EXPECT_EQ(matrix.fileVersion.value, 1);
}

// --- Bit-exact agreement with a plain, independent computation on a realistic run -------------

std::vector<float> plainDetrend(const std::vector<float>& y) {
    const int n = static_cast<int>(y.size());
    float st = 0, sy = 0, sty = 0, stt = 0;
    for (int t = 0; t < n; ++t) {
        st += static_cast<float>(t);
        sy += y[static_cast<std::size_t>(t)];
        sty += static_cast<float>(t) * y[static_cast<std::size_t>(t)];
        stt += static_cast<float>(t * t);
    }
    const float nf = static_cast<float>(n);
    const float b = (sty * nf - sy * st) / (stt * nf - st * st);
    const float a = (sy - b * st) / nf;
    std::vector<float> out;
    for (int t = 0; t < n; ++t) {
        out.push_back(y[static_cast<std::size_t>(t)] - (static_cast<float>(t) * b + a));
    }
    return out;
}

std::vector<float> plainDerivative(const std::vector<float>& x) {
    std::vector<float> out(x.size(), 0.0F);
    for (std::size_t i = 1; i + 1 < x.size(); ++i) {
        out[i] = (x[i + 1] - x[i - 1]) * 0.5F;
    }
    return out;
}

std::vector<float> plainDelay(const std::vector<float>& x, std::size_t k) {
    std::vector<float> out(x.size(), 0.0F);
    for (std::size_t i = k; i < x.size(); ++i) {
        out[i] = x[i - k];
    }
    return out;
}

std::vector<float> plainSquare(std::vector<float> x) {
    for (float& v : x) {
        v = v * v;
    }
    return x;
}

std::vector<float> plainStandardize(std::vector<float> x) {
    float sum = 0;
    for (const float v : x) {
        sum += v;
    }
    const float mean = sum / static_cast<float>(x.size());
    float squares = 0;
    for (const float v : x) {
        squares += (v - mean) * (v - mean);
    }
    const float sd = std::sqrt(squares / static_cast<float>(x.size() - 1));
    const float divisor = sd < 0.0001F ? 1.0F : sd;
    for (float& v : x) {
        v = (v - mean) / divisor;
    }
    return x;
}

TEST(PredictorTransforms, AgreeBitForBitWithAPlainComputationOnARealisticRun) {
    const DesignMatrix motion = test::realisticMotion(300);
    DesignMatrix detrended = motion;
    detrendPredictors(detrended);

    struct Family {
        const char* what;
        Transform transform;
        std::function<std::vector<float>(const std::vector<float>&)> plain;
    };
    const std::vector<Family> families = {
        {"detrended", [](DesignMatrix&) {}, [](const auto& x) { return x; }},
        {"derivative", derivative, plainDerivative},
        {"t-1", delayBy(1), [](const auto& x) { return plainDelay(x, 1); }},
        {"t-2", delayBy(2), [](const auto& x) { return plainDelay(x, 2); }},
        {"squared", square, plainSquare},
        {"t-1 squared",
         [](DesignMatrix& m) {
             delayPredictors(m, 1);
             squarePredictors(m);
         },
         [](const auto& x) { return plainSquare(plainDelay(x, 1)); }},
    };
    for (const Family& family : families) {
        DesignMatrix matrix = detrended;
        family.transform(matrix);
        standardizePredictors(matrix);
        for (std::size_t p = 0; p < 6; ++p) {
            const std::vector<float> expected =
                plainStandardize(family.plain(plainDetrend(motion.columns[p])));
            ASSERT_EQ(matrix.columns[p].size(), 300U);
            for (std::size_t t = 0; t < 300; ++t) {
                ASSERT_EQ(bitsOf(matrix.columns[p][t]), bitsOf(expected[t]))
                    << family.what << ", predictor " << p << ", volume " << t;
            }
        }
    }
}

} // namespace
} // namespace qm
