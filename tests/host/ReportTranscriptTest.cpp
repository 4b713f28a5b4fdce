// Sorting a transcript into the report's motion runs: the design matrices the tasks named, and
// which of them each log line, plot and map belongs to, read from transcripts as Halvorn.exe
// writes them.
#include "ReportTranscript.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace halvorn_host {
namespace {

using json = nlohmann::json;

json execute(const std::string& task) {
    return {{"host", "execute"}, {"task", task}};
}
json returned() {
    return {{"host", "execute returned"}, {"result", true}};
}
json log(const std::string& message) {
    return {{"call", "ztLogText"}, {"text", "Quelmar" + message}};
}
json parameter(const std::string& getter, const std::string& name, const json& value) {
    return {{"call", getter}, {"name", name}, {"value", value}};
}
json sdmfile(const std::string& path) {
    return parameter("ztGetStringParameter", "sdmfile", path);
}
json plot(int number) {
    return {{"call", "ztPlotLine"}, {"n", 10}, {"name", "Translation X [mm]"}, {"plot", number}};
}
// The file written is NAME.nii for NAME.map.
json mapSave(const std::string& path, int maps, int result) {
    const json file = result == 1 ? json(path.substr(0, path.size() - 4) + ".nii") : json();
    return {{"call", "ztSaveMAPsOfCurrentFMR"},
            {"path", path},
            {"maps", maps},
            {"file", file},
            {"result", result}};
}

// An MDM that lists a.sdm and b.sdm; anything else lists itself.
std::vector<std::string> lister(const std::string& sdmfile) {
    if (sdmfile == "two.mdm") {
        return {"runs/a_3DMC.sdm", "runs/b_3DMC.sdm"};
    }
    return {sdmfile};
}

TEST(ReportTranscript, ATaskOfOneDesignMatrixGivesItItsLogPlotsAndSpikeSettings) {
    const std::vector<json> entries = {
        {{"host", "loaded"}, {"getPluginName", "Quelmar"}, {"getPluginVersion", "2.0"}},
        log(">  Running..."),
        execute("confound"),
        parameter("ztGetIntParameter", "create_spikes", 1),
        parameter("ztGetFloatParameter", "spike_threshold", 0.30000001192092896),
        sdmfile("run_3DMC.sdm"),
        plot(1),
        log(">  Detecting Spikes"),
        plot(2),
        log(">  Saving SDMs"),
        returned(),
        {{"call", "ztLogText"}, {"text", "\nQuelmar>  Plugin finished!\n"}},
    };
    const SessionRecord record = recordSession(entries, lister);
    EXPECT_EQ(record.pluginName, "Quelmar");
    EXPECT_EQ(record.pluginVersion, "2.0");
    ASSERT_EQ(record.tasks.size(), 1U);
    EXPECT_FALSE(record.tasks[0].errorShown);
    ASSERT_EQ(record.runs.size(), 1U);
    const MotionRunRecord& run = record.runs[0];
    EXPECT_EQ(run.sdmPath, "run_3DMC.sdm");
    EXPECT_EQ(run.tasks, std::vector<std::string>{"confound"});
    ASSERT_EQ(run.plots.size(), 2U);
    EXPECT_EQ(run.plots[1].number, 2);
    EXPECT_EQ(run.plots[1].task, "confound");
    ASSERT_TRUE(run.spikeSettings);
    EXPECT_EQ(run.spikeSettings->threshold, "0.3"); // the float as the plug-in's log writes it
    EXPECT_EQ(run.spikeSettings->measure, "");
    EXPECT_TRUE(run.spikeSettings->searched);
    EXPECT_EQ(run.log.size(), 2U); // detecting, saving: the task's lines
    // The whole log keeps the lines outside the task, without their line breaks.
    ASSERT_EQ(record.log.size(), 4U);
    EXPECT_EQ(record.log.front().text, "Quelmar>  Running...");
    EXPECT_EQ(record.log.front().task, "");
    EXPECT_EQ(record.log.back().text, "Quelmar>  Plugin finished!");
}

TEST(ReportTranscript, RunsAreTheDesignMatricesNamedInTheirOrderWhateverTheLogSays) {
    const std::vector<json> entries = {
        execute("confound"),
        parameter("ztGetIntParameter", "create_spikes", 0),
        sdmfile("two.mdm"),
        log(">  a line in no known wording"),
        plot(1),
        plot(2),
        plot(3),
        returned(),
    };
    const SessionRecord record = recordSession(entries, lister);
    ASSERT_EQ(record.runs.size(), 2U);
    EXPECT_EQ(record.runs[0].sdmPath, "runs/a_3DMC.sdm");
    EXPECT_EQ(record.runs[1].sdmPath, "runs/b_3DMC.sdm");
    for (const auto& run : record.runs) {
        ASSERT_TRUE(run.spikeSettings);
        EXPECT_FALSE(run.spikeSettings->searched);
        EXPECT_TRUE(run.log.empty()); // a task of two design matrices keeps its log whole
        EXPECT_EQ(run.sharedLogTasks, std::vector<std::string>{"confound"});
        EXPECT_TRUE(run.plots.empty()); // three plots do not share out among two
    }
    ASSERT_EQ(record.sharedPlots.size(), 3U);
    EXPECT_EQ(record.sharedPlots[2].number, 3);
    EXPECT_EQ(record.log.size(), 1U);
}

TEST(ReportTranscript, EachDesignMatrixOfAnMdmGetsItsOwnPlotsAndMaps) {
    const std::vector<json> entries = {
        execute("confound"),
        sdmfile("two.mdm"),
        returned(),
        execute("displacement"),
        sdmfile("two.mdm"),
        log(">  FMR size voxels: 8 x 8 x 4"),
        plot(1),
        mapSave("runs/a_3DMC_MaxAbsolute.map", 1, 1),
        plot(2),
        mapSave("runs/b_3DMC_MaxAbsolute.map", 1, 1),
        mapSave("runs/b_3DMC_MeanAbsolute.map", 1, 1),
        mapSave("elsewhere/c_MaxAbsolute.map", 1, 1),
        returned(),
    };
    const SessionRecord record = recordSession(entries, lister);
    ASSERT_EQ(record.runs.size(), 2U);
    const MotionRunRecord& a = record.runs[0];
    const MotionRunRecord& b = record.runs[1];
    EXPECT_EQ(a.sdmPath, "runs/a_3DMC.sdm");
    EXPECT_EQ(b.sdmPath, "runs/b_3DMC.sdm");
    EXPECT_EQ(a.tasks, (std::vector<std::string>{"confound", "displacement"}));
    ASSERT_EQ(a.plots.size(), 1U);
    EXPECT_EQ(a.plots[0].number, 1);
    ASSERT_EQ(b.plots.size(), 1U);
    EXPECT_EQ(b.plots[0].number, 2);
    ASSERT_EQ(a.maps.size(), 1U);
    EXPECT_EQ(a.maps[0].firstMap, 0U);
    ASSERT_EQ(b.maps.size(), 2U);
    EXPECT_EQ(b.maps[0].firstMap, 1U);
    EXPECT_EQ(b.maps[1].firstMap, 2U);
}

TEST(ReportTranscript, AMapBelongsToTheLongestDesignMatrixNameStartingIt) {
    const auto listBoth = [](const std::string&) {
        return std::vector<std::string>{"runs/r_3DMC.sdm", "runs/r_3DMC_b.sdm"};
    };
    const std::vector<json> entries = {
        execute("displacement"),
        sdmfile("both.mdm"),
        mapSave("runs/r_3DMC_b_MaxAbsolute.map", 1, 1),
        mapSave("runs/r_3DMC_MaxAbsolute.map", 1, 1),
        returned(),
    };
    const SessionRecord record = recordSession(entries, listBoth);
    ASSERT_EQ(record.runs.size(), 2U);
    ASSERT_EQ(record.runs[0].maps.size(), 1U);
    EXPECT_EQ(record.runs[0].maps[0].path, "runs/r_3DMC_MaxAbsolute.map");
    ASSERT_EQ(record.runs[1].maps.size(), 1U);
    EXPECT_EQ(record.runs[1].maps[0].path, "runs/r_3DMC_b_MaxAbsolute.map");
}

// A failed save takes its map with it: the next save holds only the maps created after it.
TEST(ReportTranscript, AFailedMapSaveTakesItsMapsWithIt) {
    const std::vector<json> entries = {
        execute("displacement"),
        sdmfile("run_3DMC.sdm"),
        log(">  Start calculating voxel specific motion in 10 volumes"),
        log(">  Saving Maps"),
        mapSave("run_3DMC_MaxAbsolute.map", 1, 1),
        mapSave("full/run_3DMC_MeanAbsolute.map", 1, 0),
        {{"host", "error"}, {"text", "Error: cannot save maps to full/run_3DMC_MeanAbsolute.nii"}},
        mapSave("run_3DMC_MeanRelative.map", 1, 1),
        returned(),
    };
    const SessionRecord record = recordSession(entries, lister);
    ASSERT_EQ(record.runs.size(), 1U);
    const auto& maps = record.runs[0].maps;
    ASSERT_EQ(maps.size(), 2U);
    EXPECT_EQ(maps[1].path, "run_3DMC_MeanRelative.map");
    EXPECT_EQ(maps[1].file, "run_3DMC_MeanRelative.nii");
    EXPECT_EQ(maps[1].firstMap, 2U);
    EXPECT_EQ(maps[1].mapCount, 1U);
    ASSERT_EQ(record.tasks.size(), 1U);
    EXPECT_TRUE(record.tasks[0].errorShown);
    EXPECT_EQ(record.log.back().kind, ReportLogEntry::Kind::HostError);
}

TEST(ReportTranscript, AnErrorMessageBoxMarksItsTaskAndJoinsTheRunLog) {
    const std::vector<json> entries = {
        execute("confound"),
        sdmfile("run_3DMC.sdm"),
        log(">  Saving SDMs"),
        {{"call", "ztMessageBox"}, {"text", "Error: Cannot Create file: run_3DMC_detr.sdm"}},
        returned(),
        execute("displacement"),
        sdmfile("missing_3DMC.sdm"),
        {{"call", "ztMessageBox"}, {"text", "Error: Failed opening for reading: missing"}},
        returned(),
    };
    const SessionRecord record = recordSession(entries, lister);
    ASSERT_EQ(record.tasks.size(), 2U);
    EXPECT_TRUE(record.tasks[0].errorShown);
    EXPECT_TRUE(record.tasks[1].errorShown);
    // Each task named one design matrix: its lines, the error among them, are in that run's log.
    ASSERT_EQ(record.runs.size(), 2U);
    EXPECT_EQ(record.runs[0].log.size(), 2U);
    EXPECT_EQ(record.runs[1].log.size(), 1U);
    EXPECT_EQ(record.log.size(), 3U);
    EXPECT_EQ(record.log[1].kind, ReportLogEntry::Kind::MessageBox);
}

TEST(ReportTranscript, FilesWrittenAreKeptWithTheirTask) {
    const std::vector<json> entries = {
        execute("confound"),
        returned(),
        {{"host", "files written"},
         {"task", "confound"},
         {"files",
          {{{"path", "data/run_3DMC_detr.sdm"}, {"bytes", 13805}},
           {{"path", "data/run_3DMC_desc-confounds_timeseries.tsv"}, {"bytes", 2048}},
           {{"path", ""}, {"bytes", 1}},
           {{"path", "data/no-size.sdm"}},
           {{"path", "data/negative.sdm"}, {"bytes", -1}}}}},
        {{"host", "files written"}, {"task", "displacement"}, {"files", json::array()}},
        {{"host", "files written"}, {"task", "displacement"}, {"files", "not a list"}},
    };
    const SessionRecord record = recordSession(entries, lister);
    ASSERT_EQ(record.filesWritten.size(), 2U);
    EXPECT_EQ(record.filesWritten[0].task, "confound");
    EXPECT_EQ(record.filesWritten[0].path, "data/run_3DMC_detr.sdm");
    EXPECT_EQ(record.filesWritten[0].bytes, 13805U);
    EXPECT_EQ(record.filesWritten[1].path, "data/run_3DMC_desc-confounds_timeseries.tsv");
}

TEST(ReportTranscript, ParametersKeepTheOrderFirstReadAndTheLastValue) {
    const std::vector<json> entries = {
        execute("confound"),
        parameter("ztGetIntParameter", "create_spikes", 1),
        parameter("ztGetFloatParameter", "spike_threshold", 0.5),
        returned(),
        execute("confound"),
        parameter("ztGetIntParameter", "create_spikes", 0),
        returned(),
    };
    const SessionRecord record = recordSession(entries, lister);
    EXPECT_EQ(record.parametersRead, (std::vector<std::pair<std::string, std::string>>{
                                         {"create_spikes", "0"}, {"spike_threshold", "0.5"}}));
}

TEST(ReportTranscript, TheDocumentHeaderGivesPathAndGeometry) {
    const std::vector<json> entries = {{{"call", "ztGetHeaderOfCurrentFMR"},
                                        {"fmrPath", "run.fmr"},
                                        {"nrOfVolumes", 200},
                                        {"dimX", 64},
                                        {"dimY", 64},
                                        {"dimZ", 30},
                                        {"voxelSizeX", 2.5},
                                        {"voxelSizeY", 2.5},
                                        {"voxelSizeZ", 3.0}}};
    const SessionRecord record = recordSession(entries, lister);
    EXPECT_EQ(record.fmrPath, "run.fmr");
    EXPECT_EQ(record.fmrGeometry, "64 x 64 x 30 voxels of 2.5 x 2.5 x 3 mm, 200 volumes");
}

TEST(ReportTranscript, FloatsAreWrittenAsTheLogWritesThem) {
    const std::map<float, std::string> cases = {{0.5F, "0.5"},   {1.2345678F, "1.23457"},
                                                {2.0F, "2"},     {0.00001F, "1e-05"},
                                                {1e6F, "1e+06"}, {0.3F, "0.3"}};
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(formatLikeLog(value), text);
    }
}

TEST(ReportTranscript, AMalformedTranscriptLineIsNamed) {
    const std::string path = ::testing::TempDir() + "report_transcript_test.jsonl";
    {
        std::ofstream out(path);
        out << "{\"host\":\"initPlugin\"}\n{not json\n";
    }
    try {
        readTranscriptFile(path);
        FAIL() << "a malformed line was accepted";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find(path + " is not JSON Lines at line 2"),
                  std::string::npos)
            << error.what();
    }
    std::remove(path.c_str());
}

} // namespace
} // namespace halvorn_host
