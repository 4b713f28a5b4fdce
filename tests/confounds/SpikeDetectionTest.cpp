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

// Readable failures: the volume and the spike it belongs to.
void PrintTo(const FlaggedVolume& flagged, std::ostream* out) {
    *out << flagged.volume << " (spike " << flagged.spike << ")";
}

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

TEST(SpikeNeighbours, EachFlaggedVolumeOnceInOrderClippedToTheRun) {
    using Flagged = std::vector<FlaggedVolume>;
    struct Case {
        const char* what;
        Spikes spikes;
        std::size_t volumes;
        SpikeNeighbours neighbours;
        Flagged expected;
    };
    const std::vector<Case> cases = {
        {"no neighbours: the spikes alone", {2, 5}, 10, {0, 0}, {{2, 2}, {5, 5}}},
        {"one before, two after", {5}, 10, {1, 2}, {{4, 5}, {5, 5}, {6, 5}, {7, 5}}},
        {"clipped at both ends of the run",
         {0, 9},
         10,
         {2, 2},
         {{0, 0}, {1, 0}, {2, 0}, {7, 9}, {8, 9}, {9, 9}}},
        {"overlaps flag each volume once, for the nearer spike",
         {3, 6},
         10,
         {2, 2},
         {{1, 3}, {2, 3}, {3, 3}, {4, 3}, {5, 6}, {6, 6}, {7, 6}, {8, 6}}},
        {"as near to both: the earlier spike",
         {3, 7},
         10,
         {2, 2},
         {{1, 3}, {2, 3}, {3, 3}, {4, 3}, {5, 3}, {6, 7}, {7, 7}, {8, 7}, {9, 7}}},
        {"a spike next to a spike stays a spike",
         {4, 5},
         10,
         {1, 1},
         {{3, 4}, {4, 4}, {5, 5}, {6, 5}}},
        {"more than the run holds", {4}, 8, {100, 0}, {{0, 4}, {1, 4}, {2, 4}, {3, 4}, {4, 4}}},
        {"only after", {1}, 5, {0, 2}, {{1, 1}, {2, 1}, {3, 1}}},
        {"negative counts flag the spikes alone", {2}, 5, {-1, -3}, {{2, 2}}},
        {"no spikes, no neighbours", {}, 5, {2, 2}, {}},
        {"an empty run", {}, 0, {1, 1}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(flagSpikesAndNeighbours(c.spikes, c.volumes, c.neighbours), c.expected);
    }
}

TEST(SpikeNeighbours, EachFlaggedVolumeGetsItsPredictorAndALineNamingItsSpike) {
    DesignMatrix matrix = test::realisticMotion(12);
    std::vector<float> series(12, 0.1F);
    series[0] = 0.0F;
    series[3] = 0.9F;
    series[10] = 0.75F;
    CapturedLog log;
    const std::vector<FlaggedVolume> flagged =
        buildSpikePredictors(matrix, series, 0.5F, log.sink, {1, 2});

    EXPECT_EQ(log.buffer.entries,
              (std::vector<std::string>{
                  "Quelmar>  Detecting Spikes",
                  "Quelmar>  Flagged volume 2 as neighbour of the spike at position 3",
                  "Quelmar>  Found spike at position 3 with displacement 0.9 mm",
                  "Quelmar>  Flagged volume 4 as neighbour of the spike at position 3",
                  "Quelmar>  Flagged volume 5 as neighbour of the spike at position 3",
                  "Quelmar>  Flagged volume 9 as neighbour of the spike at position 10",
                  "Quelmar>  Found spike at position 10 with displacement 0.75 mm",
                  "Quelmar>  Flagged volume 11 as neighbour of the spike at position 10"}));
    const std::vector<std::int32_t> volumes = {2, 3, 4, 5, 9, 10, 11};
    ASSERT_EQ(flagged.size(), volumes.size());
    ASSERT_EQ(matrix.columns.size(), volumes.size());
    EXPECT_EQ(matrix.nrOfPredictors.value, 7);
    for (std::size_t k = 0; k < volumes.size(); ++k) {
        EXPECT_EQ(flagged[k].volume, volumes[k]);
        EXPECT_EQ(matrix.predictorNames[k], "Spike Volume " + std::to_string(volumes[k]));
        std::vector<float> column(12, 0.0F);
        column[static_cast<std::size_t>(volumes[k])] = 1.0F;
        EXPECT_EQ(matrix.columns[k], column) << k;
        EXPECT_EQ(matrix.red[k], 250);
    }
}

TEST(SpikeNeighbours, WithoutSpikesTheNeighbourCountsChangeNothing) {
    DesignMatrix matrix = test::realisticMotion(4);
    CapturedLog log;
    EXPECT_TRUE(buildSpikePredictors(matrix, {0, 0.1F, 0.2F, 0}, 0.5F, log.sink, {3, 3}).empty());
    EXPECT_EQ(log.buffer.entries,
              (std::vector<std::string>{
                  "Quelmar>  Detecting Spikes",
                  "Quelmar>  No spikes found with displacement greater than 0.5 mm"}));
    EXPECT_EQ(matrix.nrOfPredictors.value, 0);
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
