#include "ReportTranscript.h"

#include "DesignMatrixOfFile.h"
#include "MotionLoader.h"
#include "MultiStudyDesignMatrix.h"
#include "NumberText.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace halvorn_host {
namespace {

using json = nlohmann::json;

// Log texts may carry line breaks around them (the plug-in's first and last lines do).
std::string trimmedLines(std::string_view text) {
    const auto first = text.find_first_not_of("\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of("\r\n");
    return std::string(text.substr(first, last - first + 1));
}

std::string stringField(const json& entry, const char* key) {
    const auto found = entry.find(key);
    return found != entry.end() && found->is_string() ? found->get<std::string>() : std::string{};
}

std::string valueText(const json& value) {
    if (value.is_string()) {
        return value.get<std::string>();
    }
    if (value.is_number_integer()) {
        return std::to_string(value.get<std::int64_t>());
    }
    if (value.is_number()) {
        return formatLikeLog(value.get<float>());
    }
    return value.dump();
}

class SessionBuilder {
public:
    explicit SessionBuilder(const MotionFileLister& listMotionFiles)
        : listMotionFiles_(listMotionFiles) {}

    void add(const json& entry) {
        if (!entry.is_object()) {
            return;
        }
        const std::string host = stringField(entry, "host");
        if (!host.empty()) {
            addHostEvent(host, entry);
        } else {
            addCall(stringField(entry, "call"), entry);
        }
    }

    SessionRecord finish() {
        finishTask();
        return std::move(record_);
    }

private:
    void addHostEvent(const std::string& event, const json& entry) {
        if (event == "loaded") {
            record_.pluginName = stringField(entry, "getPluginName");
            record_.pluginVersion = stringField(entry, "getPluginVersion");
        } else if (event == "execute") {
            startTask(stringField(entry, "task"));
        } else if (event == "execute returned") {
            finishTask();
        } else if (event == "files written") {
            addFilesWritten(entry);
        } else if (event == "error") {
            addLogEntry(ReportLogEntry::Kind::HostError, stringField(entry, "text"));
            markError();
        }
    }

    void addFilesWritten(const json& entry) {
        const auto files = entry.find("files");
        if (files == entry.end() || !files->is_array()) {
            return;
        }
        const std::string task = stringField(entry, "task");
        for (const auto& file : *files) {
            const auto bytes = file.is_object() ? file.find("bytes") : file.end();
            const std::string path = file.is_object() ? stringField(file, "path") : "";
            if (path.empty() || bytes == file.end() || !bytes->is_number_integer() ||
                bytes->get<std::int64_t>() < 0) {
                continue;
            }
            record_.filesWritten.push_back({task, path, bytes->get<std::uintmax_t>()});
        }
    }

    void addCall(const std::string& call, const json& entry) {
        if (call == "ztLogText") {
            addLogEntry(ReportLogEntry::Kind::Log, stringField(entry, "text"));
        } else if (call == "ztMessageBox") {
            const std::string text = stringField(entry, "text");
            addLogEntry(ReportLogEntry::Kind::MessageBox, text);
            if (text.starts_with("Error: ")) {
                markError();
            }
        } else if (call == "ztGetStringParameter" || call == "ztGetIntParameter" ||
                   call == "ztGetFloatParameter") {
            addParameterRead(entry);
        } else if (call == "ztGetHeaderOfCurrentFMR") {
            addDocumentHeader(entry);
        } else if (call == "ztPlotLine") {
            const auto plot = entry.find("plot");
            if (task_ && plot != entry.end() && plot->is_number_integer()) {
                taskPlots_.push_back({plot->get<int>(), *task_});
            }
        } else if (call == "ztSaveMAPsOfCurrentFMR") {
            addMapSave(entry);
        }
    }

    void startTask(const std::string& task) {
        finishTask();
        record_.tasks.push_back({task, false});
        task_ = task;
    }

    // What the task did that the transcript does not tie to one design matrix (its log lines
    // and plots) goes to the design matrix when the task had only one. Of several, each gets an
    // equal share of the plots in order when they divide evenly, since a task draws the same
    // plots for each design matrix it handles, one after the other; the log stays whole.
    void finishTask() {
        if (!task_) {
            return;
        }
        if (taskRuns_.size() == 1) {
            MotionRunRecord& run = record_.runs[taskRuns_.front()];
            run.log.insert(run.log.end(), taskLog_.begin(), taskLog_.end());
            run.plots.insert(run.plots.end(), taskPlots_.begin(), taskPlots_.end());
        } else if (!taskRuns_.empty()) {
            for (const std::size_t index : taskRuns_) {
                auto& tasks = record_.runs[index].sharedLogTasks;
                if (std::find(tasks.begin(), tasks.end(), *task_) == tasks.end()) {
                    tasks.push_back(*task_);
                }
            }
        }
        if (taskRuns_.size() > 1 && taskPlots_.size() % taskRuns_.size() == 0) {
            const std::size_t share = taskPlots_.size() / taskRuns_.size();
            for (std::size_t i = 0; i < taskPlots_.size(); ++i) {
                auto& plots = record_.runs[taskRuns_[i / share]].plots;
                plots.push_back(taskPlots_[i]);
            }
        } else if (taskRuns_.size() != 1) {
            auto& shared = record_.sharedPlots;
            shared.insert(shared.end(), taskPlots_.begin(), taskPlots_.end());
        }
        if (*task_ == "confound") {
            for (const std::size_t index : taskRuns_) {
                record_.runs[index].spikeSettings =
                    SpikeSettings{spikeThreshold_, spikeMeasure_, spikesSearched_};
            }
        }
        task_.reset();
        taskRuns_.clear();
        taskLog_.clear();
        taskPlots_.clear();
        spikeThreshold_.clear();
        spikeMeasure_.clear();
        spikesSearched_ = false;
    }

    void markError() {
        if (task_ && !record_.tasks.empty()) {
            record_.tasks.back().errorShown = true;
        }
    }

    // One run per design matrix the task's "sdmfile" names, in the order named; a design
    // matrix that an earlier task named already keeps its run.
    void listRunsOfTask(const std::string& sdmfile) {
        taskRuns_.clear();
        for (const std::string& sdmPath : listMotionFiles_(sdmfile)) {
            auto found =
                std::find_if(record_.runs.begin(), record_.runs.end(),
                             [&](const MotionRunRecord& run) { return run.sdmPath == sdmPath; });
            if (found == record_.runs.end()) {
                record_.runs.push_back({});
                record_.runs.back().sdmPath = sdmPath;
                found = record_.runs.end() - 1;
            }
            auto& tasks = found->tasks;
            if (std::find(tasks.begin(), tasks.end(), *task_) == tasks.end()) {
                tasks.push_back(*task_);
            }
            const auto index = static_cast<std::size_t>(found - record_.runs.begin());
            if (std::find(taskRuns_.begin(), taskRuns_.end(), index) == taskRuns_.end()) {
                taskRuns_.push_back(index);
            }
        }
    }

    void addLogEntry(ReportLogEntry::Kind kind, const std::string& text) {
        ReportLogEntry entry{kind, task_.value_or(""), trimmedLines(text)};
        if (entry.text.empty()) {
            return;
        }
        record_.log.push_back(entry);
        if (task_) {
            taskLog_.push_back(std::move(entry));
        }
    }

    void addParameterRead(const json& entry) {
        const std::string name = stringField(entry, "name");
        const auto value = entry.find("value");
        if (name.empty() || value == entry.end()) {
            return;
        }
        // The text as given, when it was given: what the getter made of it may print otherwise.
        const auto given = entry.find("text");
        const std::string text = given != entry.end() && given->is_string()
                                     ? given->get<std::string>()
                                     : valueText(*value);
        auto& read = record_.parametersRead;
        auto found = std::find_if(read.begin(), read.end(),
                                  [&](const auto& parameter) { return parameter.first == name; });
        if (found == read.end()) {
            read.emplace_back(name, text);
        } else {
            found->second = text;
        }
        if (name == "sdmfile" && task_) {
            listRunsOfTask(text);
        } else if (name == "spike_threshold") {
            spikeThreshold_ = text;
        } else if (name == "spike_measure") {
            spikeMeasure_ = text;
        } else if (name == "create_spikes") {
            spikesSearched_ = text != "0";
        }
    }

    void addDocumentHeader(const json& entry) {
        record_.fmrPath = stringField(entry, "fmrPath");
        const auto number = [&](const char* key) {
            const auto found = entry.find(key);
            return found != entry.end() && found->is_number() ? valueText(*found)
                                                              : std::string("?");
        };
        record_.fmrGeometry = number("dimX") + " x " + number("dimY") + " x " + number("dimZ") +
                              " voxels of " + number("voxelSizeX") + " x " + number("voxelSizeY") +
                              " x " + number("voxelSizeZ") + " mm, " + number("nrOfVolumes") +
                              " volumes";
    }

    // Every save attempt takes the maps created since the previous one, whether it wrote its
    // file or not; only those that did are shown, under the design matrix they were saved
    // beside.
    void addMapSave(const json& entry) {
        const auto maps = entry.find("maps");
        const auto result = entry.find("result");
        if (maps == entry.end() || !maps->is_number_integer() || maps->get<std::int64_t>() < 0) {
            return;
        }
        const std::size_t first = mapsTaken_;
        mapsTaken_ += maps->get<std::size_t>();
        if (result == entry.end() || *result != 1) {
            return;
        }
        const std::string path = stringField(entry, "path");
        const std::string file = stringField(entry, "file");
        MapSave save{path, file.empty() ? path : file, first, maps->get<std::size_t>()};
        std::vector<std::string> designMatrices;
        for (const std::size_t index : taskRuns_) {
            designMatrices.push_back(record_.runs[index].sdmPath);
        }
        if (const auto found = designMatrixOfOutput(path, designMatrices)) {
            record_.runs[taskRuns_[*found]].maps.push_back(std::move(save));
        }
    }

    const MotionFileLister& listMotionFiles_;
    SessionRecord record_;
    std::optional<std::string> task_;
    std::vector<std::size_t> taskRuns_; // the runs of the design matrices the task named
    std::vector<ReportLogEntry> taskLog_;
    std::vector<RunPlot> taskPlots_;
    std::string spikeThreshold_;
    std::string spikeMeasure_;
    bool spikesSearched_ = false;
    std::size_t mapsTaken_ = 0;
};

} // namespace

std::vector<std::string> listMotionDesignMatrices(const std::string& sdmfile) {
    if (qm::endsWithExtension(sdmfile, "sdm")) {
        return {sdmfile};
    }
    if (qm::endsWithExtension(sdmfile, "mdm")) {
        try {
            return qm::MultiStudyDesignMatrix(sdmfile).designMatrixFiles;
        } catch (const std::exception&) {
            return {}; // the task itself reported why it could not read the MDM
        }
    }
    return {};
}

std::vector<json> readTranscriptFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read the transcript " + path);
    }
    std::ostringstream text;
    text << in.rdbuf();
    return readTranscriptText(text.str(), path);
}

std::vector<json> readTranscriptText(const std::string& text, const std::string& name) {
    std::vector<json> entries;
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (line.empty()) {
            continue;
        }
        try {
            entries.push_back(json::parse(line));
        } catch (const json::exception& error) {
            throw std::runtime_error("the transcript " + name + " is not JSON Lines at line " +
                                     std::to_string(number) + ": " + error.what());
        }
    }
    return entries;
}

SessionRecord recordSession(const std::vector<json>& entries,
                            const MotionFileLister& listMotionFiles) {
    SessionBuilder builder(listMotionFiles);
    for (const auto& entry : entries) {
        builder.add(entry);
    }
    return builder.finish();
}

std::string formatLikeLog(float value) {
    return numberText(value, std::chars_format::general, 6);
}

} // namespace halvorn_host
