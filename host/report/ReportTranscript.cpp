#include "ReportTranscript.h"

#include "MotionLoader.h"
#include "MultiStudyDesignMatrix.h"
#include "NumberText.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace halvorn_host {
namespace {

using json = nlohmann::json;

constexpr std::string_view kMessageStart = ">  ";

// The plug-in writes its name, then the message from ">  " on; the report matches messages.
std::string_view messageOf(std::string_view text) {
    const auto start = text.find(kMessageStart);
    return start == std::string_view::npos ? std::string_view{} : text.substr(start);
}

// Log texts may carry line breaks around them (the plug-in's first and last lines do).
std::string trimmedLines(std::string_view text) {
    const auto first = text.find_first_not_of("\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of("\r\n");
    return std::string(text.substr(first, last - first + 1));
}

// How the events of one analysis task split into its motion design matrices: an opening event
// starts the next design matrix once the previous one has seen its closing line.
struct TaskMarkers {
    std::vector<std::string_view> openingMessages;
    std::string_view closingMessage;
};

std::optional<TaskMarkers> markersOf(const std::string& task) {
    if (task == "confound") {
        return TaskMarkers{{">  Detecting Spikes", ">  Saving SDMs"}, ">  Saving SDMs"};
    }
    if (task == "displacement") {
        return TaskMarkers{{">  Start calculating voxel specific motion in", ">  Saving Maps"},
                           ">  Saving Maps"};
    }
    return std::nullopt;
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

    SessionRecord finish() { return std::move(record_); }

private:
    void addHostEvent(const std::string& event, const json& entry) {
        if (event == "loaded") {
            record_.pluginName = stringField(entry, "getPluginName");
            record_.pluginVersion = stringField(entry, "getPluginVersion");
        } else if (event == "execute") {
            startTask(stringField(entry, "task"));
        } else if (event == "execute returned") {
            task_.reset();
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
            addLogText(stringField(entry, "text"));
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
            if (markers_ && plot != entry.end() && plot->is_number_integer()) {
                openRunIfClosed();
                currentRun().plots.push_back({plot->get<int>(), *task_});
            }
        } else if (call == "ztSaveMAPsOfCurrentFMR") {
            addMapSave(entry);
        }
    }

    void startTask(const std::string& task) {
        record_.tasks.push_back({task, false});
        task_ = task;
        markers_ = markersOf(task);
        sdmfile_.reset();
        motionFiles_.reset();
        runOfTask_ = -1;
        runClosed_ = false;
        currentRunIndex_.reset();
        spikeThreshold_.clear();
        spikeMeasure_.clear();
    }

    void markError() {
        if (task_ && !record_.tasks.empty()) {
            record_.tasks.back().errorShown = true;
        }
    }

    bool runOpen() const { return currentRunIndex_.has_value() && !runClosed_; }

    MotionRunRecord& currentRun() { return record_.runs[*currentRunIndex_]; }

    // Starts the task's next motion design matrix unless one is open.
    void openRunIfClosed() {
        if (runOpen()) {
            return;
        }
        ++runOfTask_;
        runClosed_ = false;
        if (!motionFiles_) {
            motionFiles_ = sdmfile_ ? listMotionFiles_(*sdmfile_) : std::vector<std::string>{};
        }
        const auto index = static_cast<std::size_t>(runOfTask_);
        const std::string sdmPath = index < motionFiles_->size()
                                        ? (*motionFiles_)[index]
                                        : "motion design matrix " + std::to_string(index + 1) +
                                              " of " + sdmfile_.value_or("an unknown sdmfile");
        auto found =
            std::find_if(record_.runs.begin(), record_.runs.end(),
                         [&](const MotionRunRecord& run) { return run.sdmPath == sdmPath; });
        if (found == record_.runs.end()) {
            record_.runs.push_back({});
            record_.runs.back().sdmPath = sdmPath;
            found = record_.runs.end() - 1;
        }
        currentRunIndex_ = static_cast<std::size_t>(found - record_.runs.begin());
        auto& tasks = found->tasks;
        if (std::find(tasks.begin(), tasks.end(), *task_) == tasks.end()) {
            tasks.push_back(*task_);
        }
    }

    void addLogEntry(ReportLogEntry::Kind kind, const std::string& text) {
        ReportLogEntry entry{kind, task_.value_or(""), trimmedLines(text)};
        if (entry.text.empty()) {
            return;
        }
        record_.log.push_back(entry);
        if (runOpen()) {
            currentRun().log.push_back(std::move(entry));
        }
    }

    void addLogText(const std::string& text) {
        const std::string_view message = messageOf(text);
        if (markers_ && !message.empty()) {
            const bool opening =
                std::any_of(markers_->openingMessages.begin(), markers_->openingMessages.end(),
                            [&](std::string_view marker) { return message.starts_with(marker); });
            if (opening) {
                openRunIfClosed();
            }
        }
        addLogEntry(ReportLogEntry::Kind::Log, text);
        if (!runOpen() || message.empty()) {
            return;
        }
        MotionRunRecord& run = currentRun();
        if (*task_ == "confound" && message.starts_with(">  Detecting Spikes")) {
            run.spikeSearch = SpikeSearch{spikeThreshold_, spikeMeasure_, {}};
        } else if (auto spike = parseSpikeLine(message)) {
            if (!run.spikeSearch) {
                run.spikeSearch = SpikeSearch{spikeThreshold_, spikeMeasure_, {}};
            }
            run.spikeSearch->spikes.push_back(std::move(*spike));
        }
        if (message.starts_with(markers_->closingMessage)) {
            runClosed_ = true;
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
            sdmfile_ = text;
            motionFiles_.reset();
        } else if (name == "spike_threshold") {
            spikeThreshold_ = text;
        } else if (name == "spike_measure") {
            spikeMeasure_ = text;
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
    // file or not; only those that did are shown.
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
        if (currentRunIndex_) {
            currentRun().maps.push_back(std::move(save));
        }
    }

    const MotionFileLister& listMotionFiles_;
    SessionRecord record_;
    std::optional<std::string> task_;
    std::optional<TaskMarkers> markers_;
    std::optional<std::string> sdmfile_;
    std::optional<std::vector<std::string>> motionFiles_;
    int runOfTask_ = -1; // which design matrix of the task's list is being handled
    bool runClosed_ = false;
    std::optional<std::size_t> currentRunIndex_;
    std::string spikeThreshold_;
    std::string spikeMeasure_;
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

std::optional<SpikeRow> parseSpikeLine(std::string_view text) {
    constexpr std::string_view kStart = ">  Found spike at position ";
    constexpr std::string_view kMiddle = " with displacement ";
    constexpr std::string_view kEnd = " mm";
    const auto start = text.find(kStart);
    if (start == std::string_view::npos || !text.ends_with(kEnd)) {
        return std::nullopt;
    }
    const char* cursor = text.data() + start + kStart.size();
    const char* end = text.data() + text.size() - kEnd.size();
    SpikeRow row;
    const auto parsed = std::from_chars(cursor, end, row.volume);
    if (parsed.ec != std::errc() || std::string_view(parsed.ptr, end).find(kMiddle) != 0) {
        return std::nullopt;
    }
    row.displacement.assign(parsed.ptr + kMiddle.size(), end);
    double value = 0.0;
    const char* first = row.displacement.data();
    const char* last = first + row.displacement.size();
    const auto number = std::from_chars(first, last, value);
    if (row.displacement.empty() || number.ec != std::errc() || number.ptr != last) {
        return std::nullopt;
    }
    return row;
}

std::string formatLikeLog(float value) {
    return numberText(value, std::chars_format::general, 6);
}

} // namespace halvorn_host
