// Halvorn.exe --report on generated runs, as a user opens the page: it exists, names every file
// the tasks wrote with its size, shows the spikes the log reported, and every picture and link
// resolves inside the folder.
#include "MotionFiles.h"
#include "ReportRun.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace qm::test {
namespace {

namespace fs = std::filesystem;

struct SpikeLine {
    std::string volume;
    std::string displacement;
    std::string threshold;
    friend bool operator==(const SpikeLine&, const SpikeLine&) = default;
};

std::ostream& operator<<(std::ostream& out, const SpikeLine& line) {
    return out << line.volume << " / " << line.displacement << " / " << line.threshold;
}

std::vector<SpikeLine> spikesInLog(const HostRun& run, const std::string& threshold) {
    std::vector<SpikeLine> spikes;
    const std::regex pattern(R"(>  Found spike at position (\d+) with displacement (\S+) mm$)");
    for (const auto& text : run.logTexts()) {
        std::smatch match;
        if (std::regex_search(text, match, pattern)) {
            spikes.push_back({match[1], match[2], threshold});
        }
    }
    return spikes;
}

std::vector<SpikeLine> spikesInPage(const std::string& page) {
    std::vector<SpikeLine> spikes;
    const std::regex row(R"(<tr><td class="num">(\d+)</td><td class="num">([^<]+)</td>)"
                         R"(<td class="num">([^<]+)</td>)");
    for (auto it = std::sregex_iterator(page.begin(), page.end(), row);
         it != std::sregex_iterator(); ++it) {
        spikes.push_back({(*it)[1], (*it)[2], (*it)[3]});
    }
    return spikes;
}

struct FileRow {
    std::string href;
    std::string name;
    std::uintmax_t bytes = 0;
};

std::vector<FileRow> fileRows(const std::string& page) {
    std::vector<FileRow> rows;
    const std::regex row(R"re(<tr><td><a href="([^"]+)"><code>([^<]+)</code></a></td>.*?)re"
                         R"re(data-bytes="(\d+)")re");
    for (auto it = std::sregex_iterator(page.begin(), page.end(), row);
         it != std::sregex_iterator(); ++it) {
        rows.push_back({(*it)[1], (*it)[2], std::stoull((*it)[3])});
    }
    return rows;
}

// The files a user would look for beside the motion SDM after the run.
std::vector<std::string> outputsBesideTheSdm() {
    std::vector<std::string> names;
    for (const char* suffix :
         {"_spikes.sdm", "_detr.sdm", "_deriv.sdm", "_sqr.sdm", "_t1.sdm", "_t2.sdm", "_t1sqr.sdm",
          "_t2sqr.sdm", "_MaxAbsolute.nii", "_MeanAbsolute.nii", "_MeanRelative.nii",
          "_MaxRelative.nii", "_MaxAbsoluteX.nii", "_MaxAbsoluteY.nii", "_MaxAbsoluteZ.nii"}) {
        names.push_back(std::string("run_3DMC") + suffix);
    }
    return names;
}

TEST(Report, ThePageNamesEveryWrittenFileWithItsSize) {
    const ReportedRun run;
    ASSERT_EQ(run.host.exitCode, 0) << run.host.err;
    const std::string page = run.page();
    const auto rows = fileRows(page);
    for (const auto& name : outputsBesideTheSdm()) {
        const fs::path file = run.dir.path() / name;
        ASSERT_TRUE(fs::is_regular_file(file)) << name;
        const auto found = std::find_if(rows.begin(), rows.end(), [&](const FileRow& row) {
            return fs::path(row.name).filename() == name;
        });
        ASSERT_NE(found, rows.end()) << name << " is not listed";
        EXPECT_EQ(found->bytes, fs::file_size(file)) << name;
        EXPECT_TRUE(fs::equivalent(run.reportFolder() / pathFromUrl(found->href), file))
            << found->href;
    }
}

// The host lists what each task wrote beside the SDM; the page's files come from that list.
TEST(Report, TheTranscriptRecordsTheFilesEachTaskWrote) {
    const ReportedRun run;
    ASSERT_EQ(run.host.exitCode, 0) << run.host.err;
    std::map<std::string, std::vector<std::string>> written;
    for (const auto& event : run.host.transcript) {
        if (event.value("host", "") == "files written") {
            for (const auto& file : event["files"]) {
                written[event["task"]].push_back(
                    fs::path(file["path"].get<std::string>()).filename().string());
                // The harness's own output files are gone once the run has been read.
                const fs::path path = fs::path(run.dir.path()) / file["path"].get<std::string>();
                if (!path.filename().string().starts_with(".halvorn")) {
                    EXPECT_EQ(file["bytes"].get<std::uintmax_t>(), fs::file_size(path))
                        << file.dump();
                }
            }
        }
    }
    const auto has = [&](const std::string& task, const std::string& name) {
        const auto& files = written[task];
        return std::find(files.begin(), files.end(), name) != files.end();
    };
    for (const char* name :
         {"run_3DMC_detr.sdm", "run_3DMC_spikes.sdm", "run_3DMC_desc-confounds_timeseries.tsv",
          "run_3DMC_desc-confounds_timeseries.json"}) {
        EXPECT_TRUE(has("confound", name)) << name;
        EXPECT_FALSE(has("displacement", name)) << name;
    }
    EXPECT_TRUE(has("displacement", "run_3DMC_MaxAbsolute.nii"));
    EXPECT_FALSE(has("confound", "run_3DMC_MaxAbsolute.nii"));
    EXPECT_FALSE(has("confound", "run_3DMC.sdm")) << "read, not written";
    EXPECT_TRUE(written["select_3dmcsdm"].empty());
}

TEST(Report, TheSpikeTableHoldsTheSpikesOfTheLog) {
    const ReportedRun run;
    const auto logged = spikesInLog(run.host, "0.5");
    ASSERT_GE(logged.size(), 1U) << "the generated run has jumps above 0.5 mm";
    EXPECT_EQ(spikesInPage(run.page()), logged);
}

TEST(Report, EveryPictureIsAPngInTheFolderAndEveryLinkResolves) {
#if !defined(QUELMAR_HOST_PICTURES)
    GTEST_SKIP() << "this Halvorn.exe draws no pictures";
#endif
    const ReportedRun run;
    const std::string page = run.page();
    const auto sources = imageSources(page);
    int maps = 0;
    int plots = 0;
    for (const auto& source : sources) {
        EXPECT_EQ(source.find(':'), std::string::npos) << source << " is not relative";
        EXPECT_EQ(source.find('/'), std::string::npos) << source << " is not in the folder";
        EXPECT_TRUE(isPngFile(run.reportFolder() / pathFromUrl(source))) << source;
        maps += source.starts_with("map-") ? 1 : 0;
        plots += source.starts_with("plot-") ? 1 : 0;
    }
    EXPECT_EQ(maps, 7);
    // Both tasks draw the loaded motion; the page shows that picture once.
    EXPECT_EQ(plots, 3);
    for (const auto& target : linkTargets(page)) {
        if (target == "../.halvorn-transcript.jsonl") {
            continue; // the test harness's transcript, removed when the run has been read
        }
        if (target.starts_with("#")) {
            EXPECT_NE(page.find("id=\"" + target.substr(1) + "\""), std::string::npos) << target;
        } else {
            EXPECT_EQ(target.find(':'), std::string::npos) << target;
            EXPECT_TRUE(fs::is_regular_file(run.reportFolder() / pathFromUrl(target))) << target;
        }
    }
    EXPECT_EQ(page.find("http"), std::string::npos);
}

// The confound table's cells by column name, as text.
std::map<std::string, std::vector<std::string>> tableColumns(const fs::path& path) {
    std::istringstream in(readFile(path.string()));
    std::vector<std::string> names;
    std::map<std::string, std::vector<std::string>> columns;
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> cells;
        std::istringstream row(line);
        for (std::string cell; std::getline(row, cell, '\t');) {
            cells.push_back(cell);
        }
        if (names.empty()) {
            names = cells;
            continue;
        }
        for (std::size_t i = 0; i < cells.size() && i < names.size(); ++i) {
            columns[names[i]].push_back(cells[i]);
        }
    }
    return columns;
}

std::size_t countOf(const std::string& text, const std::string& part) {
    std::size_t found = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++found;
    }
    return found;
}

TEST(Report, HeadMotionIsReadFromTheConfoundTable) {
    const ReportedRun run;
    ASSERT_EQ(run.host.exitCode, 0) << run.host.err;
    const std::string page = run.page();
    const auto columns = tableColumns(run.dir.path() / "run_3DMC_desc-confounds_timeseries.tsv");
    ASSERT_EQ(columns.at("relative_rms").size(), 40U);

    // The volumes of the outlier columns are those of the log's spike lines.
    std::vector<std::string> flagged;
    for (std::size_t volume = 0; volume < 40; ++volume) {
        for (const auto& [name, cells] : columns) {
            if (name.starts_with("motion_outlier") && cells[volume] == "1") {
                flagged.push_back(std::to_string(volume));
                break;
            }
        }
    }
    std::vector<std::string> logged;
    for (const auto& spike : spikesInLog(run.host, "0.5")) {
        logged.push_back(spike.volume);
    }
    ASSERT_FALSE(flagged.empty());
    EXPECT_EQ(flagged, logged);
    std::string list;
    for (const auto& volume : flagged) {
        list += (list.empty() ? "" : ", ") + volume;
    }
    char percent[16];
    std::snprintf(percent, sizeof percent, "%.1f", 100.0 * flagged.size() / 40.0);
    EXPECT_NE(page.find("<b>" + std::to_string(flagged.size()) + " of 40 volumes flagged (" +
                        percent + "&nbsp;%)</b>: " + list + "</p>"),
              std::string::npos);

    // The largest relative RMS displacement, as the table holds it.
    double largest = 0.0;
    for (const auto& cell : columns.at("relative_rms")) {
        if (cell != "n/a") {
            largest = std::max(largest, std::stod(cell));
        }
    }
    char maximum[32];
    std::snprintf(maximum, sizeof maximum, "%.3f", largest);
    EXPECT_NE(page.find("<tr><td>relative RMS displacement <code>relative_rms</code></td>"),
              std::string::npos);
    EXPECT_NE(page.find("<td class=\"num\">" + std::string(maximum) + "</td></tr>"),
              std::string::npos)
        << maximum;
    EXPECT_NE(page.find("whose relative RMS displacement is above 0.5 mm"), std::string::npos);
    EXPECT_NE(page.find("href=\"../run_3DMC_desc-confounds_timeseries.tsv\""), std::string::npos);
    EXPECT_NE(page.find("href=\"../run_3DMC_desc-confounds_timeseries.json\""), std::string::npos);
}

TEST(Report, MotionPanelsArePngsOfTwiceTheirShownSize) {
#if !defined(QUELMAR_HOST_PICTURES)
    GTEST_SKIP() << "this Halvorn.exe draws no pictures";
#endif
    const ReportedRun run;
    const std::string page = run.page();
    const std::regex image(R"re(<img src="(run-01-motion-\d\.png)" alt="([^"]+)" width="(\d+)" )re"
                           R"re(height="(\d+)">)re");
    std::vector<std::string> titles;
    for (auto it = std::sregex_iterator(page.begin(), page.end(), image);
         it != std::sregex_iterator(); ++it) {
        titles.push_back((*it)[2]);
        const fs::path png = run.reportFolder() / (*it)[1].str();
        ASSERT_TRUE(isPngFile(png)) << png;
        const std::string bytes = readFile(png.string());
        const auto bigEndian = [&](std::size_t at) {
            return (static_cast<unsigned char>(bytes[at]) << 24) |
                   (static_cast<unsigned char>(bytes[at + 1]) << 16) |
                   (static_cast<unsigned char>(bytes[at + 2]) << 8) |
                   static_cast<unsigned char>(bytes[at + 3]);
        };
        EXPECT_EQ(bigEndian(16), 2 * std::stoi((*it)[3])) << png;
        EXPECT_EQ(bigEndian(20), 2 * std::stoi((*it)[4])) << png;
    }
    ASSERT_EQ(titles.size(), 3U);
    EXPECT_TRUE(titles[0].starts_with("Relative RMS and framewise displacement")) << titles[0];
    EXPECT_TRUE(titles[1].starts_with("Translations along x, y and z in mm")) << titles[1];
    EXPECT_TRUE(titles[2].starts_with("Rotations about x, y and z in degrees")) << titles[2];
}

// Every map picture of a run is drawn on one scale, up to the largest value of its maps, and
// the page says so.
TEST(Report, TheMapsOfARunShareOneStatedColourScale) {
#if !defined(QUELMAR_HOST_PICTURES)
    GTEST_SKIP() << "this Halvorn.exe draws no pictures";
#endif
    const ReportedRun run;
    const std::string page = run.page();
    double largest = 0.0;
    const std::regex caption(R"(\.nii</code>: largest ([0-9.e-]+) mm)");
    for (auto it = std::sregex_iterator(page.begin(), page.end(), caption);
         it != std::sregex_iterator(); ++it) {
        largest = std::max(largest, std::stod((*it)[1]));
    }
    ASSERT_GT(largest, 0.0);
    std::smatch scale;
    ASSERT_TRUE(std::regex_search(page, scale,
                                  std::regex(R"(Colour scale of every map below: 0 to (\S+) mm)")));
    EXPECT_DOUBLE_EQ(std::stod(scale[1]), largest);
    EXPECT_EQ(countOf(page, "Colour scale of every map below"), 1U);
    EXPECT_GE(countOf(page, "<div class=\"scalebar\"><i style=\"left:0.0%\">0</i>"), 1U);
}

// A document one volume longer than the motion SDM: the plug-in warns in a message box, and the
// page shows it above everything else, not only in the log.
TEST(Report, AWarningOfThePlugInStandsInABannerAtTheTop) {
    TempDir dir;
    const auto files = writeSmallRun(dir.path());
    const std::string fmr = readFile(files.fmr);
    writeFile(files.fmr,
              std::regex_replace(fmr, std::regex(R"(NrOfVolumes:(\s*)20)"), "NrOfVolumes:$0121"));
    const auto run = runHalvorn(
        {"--document", files.fmr, "--choose", files.sdm, "--report", "report", "select_3dmcsdm"},
        dir.path().string());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ASSERT_EQ(run.calls("ztMessageBox").size(), 1U);
    const std::string page = readFile((dir.path() / "report" / "index.html").string());
    const auto banner = page.find("<section class=\"banner\" id=\"warnings\"");
    ASSERT_NE(banner, std::string::npos);
    EXPECT_LT(banner, page.find("<section class=\"panel\" id=\"session\">"));
    EXPECT_NE(page.find("<code>select_3dmcsdm</code>: FMR and _3DMC.sdm don&apos;t have the same "
                        "number of volumes!</li>"),
              std::string::npos);
}

// What the getter made of "0.50" prints as "0.5"; the page shows what the user wrote.
TEST(Report, ParametersAreShownExactlyAsGiven) {
    const ReportedRun run({"--set", "spike_threshold=0.50", "--set", "fmr_threshold=1.5e2"});
    ASSERT_EQ(run.host.exitCode, 0) << run.host.err;
    const std::string page = run.page();
    EXPECT_NE(page.find("<code>spike_threshold</code></td><td><code>0.50</code>"),
              std::string::npos);
    EXPECT_NE(page.find("<code>fmr_threshold</code></td><td><code>1.5e2</code>"),
              std::string::npos);
    const auto spikes = spikesInPage(page);
    ASSERT_FALSE(spikes.empty());
    for (const auto& spike : spikes) {
        EXPECT_EQ(spike.threshold, "0.50");
    }
    for (const auto& call : run.host.calls("ztGetFloatParameter")) {
        if (call["name"] == "spike_threshold") {
            EXPECT_EQ(call["text"], "0.50") << call.dump();
        } else if (call["name"] == "fmr_threshold") {
            EXPECT_EQ(call["text"], "1.5e2") << call.dump();
        }
    }
}

TEST(Report, ThePageShowsTheLogAndTheTasks) {
    const ReportedRun run;
    const std::string page = run.page();
    for (const auto& text : run.host.logTexts()) {
        const auto start = text.find_first_not_of('\n');
        const auto end = text.find_last_not_of('\n');
        EXPECT_NE(page.find(escapedForHtml(text.substr(start, end - start + 1))), std::string::npos)
            << text;
    }
    for (const char* chip : {"select_3dmcsdm: done", "confound: done", "displacement: done"}) {
        EXPECT_NE(page.find(chip), std::string::npos) << chip;
    }
}

TEST(Report, PlotsDrawnElsewhereAreCopiedIntoTheReportFolder) {
#if !defined(QUELMAR_HOST_PICTURES)
    GTEST_SKIP() << "this Halvorn.exe draws no pictures";
#endif
    const ReportedRun run({"--plots", "plots"});
    const std::string page = run.page();
    const auto sources = imageSources(page);
    ASSERT_FALSE(sources.empty());
    for (const auto& source : sources) {
        EXPECT_TRUE(isPngFile(run.reportFolder() / pathFromUrl(source))) << source;
    }
    EXPECT_TRUE(fs::is_regular_file(run.dir.path() / "plots" / "plot-01-run_3DMC.sdm.svg"));
    EXPECT_NE(page.find("href=\"../plots/plot-01-run_3DMC.sdm.svg\""), std::string::npos);
}

// An MDM of two runs: each design matrix gets its own section with its own spikes, maps and
// files, in the order of the MDM.
TEST(Report, EachRunOfAnMdmHasItsOwnSection) {
    TempDir dir;
    std::vector<std::string> sdms;
    for (const std::string subject : {"sub-01", "sub-02"}) {
        fs::create_directory(dir.path() / subject);
        tools::RunSpec spec;
        spec.directory = (dir.path() / subject).string();
        spec.name = subject == "sub-01" ? "run1" : "run2";
        spec.sizeX = 8;
        spec.sizeY = 8;
        spec.sizeZ = 4;
        spec.volumes = 40;
        spec.seed = subject == "sub-01" ? 1 : 5;
        const auto files = tools::writeSyntheticRun(spec);
        sdms.push_back(files.sdm);
    }
    writeFile(dir.file("study.mdm"), mdmText(sdms));
    std::vector<std::string> arguments = {
        "--document", (dir.path() / "sub-01" / "run1.fmr").string(),
        "--set",      "sdmfile=study.mdm",
        "--report",   "report"};
    for (const auto& setting : everyOptionOn()) {
        arguments.push_back("--set");
        arguments.push_back(setting);
    }
    arguments.push_back("confound");
    arguments.push_back("displacement");
    const auto run = runHalvorn(arguments, dir.path().string());
    ASSERT_EQ(run.exitCode, 0) << run.err;

    // The log's spike lines, split at each "Saving SDMs".
    std::vector<std::vector<SpikeLine>> logged(1);
    const std::regex spike(R"(>  Found spike at position (\d+) with displacement (\S+) mm$)");
    for (const auto& text : run.logTexts()) {
        std::smatch match;
        if (std::regex_search(text, match, spike)) {
            logged.back().push_back({match[1], match[2], "0.5"});
        } else if (text.ends_with(">  Saving SDMs")) {
            logged.emplace_back();
        }
    }
    ASSERT_EQ(logged.size(), 3U);
    EXPECT_FALSE(logged[0].empty()) << "the first run has jumps above 0.5 mm";

    const std::string page = readFile(dir.file("report/index.html"));
    const auto second = page.find("<section class=\"run\" id=\"run-2\">");
    const auto session = page.find("<section class=\"panel\" id=\"session\">");
    ASSERT_NE(second, std::string::npos);
    ASSERT_NE(session, std::string::npos);
    const std::string first = page.substr(0, second);
    const std::string other = page.substr(second, session - second);
    EXPECT_NE(first.find("<h2>run1_3DMC.sdm</h2>"), std::string::npos);
    EXPECT_NE(other.find("<h2>run2_3DMC.sdm</h2>"), std::string::npos);
    EXPECT_EQ(spikesInPage(first), logged[0]);
    EXPECT_EQ(spikesInPage(other), logged[1]);
    // Each run's maps were released once saved; what the page shows of them was kept then.
    const auto count = [](const std::string& text, const std::string& part) {
        std::size_t found = 0;
        for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
            ++found;
        }
        return found;
    };
    std::vector<double> scales;
    for (const std::string& section : {first, other}) {
        EXPECT_EQ(count(section, ".nii</code>: largest "), 7U);
        // Each map is headed by the name of the file it was saved to.
        EXPECT_NE(section.find("alt=\"run"), std::string::npos);
#if defined(QUELMAR_HOST_PICTURES)
        EXPECT_EQ(count(section, "<img src=\"map-"), 7U);
        // Each run states the scale of its own maps: 0 to the largest of them.
        double largest = 0.0;
        const std::regex caption(R"(\.nii</code>: largest ([0-9.e-]+) mm)");
        for (auto it = std::sregex_iterator(section.begin(), section.end(), caption);
             it != std::sregex_iterator(); ++it) {
            largest = std::max(largest, std::stod((*it)[1]));
        }
        std::smatch scale;
        ASSERT_TRUE(std::regex_search(
            section, scale, std::regex(R"(Colour scale of every map below: 0 to (\S+) mm)")));
        EXPECT_DOUBLE_EQ(std::stod(scale[1]), largest);
        scales.push_back(largest);
#endif
    }
#if defined(QUELMAR_HOST_PICTURES)
    EXPECT_NE(scales[0], scales[1]) << "the runs move differently";
#endif
    for (const char* suffix : {"_detr.sdm", "_MaxAbsolute.nii", "_MaxAbsoluteZ.nii"}) {
        EXPECT_NE(first.find("run1_3DMC" + std::string(suffix) + "</code>"), std::string::npos)
            << suffix;
        EXPECT_EQ(first.find("run2_3DMC" + std::string(suffix)), std::string::npos) << suffix;
        EXPECT_NE(other.find("run2_3DMC" + std::string(suffix) + "</code>"), std::string::npos)
            << suffix;
    }
}

TEST(Report, FilesLeftFromAnEarlierRunAreNotClaimed) {
    TempDir dir;
    const auto files = writeSmallRun(dir.path());
    const fs::path stale = dir.path() / "run_3DMC_t2sqr.sdm";
    writeFile(stale.string(), "left over\r\n");
    fs::last_write_time(stale, fs::last_write_time(stale) - std::chrono::hours(2));

    const auto run = runHalvorn({"--document", files.fmr, "--set", "sdmfile=" + files.sdm, "--set",
                                 "create_detrended=1", "--report", "report", "confound"},
                                dir.path().string());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string page = readFile((dir.path() / "report" / "index.html").string());
    EXPECT_NE(page.find("run_3DMC_detr.sdm</code>"), std::string::npos);
    EXPECT_EQ(page.find("_t2sqr.sdm"), std::string::npos);
}

TEST(Report, AFailedTaskIsShownWithItsMessage) {
    TempDir dir;
    const auto files = writeSmallRun(dir.path());
    const auto run = runHalvorn({"--document", files.fmr, "--set", "sdmfile=missing_3DMC.sdm",
                                 "--report", "report", "confound"},
                                dir.path().string());
    EXPECT_EQ(run.exitCode, 1);
    const std::string page = readFile((dir.path() / "report" / "index.html").string());
    EXPECT_NE(page.find("confound: error"), std::string::npos);
    EXPECT_NE(page.find("[message box] Error: Failed opening for reading: missing_3DMC.sdm"),
              std::string::npos);
    // The design matrix the task named has its section, with the task's message in its log.
    EXPECT_NE(page.find("<code>missing_3DMC.sdm</code>"), std::string::npos);
}

TEST(Report, AReportFolderThatCannotBeMadeStopsTheRunBeforeThePlugIn) {
    TempDir dir;
    writeFile(dir.file("report"), "a file, not a folder");
    const auto run = runHalvorn({"--report", "report", "confound"}, dir.path().string());
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("cannot create the report folder report"), std::string::npos) << run.err;
    EXPECT_TRUE(run.calls("ztLogText").empty());
}

TEST(Report, AReportThatDoesNotFitOnTheDiskIsReportedAndNotCut) {
    TempDir dir;
    const auto files = writeSmallRun(dir.path());
    const std::vector<std::string> arguments = {
        "--document", files.fmr, "--set",   "sdmfile=" + files.sdm, "--set", "create_detrended=1",
        "--report",   "report",  "confound"};
    const auto whole = runHalvorn(arguments, dir.path().string());
    ASSERT_EQ(whole.exitCode, 0) << whole.err;
    constexpr std::uint64_t kLimit = 6 * 1024;
    ASSERT_GT(fs::file_size(dir.path() / "report" / "index.html"), kLimit);
    fs::remove_all(dir.path() / "report");

    const auto full = runHalvornUnder(withFileSizeLimit(kLimit), arguments, dir.path().string());
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_NE(full.err.find("Halvorn.exe: error: cannot write the report page report/index.html: "),
              std::string::npos)
        << full.err;
    EXPECT_TRUE(fs::is_empty(dir.path() / "report")) << "no page cut short, no temporary file";
}

// Without --transcript of its own, the run records one into the report folder (runHalvorn
// always asks for one, so Halvorn.exe is started directly here).
TEST(Report, WithoutATranscriptTheReportKeepsOneInItsFolder) {
    TempDir dir;
    const auto files = writeSmallRun(dir.path());
    const std::string command = "cd '" + dir.path().string() + "' && '" + halvornExecutable() +
                                "' --document '" + files.fmr +
                                "' --report report --set sdmfile=none.sdm confound >out 2>err";
    ASSERT_EQ(std::system(command.c_str()), 256) << "the missing SDM makes the run exit with 1";
    EXPECT_TRUE(fs::is_regular_file(dir.path() / "report" / "transcript.jsonl"));
    const std::string page = readFile((dir.path() / "report" / "index.html").string());
    EXPECT_NE(page.find("href=\"transcript.jsonl\""), std::string::npos);
}

} // namespace
} // namespace qm::test
