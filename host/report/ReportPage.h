// The report page as the HTML writer sees it: everything resolved to texts, links and sizes, so
// that writing the markup (ReportHtml.cpp) needs neither the host nor the disk.
#pragma once

#include "ReportRecord.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace halvorn_host {

struct PageImage {
    std::string href; // relative to the page
    std::string caption;
    int width = 0; // pixels; 0 when unknown
    int height = 0;
};

struct PageFile {
    std::string name; // as the user knows it: the path the plug-in or host used
    std::string href; // relative to the page
    std::string contents;
    std::uintmax_t bytes = 0;
};

struct PageMap {
    std::string heading; // what the map measures
    std::string fileName;
    std::optional<PageImage> picture; // none when this build draws no pictures
    float maximum = 0.0F;             // millimetres
    float meanInMask = 0.0F;          // over the voxels with a value above 0
    std::size_t voxelsInMask = 0;
};

// One series of the confound table in numbers, each as text in millimetres.
struct PageSeriesSummary {
    std::string name;   // what it measures
    std::string column; // its column in the confound table
    std::string mean;
    std::string median;
    std::string maximum;
};

// The quality-control section of a run, from its confound table and the threshold the confound
// task read.
struct PageMotionQc {
    std::string tableName; // file name of the confound table
    std::size_t volumes = 0;
    std::vector<PageSeriesSummary> summaries;
    std::vector<std::size_t> flaggedVolumes; // counted from 0
    std::string flaggedPercent;              // of all volumes, one decimal
    std::optional<std::string> threshold;    // millimetres, as the plug-in read it
    std::string thresholdMeasure;            // the series the threshold applies to
    std::vector<PageImage> panels;           // none when this build draws no pictures
};

struct PageScaleTick {
    std::string label;   // millimetres
    std::string percent; // position along the bar
};

// The one colour scale of all map pictures of a run.
struct PageMapScale {
    std::string maximum; // millimetres
    std::vector<PageScaleTick> ticks;
};

struct PageRun {
    std::string anchor; // id of the run's section
    std::string name;   // file name of the motion design matrix
    std::string sdmPath;
    std::vector<std::string> tasks;
    std::optional<std::int32_t> volumes;
    std::vector<PageImage> plots;
    std::optional<SpikeSearch> spikeSearch; // from the confound table, when it was read
    bool noConfoundTable = false; // spikes were searched, but no confound table tells them
    std::optional<std::string> spikeFileName; // the "_spikes" file, when one was written
    std::optional<PageMotionQc> motionQc;
    std::optional<std::string> motionQcProblem; // why the confound table could not be shown
    std::vector<PageMap> maps;
    std::optional<PageMapScale> mapScale;
    std::vector<PageFile> files;
    std::vector<ReportLogEntry> log;
    std::vector<std::string> sharedLogTasks; // whose log is in the whole log only
};

struct ReportPage {
    std::string pluginName;
    std::string pluginVersion;
    std::optional<std::string> fmrPath;
    std::optional<std::string> fmrGeometry;
    std::vector<TaskRecord> tasks;
    std::vector<PageRun> runs;
    std::vector<ReportLogEntry> log;
    std::vector<std::pair<std::string, std::string>> parametersRead;
    std::vector<PageFile> sessionFiles;  // files of the whole run, such as the transcript
    std::vector<PageImage> sessionPlots; // plots not tied to one design matrix
};

} // namespace halvorn_host
