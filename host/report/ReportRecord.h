// What a run of Halvorn.exe did, as the report tells it: the tasks, and for every motion design
// matrix the tasks worked on (a "motion run") its log, plots, spikes and saved maps. Built from
// the transcript of host calls by ReportTranscript.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace halvorn_host {

struct ReportLogEntry {
    enum class Kind { Log, MessageBox, HostError };
    Kind kind = Kind::Log;
    std::string task; // the task that was running; empty outside tasks
    std::string text; // without the line breaks around it
};

// A volume the confound task flagged as a spike, from its confound table.
struct SpikeRow {
    std::int32_t volume = 0;  // 0-based, as in the spike predictors' names
    std::string displacement; // in millimetres, of the measure the threshold applies to
};

// How the confound task looked for spikes: the parameters it read.
struct SpikeSettings {
    std::string threshold; // "spike_threshold" as the plug-in read it, in millimetres
    std::string measure;   // "spike_measure" as the plug-in read it; empty when it read none
    bool searched = false; // "create_spikes" was read and not 0
};

// The spikes of a design matrix: the settings, and the volumes its confound table flags.
struct SpikeSearch {
    std::string threshold;
    std::string measure;
    std::vector<SpikeRow> spikes;
};

// One ztSaveMAPsOfCurrentFMR that wrote a file: the maps firstMap .. firstMap + mapCount - 1 of
// the document, in creation order.
struct MapSave {
    std::string path; // as the plug-in gave it (NAME.map)
    std::string file; // the file written (NAME.nii); the path when the transcript does not say
    std::size_t firstMap = 0;
    std::size_t mapCount = 0;
};

// A plot window that a task drew for the design matrix.
struct RunPlot {
    int number = 0; // the plot's number, 1, 2, ... in creation order
    std::string task;
};

struct MotionRunRecord {
    std::string sdmPath;
    std::vector<std::string> tasks; // each task once, in the order they worked on it
    std::vector<ReportLogEntry> log;
    // Tasks whose log lines stay in the whole log only: they worked on several design matrices.
    std::vector<std::string> sharedLogTasks;
    std::vector<RunPlot> plots;
    std::optional<SpikeSettings> spikeSettings; // when a confound task worked on it
    std::vector<MapSave> maps;
};

struct TaskRecord {
    std::string task;
    bool errorShown = false; // an "Error: " message box or a host error during the task
};

// A file the host saw appear or change beside the motion design matrices during a task.
struct WrittenFileRecord {
    std::string task;
    std::string path;
    std::uintmax_t bytes = 0;
};

struct SessionRecord {
    std::string pluginName;
    std::string pluginVersion;
    std::optional<std::string> fmrPath;     // the current document, when the plug-in asked
    std::optional<std::string> fmrGeometry; // "64 x 64 x 30 voxels of 3 x 3 x 3 mm, 200 volumes"
    std::vector<TaskRecord> tasks;
    std::vector<MotionRunRecord> runs;
    // Plots of tasks that worked on several design matrices, when they do not share out evenly.
    std::vector<RunPlot> sharedPlots;
    std::vector<ReportLogEntry> log; // every log text, message box and host error, in order
    std::vector<WrittenFileRecord> filesWritten; // in the order recorded
    // Every parameter the plug-in read, in the order first read, with the value it got last.
    std::vector<std::pair<std::string, std::string>> parametersRead;
};

} // namespace halvorn_host
