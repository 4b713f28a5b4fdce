// plotDesignMatrix against a recording stand-in of the host's plot windows.
#include "MotionPlot.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qm {
namespace {

struct HostCall {
    std::string function;
    std::vector<double> numbers; // the int and float arguments after the handle, in order
    std::string text;            // the name or title argument
    std::vector<float> x;
    std::vector<float> y;
};

std::vector<HostCall> recorded;
int plotWindow = 0;
const PlotWindows::Handle kHandle = &plotWindow;

void expectHandle(PlotWindows::Handle plot) {
    EXPECT_EQ(plot, kHandle);
}

// Records every call under the name of the host function it stands for.
class RecordingWindows final : public PlotWindows {
public:
    Handle plotLine(int n, const float* x, const float* y, const char* name) override {
        recorded.push_back({"ztPlotLine", {double(n)}, name, {x, x + n}, {y, y + n}});
        return kHandle;
    }
    void addLine(Handle plot, int n, const float* x, const float* y, const char* name) override {
        expectHandle(plot);
        recorded.push_back({"ztAddLineToPlot", {double(n)}, name, {x, x + n}, {y, y + n}});
    }
    void setColorTheme(Handle plot, int theme) override {
        expectHandle(plot);
        recorded.push_back({"ztSetPlotColorTheme", {double(theme)}, "", {}, {}});
    }
    void setLineSizeAndColor(Handle plot, int line, int size, int red, int green, int blue,
                             int style) override {
        expectHandle(plot);
        recorded.push_back(
            {"ztSetPlotLineSizeAndColor",
             {double(line), double(size), double(red), double(green), double(blue), double(style)},
             "",
             {},
             {}});
    }
    void showLegend(Handle plot, int first, int second) override {
        expectHandle(plot);
        recorded.push_back({"ztShowPlotLegend", {double(first), double(second)}, "", {}, {}});
    }
    void setTitle(Handle plot, const char* text) override {
        expectHandle(plot);
        recorded.push_back({"ztSetPlotTitle", {}, text, {}, {}});
    }
    void resize(Handle plot, int width, int height) override {
        expectHandle(plot);
        recorded.push_back({"ztResizePlot", {double(width), double(height)}, "", {}, {}});
    }
    void setYAxisRange(Handle plot, float lower, float upper) override {
        expectHandle(plot);
        recorded.push_back({"ztSetPlotYAxisRange", {lower, upper}, "", {}, {}});
    }
    void showAtPosition(Handle plot, int x, int y) override {
        expectHandle(plot);
        recorded.push_back({"ztShowPlotAtPosition", {double(x), double(y)}, "", {}, {}});
    }
};

DesignMatrix matrixOf(const std::string& path, const std::vector<std::vector<float>>& columns) {
    DesignMatrix matrix;
    matrix.path = path;
    matrix.nrOfPredictors.value = static_cast<std::int32_t>(columns.size());
    matrix.nrOfDataPoints.value =
        columns.empty() ? 0 : static_cast<std::int32_t>(columns.front().size());
    matrix.columns = columns;
    for (std::size_t p = 0; p < columns.size(); ++p) {
        matrix.predictorNames.push_back("P" + std::to_string(p));
        matrix.red.push_back(static_cast<std::int32_t>(10 + p));
        matrix.green.push_back(static_cast<std::int32_t>(20 + p));
        matrix.blue.push_back(static_cast<std::int32_t>(30 + p));
    }
    return matrix;
}

std::vector<HostCall> callsOf(const std::string& function) {
    std::vector<HostCall> found;
    for (const auto& call : recorded) {
        if (call.function == function) {
            found.push_back(call);
        }
    }
    return found;
}

class MotionPlot : public ::testing::Test {
protected:
    void SetUp() override { recorded.clear(); }
    void plot(const DesignMatrix& matrix) { plotDesignMatrix(windows, matrix, 2, 1, 3); }
    RecordingWindows windows;
};

TEST_F(MotionPlot, DrawsEveryPredictorAsALineOverTheVolumeNumbers) {
    std::vector<std::vector<float>> columns;
    for (int p = 0; p < 6; ++p) {
        columns.push_back({0.1F * p, -0.2F, 0.3F, 0.05F * p});
    }
    plot(matrixOf("/data/run1_3DMC.sdm", columns));

    std::vector<std::string> sequence;
    for (const auto& call : recorded) {
        sequence.push_back(call.function);
    }
    std::vector<std::string> expected = {"ztPlotLine", "ztSetPlotColorTheme",
                                         "ztSetPlotLineSizeAndColor"};
    for (int p = 1; p < 6; ++p) {
        expected.push_back("ztAddLineToPlot");
        expected.push_back("ztSetPlotLineSizeAndColor");
    }
    for (const char* last : {"ztShowPlotLegend", "ztSetPlotTitle", "ztResizePlot",
                             "ztSetPlotYAxisRange", "ztShowPlotAtPosition"}) {
        expected.push_back(last);
    }
    EXPECT_EQ(sequence, expected);

    auto lines = callsOf("ztPlotLine");
    const auto added = callsOf("ztAddLineToPlot");
    lines.insert(lines.end(), added.begin(), added.end());
    ASSERT_EQ(lines.size(), 6U);
    for (std::size_t p = 0; p < 6; ++p) {
        EXPECT_EQ(lines[p].text, "P" + std::to_string(p));
        EXPECT_EQ(lines[p].x, (std::vector<float>{1.0F, 2.0F, 3.0F, 4.0F}));
        EXPECT_EQ(lines[p].y, columns[p]);
    }
    const auto styles = callsOf("ztSetPlotLineSizeAndColor");
    ASSERT_EQ(styles.size(), 6U);
    for (std::size_t p = 0; p < 6; ++p) {
        const double index = static_cast<double>(p);
        EXPECT_EQ(styles[p].numbers,
                  (std::vector<double>{index, 2, 10 + index, 20 + index, 30 + index, 0}));
    }
    EXPECT_EQ(callsOf("ztSetPlotColorTheme")[0].numbers, std::vector<double>{1});
    EXPECT_EQ(callsOf("ztShowPlotLegend")[0].numbers, (std::vector<double>{1, 3}));
    EXPECT_EQ(callsOf("ztSetPlotTitle")[0].text, "run1_3DMC.sdm");
    EXPECT_EQ(callsOf("ztResizePlot")[0].numbers, (std::vector<double>{800, 350}));
    EXPECT_EQ(callsOf("ztShowPlotAtPosition")[0].numbers, (std::vector<double>{50, 50}));
}

TEST_F(MotionPlot, TheValueAxisIsSymmetricAndWideEnoughForEveryLine) {
    struct Case {
        const char* what;
        std::vector<std::vector<float>> columns;
        double limit;
    };
    const Case cases[] = {
        {"values within -0.3 and 0.8", {{-0.3F, 0.8F, 0.1F}, {0.2F, -0.1F, 0.0F}}, 1},
        {"a value of -2.5", {{0.5F, -2.5F, 1.0F}}, 3},
        {"a largest magnitude of exactly 2", {{2.0F, -1.0F, 0.0F}}, 3},
        {"all zeros", {{0.0F, 0.0F}, {0.0F, 0.0F}}, 1},
        {"a threshold line at 4.2 beyond every other line",
         {{0.3F, -1.2F, 0.4F}, {0.0F, 0.9F, 1.4F}, {4.2F, 4.2F, 4.2F}},
         5},
        {"only negative values", {{-0.5F, -3.0F}}, 4},
    };
    for (const Case& c : cases) {
        recorded.clear();
        plot(matrixOf("run.sdm", c.columns));
        const auto range = callsOf("ztSetPlotYAxisRange");
        ASSERT_EQ(range.size(), 1U) << c.what;
        EXPECT_EQ(range[0].numbers, (std::vector<double>{-c.limit, c.limit})) << c.what;
    }
}

TEST_F(MotionPlot, TheTitleIsTheFileNameAfterEitherKindOfSeparator) {
    const std::pair<std::string, std::string> cases[] = {
        {"C:\\data\\sub-01\\run1_3DMC.sdm", "run1_3DMC.sdm"},
        {"/data/sub-01/run1_3DMC.sdm", "run1_3DMC.sdm"},
        {"C:\\data/sub-01\\run2_3DMC.sdm + Displacement for Spike Detection",
         "run2_3DMC.sdm + Displacement for Spike Detection"},
        {"run3_3DMC.sdm", "run3_3DMC.sdm"},
    };
    for (const auto& [path, expected] : cases) {
        recorded.clear();
        plot(matrixOf(path, {{0.0F, 1.0F}}));
        ASSERT_EQ(callsOf("ztSetPlotTitle").size(), 1U) << path;
        EXPECT_EQ(callsOf("ztSetPlotTitle")[0].text, expected) << path;
    }
}

TEST_F(MotionPlot, AMatrixWithoutPredictorsOrWithoutDataPointsIsNotPlotted) {
    plot(matrixOf("empty.sdm", {}));
    DesignMatrix noDataPoints = matrixOf("short.sdm", {{}, {}, {}});
    plot(noDataPoints);
    EXPECT_TRUE(recorded.empty());
}

TEST_F(MotionPlot, AMatrixShorterThanItsHeaderIsRefusedBeforeTheHostIsCalled) {
    DesignMatrix broken = matrixOf("broken.sdm", {{1.0F, 2.0F}, {3.0F, 4.0F}});
    broken.nrOfDataPoints.value = 3;
    EXPECT_THROW(plot(broken), std::logic_error);
    EXPECT_TRUE(recorded.empty());
}

} // namespace
} // namespace qm
