// The run report's quality-control numbers: the confound table read back, the summaries of its
// displacement series, the flagged volumes, the panels made of it, and the map scale.
#include "ReportConfoundSeries.h"
#include "ReportMotionQc.h"
#include "ReportQcSection.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <string>
#include <utility>
#include <vector>

namespace halvorn_host {
namespace {

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A table as the confound task writes it: volume 0 has no displacement from a previous volume.
constexpr const char* kTable = "trans_x\ttrans_y\ttrans_z\trot_x\trot_y\trot_z\trelative_rms\t"
                               "framewise_displacement\tmotion_outlier00\tmotion_outlier01\n"
                               "0\t0\t0\t0\t0\t0\tn/a\tn/a\t0\t0\n"
                               "0.1\t0\t0\t0.0174532925\t0\t0\t0.2\t0.3\t0\t0\n"
                               "0.9\t0\t0\t0\t0\t0\t0.8\t1.1\t1\t0\n"
                               "0.9\t0.2\t0\t0\t0\t-0.0349065850\t0.1\t0.25\t0\t0\n"
                               "0.5\t0\t0\t0\t0\t0\t0.6\t0.7\t0\t1\n";

TEST(ConfoundSeries, ColumnsByNameWithNaNForNotAvailable) {
    const ConfoundSeries table = parseConfoundSeries(kTable, "run_desc-confounds_timeseries.tsv");
    EXPECT_EQ(table.volumes(), 5U);
    ASSERT_NE(table.column("relative_rms"), nullptr);
    const auto& rms = *table.column("relative_rms");
    EXPECT_TRUE(std::isnan(rms[0]));
    EXPECT_EQ(rms[2], 0.8);
    EXPECT_EQ(table.column("extra_1"), nullptr);
}

TEST(ConfoundSeries, WindowsLineEndsAndAMissingLastLineEndAreRead) {
    const ConfoundSeries table = parseConfoundSeries("a\tb\r\n1\t2\r\n3\tn/a", "t.tsv");
    EXPECT_EQ(table.volumes(), 2U);
    EXPECT_EQ((*table.column("b"))[0], 2.0);
    EXPECT_TRUE(std::isnan((*table.column("b"))[1]));
}

struct BrokenTable {
    std::string text;
    std::string problem;
};

TEST(ConfoundSeries, ABrokenTableIsNamedWithItsLineAndProblem) {
    const std::vector<BrokenTable> cases = {
        {"", "t.tsv is empty"},
        {"a\tb\n1\n", "line 2: the row has 1 cells, the header names 2 columns"},
        {"a\tb\n1\t2\n1\tx\n", "line 3: the b cell \"x\" is no number"},
        {"a\tb\n1\t2,5\n", "line 2: the b cell \"2,5\" is no number"},
        {"a\t\n", "line 1: a column has no name"},
        {"a\ta\n", "line 1: the column a is named twice"},
        {"a\n\n", "line 2: the a cell \"\" is no number"},
    };
    for (const auto& [text, problem] : cases) {
        EXPECT_THAT(
            [&] { parseConfoundSeries(text, "t.tsv"); },
            ThrowsMessage<std::runtime_error>(AllOf(HasSubstr("t.tsv"), HasSubstr(problem))))
            << text;
    }
}

TEST(ConfoundSeries, AMissingFileIsNamed) {
    EXPECT_THAT([] { readConfoundSeries("/nonexistent/run_desc-confounds_timeseries.tsv"); },
                ThrowsMessage<std::runtime_error>(
                    HasSubstr("cannot read the confound table "
                              "/nonexistent/run_desc-confounds_timeseries.tsv")));
}

struct SummaryCase {
    std::vector<double> values;
    double mean;
    double median;
    double maximum;
    std::size_t count;
};

TEST(MotionQc, SummariesSkipUndefinedValues) {
    const std::vector<SummaryCase> cases = {
        {{kNaN, 0.2, 0.8, 0.1, 0.6}, 0.425, 0.4, 0.8, 4}, // even count: mean of the middle two
        {{kNaN, 3.0, 1.0, 2.0}, 2.0, 2.0, 3.0, 3},        // odd count: the middle one
        {{5.0}, 5.0, 5.0, 5.0, 1},
        {{-1.0, kNaN, 1.0, std::numeric_limits<double>::infinity()}, 0.0, 0.0, 1.0, 2},
    };
    for (const auto& c : cases) {
        const auto summary = summarizeSeries(c.values);
        ASSERT_TRUE(summary.has_value());
        EXPECT_DOUBLE_EQ(summary->mean, c.mean);
        EXPECT_DOUBLE_EQ(summary->median, c.median);
        EXPECT_DOUBLE_EQ(summary->maximum, c.maximum);
        EXPECT_EQ(summary->values, c.count);
    }
    EXPECT_FALSE(summarizeSeries(std::vector<double>{kNaN, kNaN}).has_value());
    EXPECT_FALSE(summarizeSeries(std::vector<double>{}).has_value());
}

TEST(MotionQc, FlaggedVolumesComeFromEveryOutlierColumnOnce) {
    const ConfoundSeries table = parseConfoundSeries("motion_outlier00\tmotion_outlier01\tx\n"
                                                     "0\t0\t1\n"
                                                     "1\t0\t1\n"
                                                     "0\t0\t0\n"
                                                     "0\t1\t1\n"
                                                     "1\t1\t0\n",
                                                     "t.tsv");
    EXPECT_THAT(flaggedVolumes(table), ElementsAre(1U, 3U, 4U));
    EXPECT_TRUE(flaggedVolumes(parseConfoundSeries("x\n1\n1\n", "t.tsv")).empty());
}

TEST(MotionQc, SpikeRowsGiveEachFlaggedVolumeTheMeasureTheThresholdAppliesTo) {
    const ConfoundSeries table =
        parseConfoundSeries("relative_rms\tframewise_displacement\tmotion_outlier00\t"
                            "motion_outlier01\n"
                            "n/a\tn/a\t1\t0\n"
                            "0.1\t0.2\t0\t0\n"
                            "0.75\t1.25\t0\t1\n",
                            "t.tsv");
    struct Case {
        std::string measure;
        std::vector<std::pair<std::int32_t, std::string>> rows;
    };
    const Case cases[] = {
        {"", {{0, "n/a"}, {2, "0.75"}}},
        {"0", {{0, "n/a"}, {2, "0.75"}}},
        {"1", {{0, "n/a"}, {2, "1.25"}}},
    };
    for (const auto& c : cases) {
        std::vector<std::pair<std::int32_t, std::string>> rows;
        for (const SpikeRow& row : spikeRows(table, c.measure)) {
            rows.emplace_back(row.volume, row.displacement);
        }
        EXPECT_EQ(rows, c.rows) << "spike_measure " << c.measure;
    }
    EXPECT_EQ(spikeMeasureName("1"), "framewise displacement");
    EXPECT_EQ(spikeMeasureName(""), "relative RMS displacement");
    // A table without the measure's column still lists its flagged volumes.
    const auto rows = spikeRows(parseConfoundSeries("motion_outlier00\n0\n1\n", "t.tsv"), "");
    ASSERT_EQ(rows.size(), 1U);
    EXPECT_EQ(rows[0].volume, 1);
    EXPECT_EQ(rows[0].displacement, "n/a");
}

TEST(MotionQc, PercentOfAllVolumes) {
    EXPECT_DOUBLE_EQ(percentOf(2, 5), 40.0);
    EXPECT_DOUBLE_EQ(percentOf(3, 40), 7.5);
    EXPECT_DOUBLE_EQ(percentOf(0, 0), 0.0);
}

TEST(MotionQc, RotationsInDegrees) {
    const std::vector<double> radians = {0.0, std::numbers::pi / 2.0, -std::numbers::pi, kNaN};
    const auto degrees = degreesFromRadians(radians);
    EXPECT_DOUBLE_EQ(degrees[0], 0.0);
    EXPECT_DOUBLE_EQ(degrees[1], 90.0);
    EXPECT_DOUBLE_EQ(degrees[2], -180.0);
    EXPECT_TRUE(std::isnan(degrees[3]));
}

TEST(MotionQc, MapsShareTheLargestMaximumAsTheirScale) {
    EXPECT_DOUBLE_EQ(sharedMapScale(std::vector<float>{0.5F, 2.25F, 1.0F}), 2.25);
    EXPECT_DOUBLE_EQ(
        sharedMapScale(std::vector<float>{std::numeric_limits<float>::quiet_NaN(), 0.5F}), 0.5);
    // Nothing above 0 (no maps, or maps of a run without motion) still gives a scale to draw.
    EXPECT_DOUBLE_EQ(sharedMapScale(std::vector<float>{}), 1.0);
    EXPECT_DOUBLE_EQ(sharedMapScale(std::vector<float>{0.0F}), 1.0);
}

struct TickCase {
    double lower;
    double upper;
    double step;
    std::vector<double> values;
};

TEST(MotionQc, AxisTicksAreRoundStepsInsideTheRange) {
    const std::vector<TickCase> cases = {
        {0.0, 2.25, 0.5, {0.0, 0.5, 1.0, 1.5, 2.0}},
        {0.0, 1.0, 0.2, {0.0, 0.2, 0.4, 0.6, 0.8, 1.0}},
        {0.0, 39.0, 10.0, {0.0, 10.0, 20.0, 30.0}},
        {-0.3, 0.9, 0.2, {-0.2, 0.0, 0.2, 0.4, 0.6, 0.8}},
        {0.0, 12.0, 2.0, {0.0, 2.0, 4.0, 6.0, 8.0, 10.0, 12.0}},
        {0.0, 14.0, 2.5, {0.0, 2.5, 5.0, 7.5, 10.0, 12.5}},
        {1.0, 1.0, 1.0, {1.0}},
    };
    for (const auto& c : cases) {
        const AxisTicks ticks = axisTicks(c.lower, c.upper);
        EXPECT_DOUBLE_EQ(ticks.step, c.step) << c.lower << ".." << c.upper;
        ASSERT_EQ(ticks.values.size(), c.values.size()) << c.lower << ".." << c.upper;
        for (std::size_t i = 0; i < c.values.size(); ++i) {
            EXPECT_NEAR(ticks.values[i], c.values[i], 1e-12) << c.lower << ".." << c.upper;
            EXPECT_FALSE(std::signbit(ticks.values[i]) && ticks.values[i] == 0.0);
        }
    }
}

TEST(QcSection, NumbersOfTheTableAndTheThresholdTheTaskRead) {
    const ConfoundSeries table = parseConfoundSeries(kTable, "t.tsv");
    const PageMotionQc qc =
        motionQcSection(table, "run_desc-confounds_timeseries.tsv", SpikeSearch{"0.5", "", {}});
    EXPECT_EQ(qc.tableName, "run_desc-confounds_timeseries.tsv");
    EXPECT_EQ(qc.volumes, 5U);
    ASSERT_EQ(qc.summaries.size(), 2U);
    EXPECT_EQ(qc.summaries[0].column, "relative_rms");
    EXPECT_EQ(qc.summaries[0].mean, "0.425");
    EXPECT_EQ(qc.summaries[0].median, "0.400");
    EXPECT_EQ(qc.summaries[0].maximum, "0.800");
    EXPECT_EQ(qc.summaries[1].column, "framewise_displacement");
    EXPECT_EQ(qc.summaries[1].median, "0.500");
    EXPECT_EQ(qc.summaries[1].maximum, "1.100");
    EXPECT_THAT(qc.flaggedVolumes, ElementsAre(2U, 4U));
    EXPECT_EQ(qc.flaggedPercent, "40.0");
    EXPECT_EQ(qc.threshold, "0.5");
    EXPECT_EQ(qc.thresholdMeasure, "relative RMS displacement");

    const PageMotionQc framewise = motionQcSection(table, "t.tsv", SpikeSearch{"0.9", "1", {}});
    EXPECT_EQ(framewise.thresholdMeasure, "framewise displacement");
    EXPECT_FALSE(motionQcSection(table, "t.tsv", std::nullopt).threshold.has_value());
}

TEST(QcSection, PanelsForDisplacementTranslationsAndRotationsInDegrees) {
    const ConfoundSeries table = parseConfoundSeries(kTable, "t.tsv");
    const auto panels = motionPanels(table, SpikeSearch{"0.5", "", {}});
    ASSERT_EQ(panels.size(), 3U);
    EXPECT_EQ(panels[0].unit, "mm");
    EXPECT_EQ(panels[0].threshold, 0.5);
    EXPECT_THAT(panels[0].flagged, ElementsAre(2U, 4U));
    ASSERT_EQ(panels[0].series.size(), 2U);
    EXPECT_EQ(panels[0].series[1].values[2], 1.1);
    EXPECT_EQ(panels[1].title, "Translations");
    EXPECT_EQ(panels[1].unit, "mm");
    EXPECT_EQ(panels[1].series[0].values[2], 0.9);
    EXPECT_FALSE(panels[1].threshold.has_value());
    EXPECT_EQ(panels[2].title, "Rotations");
    EXPECT_EQ(panels[2].unit, "degrees");
    EXPECT_NEAR(panels[2].series[0].values[1], 1.0, 1e-8);
    EXPECT_NEAR(panels[2].series[2].values[3], -2.0, 1e-8);
    // Each series of a panel has its own colour.
    EXPECT_NE(panels[1].series[0].color, panels[1].series[1].color);
    EXPECT_NE(panels[1].series[1].color, panels[1].series[2].color);
}

TEST(QcSection, ATableWithoutMotionColumnsHasNoPanels) {
    const ConfoundSeries table = parseConfoundSeries("extra_1\n1\n2\n", "t.tsv");
    EXPECT_TRUE(motionPanels(table, std::nullopt).empty());
    EXPECT_TRUE(motionQcSection(table, "t.tsv", std::nullopt).summaries.empty());
}

TEST(QcSection, TheMapScaleIsStatedWithItsTicks) {
    const PageMapScale scale = mapScaleOf(2.25);
    EXPECT_EQ(scale.maximum, "2.250");
    ASSERT_EQ(scale.ticks.size(), 5U);
    EXPECT_EQ(scale.ticks[0].label, "0");
    EXPECT_EQ(scale.ticks[0].percent, "0.0");
    EXPECT_EQ(scale.ticks[4].label, "2");
    EXPECT_EQ(scale.ticks[4].percent, "88.9");
}

} // namespace
} // namespace halvorn_host
