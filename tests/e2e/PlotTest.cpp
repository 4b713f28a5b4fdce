// The confound task's plots as the host receives them (the transcript of plot calls) and as a
// user finds them (one PNG and one SVG per plot window in the --plots folder).
#include "HostRun.h"
#include "MotionFiles.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qm::test {
namespace {

constexpr const char* kMinimalFmr =
    "\nFileVersion:          7\n\nNrOfVolumes:          40\nNrOfSlices:           2\n"
    "Prefix:               \"run\"\nResolutionX:          3\nResolutionY:          3\n"
    "InplaneResolutionX:   2.5\nInplaneResolutionY:   2.5\nSliceThickness:       3\n"
    "SliceGap:             1\n";

using Json = nlohmann::ordered_json;

class Plots : public ::testing::Test {
protected:
    void SetUp() override { writeFile(dir.file("run.fmr"), kMinimalFmr); }

    void writeMotion(const std::string& name, const std::vector<MotionRow>& rows) {
        writeFile(dir.file(name), motionSdmText(rows));
    }

    HostRun runConfound(const std::vector<std::string>& settings,
                        const std::vector<std::string>& extra = {"--plots", "plots"}) {
        std::vector<std::string> arguments = {"--document", "run.fmr"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        for (const auto& setting : settings) {
            arguments.push_back("--set");
            arguments.push_back(setting);
        }
        arguments.push_back("confound");
        return runHalvorn(arguments, dir.file(""));
    }

    TempDir dir;
};

// The calls for plot `number`, in order.
std::vector<Json> callsOfPlot(const HostRun& run, int number) {
    std::vector<Json> calls;
    for (const auto& entry : run.transcript) {
        if (entry.contains("plot") && entry["plot"] == number) {
            calls.push_back(entry);
        }
    }
    return calls;
}

// Rows whose six parameters take the given values in turn, starting at volume 0.
std::vector<MotionRow> rowsWithValues(const std::vector<float>& values) {
    std::vector<MotionRow> rows;
    for (std::size_t t = 0; t < 12; ++t) {
        MotionRow row{};
        for (std::size_t p = 0; p < 6; ++p) {
            row[p] = values[(t + p) % values.size()];
        }
        rows.push_back(row);
    }
    return rows;
}

// Width and height from a PNG's IHDR chunk.
std::pair<std::uint32_t, std::uint32_t> pngSize(const std::string& path) {
    const std::string bytes = readFile(path);
    EXPECT_EQ(bytes.substr(0, 8), "\x89PNG\r\n\x1a\n") << path;
    EXPECT_EQ(bytes.substr(12, 4), "IHDR") << path;
    const auto be32 = [&](std::size_t at) {
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
        }
        return value;
    };
    return {be32(16), be32(20)};
}

TEST_F(Plots, TheLoadedMotionIsPlottedLineByLineInItsColours) {
    writeMotion("run1_3DMC.sdm", rowsWithValues({-0.3F, 0.1F, 0.8F, 0.0F, -0.25F}));
    const HostRun result = runConfound({"sdmfile=run1_3DMC.sdm", "plot_regular=1"});
    ASSERT_EQ(result.exitCode, 0) << result.err;

    const auto calls = callsOfPlot(result, 1);
    ASSERT_EQ(calls.size(), 2U + 6U + 5U + 5U);
    EXPECT_EQ(calls[0],
              (Json{{"call", "ztPlotLine"}, {"n", 12}, {"name", kMotionNames[0]}, {"plot", 1}}));
    EXPECT_EQ(calls[1], (Json{{"call", "ztSetPlotColorTheme"}, {"plot", 1}, {"theme", 1}}));
    std::size_t next = 2;
    for (int line = 0; line < 6; ++line) {
        if (line > 0) {
            EXPECT_EQ(calls[next++], (Json{{"call", "ztAddLineToPlot"},
                                           {"plot", 1},
                                           {"n", 12},
                                           {"name", kMotionNames[line]}}));
        }
        const auto& colour = kMotionColours[line];
        EXPECT_EQ(calls[next++], (Json{{"call", "ztSetPlotLineSizeAndColor"},
                                       {"plot", 1},
                                       {"line", line},
                                       {"size", 2},
                                       {"red", colour[0]},
                                       {"green", colour[1]},
                                       {"blue", colour[2]},
                                       {"style", 0}}));
    }
    EXPECT_EQ(calls[next++],
              (Json{{"call", "ztShowPlotLegend"}, {"plot", 1}, {"first", 1}, {"second", 3}}));
    EXPECT_EQ(calls[next++],
              (Json{{"call", "ztSetPlotTitle"}, {"plot", 1}, {"title", "run1_3DMC.sdm"}}));
    EXPECT_EQ(calls[next++],
              (Json{{"call", "ztResizePlot"}, {"plot", 1}, {"width", 800}, {"height", 350}}));
    EXPECT_EQ(
        calls[next++],
        (Json{{"call", "ztSetPlotYAxisRange"}, {"plot", 1}, {"lower", -1.0}, {"upper", 1.0}}));
    EXPECT_EQ(calls[next++],
              (Json{{"call", "ztShowPlotAtPosition"}, {"plot", 1}, {"x", 50}, {"y", 50}}));

    EXPECT_EQ(filesIn(dir.file("plots")),
              (std::vector<std::string>{"plot-01-run1_3DMC.sdm.png", "plot-01-run1_3DMC.sdm.svg"}));
    EXPECT_EQ(pngSize(dir.file("plots/plot-01-run1_3DMC.sdm.png")),
              (std::pair<std::uint32_t, std::uint32_t>{800, 350}));
    const std::string svg = readFile(dir.file("plots/plot-01-run1_3DMC.sdm.svg"));
    EXPECT_EQ(svg.rfind("<?xml", 0), 0U);
    EXPECT_NE(svg.find("width=\"800px\" height=\"350px\""), std::string::npos);
}

TEST_F(Plots, TheValueAxisReachesTheNextWholeNumberAboveTheLargestMagnitude) {
    writeMotion("within.sdm", rowsWithValues({-0.3F, 0.1F, 0.8F}));
    writeMotion("reaching.sdm", rowsWithValues({0.4F, -2.5F, 1.0F}));
    writeMotion("exactly.sdm", rowsWithValues({2.0F, -1.5F, 0.5F}));
    writeMotion("zeros.sdm", rowsWithValues({0.0F}));
    writeFile(dir.file("runs.mdm"), mdmText({dir.file("within.sdm"), dir.file("reaching.sdm"),
                                             dir.file("exactly.sdm"), dir.file("zeros.sdm")}));
    const HostRun result = runConfound({"sdmfile=runs.mdm", "plot_regular=1"});
    ASSERT_EQ(result.exitCode, 0) << result.err;

    const auto titles = result.calls("ztSetPlotTitle");
    const auto ranges = result.calls("ztSetPlotYAxisRange");
    ASSERT_EQ(ranges.size(), 4U);
    const std::pair<const char*, double> expected[] = {
        {"within.sdm", 1.0}, {"reaching.sdm", 3.0}, {"exactly.sdm", 3.0}, {"zeros.sdm", 1.0}};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(titles[i]["title"], expected[i].first);
        EXPECT_EQ(ranges[i]["plot"], i + 1);
        EXPECT_EQ(ranges[i]["lower"], -expected[i].second) << expected[i].first;
        EXPECT_EQ(ranges[i]["upper"], expected[i].second) << expected[i].first;
    }
    EXPECT_EQ(filesIn(dir.file("plots")),
              (std::vector<std::string>{"plot-01-within.sdm.png", "plot-01-within.sdm.svg",
                                        "plot-02-reaching.sdm.png", "plot-02-reaching.sdm.svg",
                                        "plot-03-exactly.sdm.png", "plot-03-exactly.sdm.svg",
                                        "plot-04-zeros.sdm.png", "plot-04-zeros.sdm.svg"}));
}

TEST_F(Plots, TheDetrendedPlotAddsTheDisplacementAndTheThresholdLine) {
    writeMotion("run1_3DMC.sdm", driftingMotion(40, {{15, 0, 0.8F}}));
    const HostRun result =
        runConfound({"sdmfile=run1_3DMC.sdm", "plot_detrended=1", "spike_threshold=4.2"});
    ASSERT_EQ(result.exitCode, 0) << result.err;

    const auto lines = result.calls("ztSetPlotLineSizeAndColor");
    ASSERT_EQ(lines.size(), 8U);
    std::vector<std::string> names = {result.calls("ztPlotLine")[0]["name"]};
    for (const auto& added : result.calls("ztAddLineToPlot")) {
        names.push_back(added["name"]);
    }
    ASSERT_EQ(names.size(), 8U);
    for (std::size_t p = 0; p < 6; ++p) {
        EXPECT_EQ(names[p], kMotionNames[p] + " detrended");
        EXPECT_EQ(lines[p]["red"], kMotionColours[p][0]);
        EXPECT_EQ(lines[p]["green"], kMotionColours[p][1]);
        EXPECT_EQ(lines[p]["blue"], kMotionColours[p][2]);
    }
    EXPECT_EQ(names[6], "relative RMS displacement");
    EXPECT_EQ(names[7], "Spike threshold");
    for (std::size_t line = 0; line < 8; ++line) {
        EXPECT_EQ(lines[line]["line"], line);
        EXPECT_EQ(lines[line]["size"], 2);
        EXPECT_EQ(lines[line]["style"], 0);
    }
    EXPECT_EQ(lines[6]["red"], 250);
    EXPECT_EQ(lines[6]["green"], 250);
    EXPECT_EQ(lines[6]["blue"], 250);
    EXPECT_EQ(lines[7]["red"], 150);
    EXPECT_EQ(lines[7]["green"], 0);
    EXPECT_EQ(lines[7]["blue"], 0);

    EXPECT_EQ(result.calls("ztSetPlotTitle")[0]["title"],
              "run1_3DMC.sdm + Displacement for Spike Detection");
    // The threshold line at 4.2 mm is the largest of all lines.
    EXPECT_EQ(result.calls("ztSetPlotYAxisRange")[0]["lower"], -5.0);
    EXPECT_EQ(result.calls("ztSetPlotYAxisRange")[0]["upper"], 5.0);
    const std::string picture = "plot-01-run1_3DMC.sdm_+_Displacement_for_Spike_Detection";
    EXPECT_EQ(filesIn(dir.file("plots")),
              (std::vector<std::string>{picture + ".png", picture + ".svg"}));
    EXPECT_EQ(pngSize(dir.file("plots/" + picture + ".png")),
              (std::pair<std::uint32_t, std::uint32_t>{800, 350}));
}

TEST_F(Plots, EachRunOfAnMdmGetsBothPlotsInListOrder) {
    writeMotion("run1_3DMC.sdm", driftingMotion(40, {}));
    writeMotion("run2_3DMC.sdm", driftingMotion(30, {}));
    writeFile(dir.file("runs.mdm"),
              mdmText({dir.file("run1_3DMC.sdm"), dir.file("run2_3DMC.sdm")}));
    const HostRun result = runConfound(
        {"sdmfile=runs.mdm", "plot_regular=1", "plot_detrended=1", "spike_threshold=0.3"});
    ASSERT_EQ(result.exitCode, 0) << result.err;

    std::vector<std::string> titles;
    for (const auto& call : result.calls("ztSetPlotTitle")) {
        titles.push_back(call["title"]);
    }
    EXPECT_EQ(titles, (std::vector<std::string>{
                          "run1_3DMC.sdm", "run1_3DMC.sdm + Displacement for Spike Detection",
                          "run2_3DMC.sdm", "run2_3DMC.sdm + Displacement for Spike Detection"}));
    const auto created = result.calls("ztPlotLine");
    ASSERT_EQ(created.size(), 4U);
    EXPECT_EQ(created[0]["n"], 40);
    EXPECT_EQ(created[3]["n"], 30);
    EXPECT_EQ(filesIn(dir.file("plots")).size(), 8U);
    EXPECT_TRUE(std::filesystem::exists(
        dir.file("plots/plot-04-run2_3DMC.sdm_+_Displacement_for_Spike_Detection.svg")));
}

TEST_F(Plots, APredictorNameOfAMillionCharactersIsCutToTheLegend) {
    // Cutting the legend text used to measure the rest of the name once per character removed,
    // which took minutes for a name this long.
    const std::string longName(1'000'000, 'x');
    std::string sdm = motionSdmText(driftingMotion(20, {}));
    const std::string shortName = "\"" + kMotionNames[0] + "\"";
    sdm.replace(sdm.find(shortName), shortName.size(), "\"" + longName + "\"");
    writeFile(dir.file("run1_3DMC.sdm"), sdm);
    const HostRun result = runConfound({"sdmfile=run1_3DMC.sdm", "plot_regular=1"});
    ASSERT_EQ(result.exitCode, 0) << result.err.substr(0, 500);
    const auto created = result.calls("ztPlotLine");
    ASSERT_EQ(created.size(), 1U);
    EXPECT_EQ(created[0]["name"].get<std::string>().size(), longName.size());
    EXPECT_EQ(callsOfPlot(result, 1).back()["call"], "ztShowPlotAtPosition");
    const auto [width, height] = pngSize(dir.file("plots/plot-01-run1_3DMC.sdm.png"));
    EXPECT_EQ(width, 800U) << "the legend stays within the picture";
    EXPECT_GT(std::filesystem::file_size(dir.file("plots/plot-01-run1_3DMC.sdm.svg")), 1000U);
}

// On a full disk the PNG used to be left at 0 bytes and the SVG cut short, with warnings only.
TEST_F(Plots, PicturesThatDoNotFitOnTheDiskAreLeftOutAndTheRunFails) {
    writeMotion("run1_3DMC.sdm", driftingMotion(20, {}));
    std::vector<std::string> arguments = {"--document", "run.fmr",        "--plots",
                                          "plots",      "--set",          "sdmfile=run1_3DMC.sdm",
                                          "--set",      "plot_regular=1", "confound"};
    const HostRun whole = runHalvorn(arguments, dir.file(""));
    ASSERT_EQ(whole.exitCode, 0) << whole.err;
    constexpr std::uint64_t kLimit = 16 * 1024;
    ASSERT_GT(std::filesystem::file_size(dir.file("plots/plot-01-run1_3DMC.sdm.png")), kLimit);
    std::filesystem::remove_all(dir.file("plots"));

    const HostRun full = runHalvornUnder(withFileSizeLimit(kLimit), arguments, dir.file(""));
    EXPECT_EQ(full.exitCode, 1);
    for (const char* extension : {".png", ".svg"}) {
        const std::string path = "plots/plot-01-run1_3DMC.sdm" + std::string(extension);
        EXPECT_NE(full.err.find("Halvorn.exe: error: cannot write the plot picture " + path + ": "),
                  std::string::npos)
            << full.err;
    }
    EXPECT_TRUE(filesIn(dir.file("plots")).empty()) << "no file cut short, no temporary file";
    EXPECT_EQ(full.calls("ztPlotLine").size(), 1U) << "the transcript is complete";
}

TEST_F(Plots, WithoutAPlotsFolderThePicturesGoToTheCurrentFolder) {
    writeMotion("run1_3DMC.sdm", driftingMotion(20, {}));
    const HostRun result = runConfound({"sdmfile=run1_3DMC.sdm", "plot_regular=1"}, {});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(filesIn(dir.file("")),
              (std::vector<std::string>{"plot-01-run1_3DMC.sdm.png", "plot-01-run1_3DMC.sdm.svg",
                                        "run.fmr", "run1_3DMC.sdm"}));
}

} // namespace
} // namespace qm::test
