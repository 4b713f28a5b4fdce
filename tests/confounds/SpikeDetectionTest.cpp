#include "SpikeDetection.h"

#include "MotionMatrices.h"
#include "PredictorTransforms.h"
#include "RelativeRmsDisplacement.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>

namespace qm {
namespace {

// Collects what is written between two flushes as one entry, as the host's log pane does.
class LogEntries : public std::stringbuf {
public:
    std::vector<std::string> entries;

protected:
    int sync() override {
        entries.push_back(str());
        str("");
        return 0;
    }
};

struct CapturedLog {
    LogEntries buffer;
    std::ostream stream{&buffer};
    LogSink sink{stream, "Quelmar"};
};

using Spikes = std::vector<std::int32_t>;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

TEST(SpikeDetection, StrictlyGreaterThanTheThreshold) {
    struct Case {
        const char* what;
        std::vector<float> series;
        float threshold;
        Spikes expected;
    };
    const std::vector<Case> cases = {
        {"equal is no spike", {0, 0.5F, 0.75F, 0.5F}, 0.5F, {2}},
        {"negative marks every volume", {0, 0.5F, 0.75F, 0}, -0.1F, {0, 1, 2, 3}},
        {"zero marks every moving volume", {0, 0.5F, 0, 1e-7F}, 0.0F, {1, 3}},
        {"not a number never", {0, kNaN, 2, kNaN}, -1.0F, {0, 2}},
        {"above every value", {0, 0.2F, 0.3F}, 5.0F, {}},
        {"empty series", {}, -1.0F, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(findSpikeVolumes(c.series, c.threshold), c.expected);
    }
}

TEST(SpikeDetection, OnePredictorPerSpikeAndOneLogLineEach) {
    DesignMatrix matrix = test::realisticMotion(20);
    std::vector<float> series(20, 0.1F);
    series[0] = 0.0F;
    series[4] = 1.2345678F;
    series[17] = 2.0F;
    CapturedLog log;
    buildSpikePredictors(matrix, series, 0.5F, log.sink);

    EXPECT_EQ(log.buffer.entries,
              (std::vector<std::string>{
                  "Quelmar>  Detecting Spikes",
                  "Quelmar>  Found spike at position 4 with displacement 1.23457 mm",
                  "Quelmar>  Found spike at position 17 with displacement 2 mm"}));
    EXPECT_EQ(matrix.nrOfPredictors.value, 2);
    EXPECT_EQ(matrix.nrOfDataPoints.value, 20);
    EXPECT_EQ(matrix.firstConfoundPredictor.value, 1);
    EXPECT_FALSE(matrix.includesConstant.value);
    EXPECT_EQ(matrix.path, "run1_3DMC.sdm");
    EXPECT_EQ(matrix.predictorNames,
              (std::vector<std::string>{"Spike Volume 4", "Spike Volume 17"}));
    EXPECT_EQ(matrix.red, (std::vector<std::int32_t>{250, 250}));
    EXPECT_EQ(matrix.green, (std::vector<std::int32_t>{250, 250}));
    EXPECT_EQ(matrix.blue, (std::vector<std::int32_t>{250, 250}));
    ASSERT_EQ(matrix.columns.size(), 2U);
    for (std::size_t t = 0; t < 20; ++t) {
        EXPECT_EQ(matrix.columns[0][t], t == 4 ? 1.0F : 0.0F);
        EXPECT_EQ(matrix.columns[1][t], t == 17 ? 1.0F : 0.0F);
    }
}

TEST(SpikeDetection, NoSpikesLeavesNoPredictorsAndSaysSoWithTheThreshold) {
    struct Case {
        float threshold;
        const char* written;
    };
    for (const Case c : {Case{0.5F, "0.5"}, Case{1.2345678F, "1.23457"}, Case{2.0F, "2"},
                         Case{0.00001F, "1e-05"}, Case{1000000.0F, "1e+06"}}) {
        SCOPED_TRACE(c.written);
        DesignMatrix matrix = test::realisticMotion(3);
        CapturedLog log;
        buildSpikePredictors(matrix, {0, 0, 0}, c.threshold, log.sink);
        EXPECT_EQ(log.buffer.entries,
                  (std::vector<std::string>{"Quelmar>  Detecting Spikes",
                                            std::string("Quelmar>  No spikes found with "
                                                        "displacement greater than ") +
                                                c.written + " mm"}));
        EXPECT_EQ(matrix.nrOfPredictors.value, 0);
        EXPECT_TRUE(matrix.columns.empty());
        EXPECT_TRUE(matrix.predictorNames.empty());
    }
}

TEST(SpikeDetection, ASeriesOfAnotherLengthThanTheMatrixIsRefused) {
    DesignMatrix matrix = test::realisticMotion(5);
    CapturedLog log;
    EXPECT_THROW(buildSpikePredictors(matrix, {0, 3, 0}, 0.5F, log.sink), std::invalid_argument);
    EXPECT_THROW(buildSpikePredictors(matrix, std::vector<float>(9, 3), 0.5F, log.sink),
                 std::invalid_argument);
}

// --- Agreement with a plain, independent computation on a realistic run -----------------------

TEST(SpikeDetection, AgreesWithAPlainComputationOnARealisticRun) {
    const DesignMatrix motion = test::realisticMotion(300);
    DesignMatrix detrended = motion;
    detrendPredictors(detrended);
    const std::vector<float> series = computeRelativeRmsDisplacement(detrended);
    const float threshold = 0.3F;

    Spikes expectedSpikes;
    std::vector<std::string> expectedLog = {"Quelmar>  Detecting Spikes"};
    for (std::size_t i = 0; i < series.size(); ++i) {
        if (series[i] > threshold) {
            expectedSpikes.push_back(static_cast<std::int32_t>(i));
            std::ostringstream line;
            line << "Quelmar>  Found spike at position " << i << " with displacement " << series[i]
                 << " mm";
            expectedLog.push_back(line.str());
        }
    }
    ASSERT_GE(expectedSpikes.size(), 2U) << "the run should contain jumps";

    DesignMatrix spikes = motion;
    CapturedLog log;
    buildSpikePredictors(spikes, series, threshold, log.sink);
    EXPECT_EQ(findSpikeVolumes(series, threshold), expectedSpikes);
    EXPECT_EQ(log.buffer.entries, expectedLog);
    ASSERT_EQ(spikes.columns.size(), expectedSpikes.size());
    for (std::size_t k = 0; k < expectedSpikes.size(); ++k) {
        std::vector<float> column(300, 0.0F);
        column[static_cast<std::size_t>(expectedSpikes[k])] = 1.0F;
        EXPECT_EQ(spikes.columns[k], column);
        EXPECT_EQ(spikes.predictorNames[k], "Spike Volume " + std::to_string(expectedSpikes[k]));
    }
}

} // namespace
} // namespace qm
