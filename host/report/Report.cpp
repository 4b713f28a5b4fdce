#include "Report.h"

#include "ConfoundTable.h"
#include "DesignMatrix.h"
#include "DesignMatrixOfFile.h"
#include "HostSession.h"
#include "MotionLoader.h"
#include "OutputFiles.h"
#include "PathHelpers.h"
#include "ReportConfoundSeries.h"
#include "ReportHtml.h"
#include "ReportMotionQc.h"
#include "ReportPage.h"
#include "ReportQcSection.h"
#include "ReportTranscript.h"
#include "ReportUrl.h"
#if defined(QUELMAR_HOST_PICTURES)
#include "ReportMontage.h"
#include "ReportMotionPanels.h"
#endif

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <fstream>
#include <iterator>
#include <map>
#include <span>
#include <stdexcept>

namespace halvorn_host {
namespace {

namespace fs = std::filesystem;

#if defined(QUELMAR_HOST_PICTURES)
// "07", "12", "123": numbers in file names sort as text up to 99.
std::string twoDigits(std::size_t number) {
    std::string text = std::to_string(number);
    return std::string(2 - std::min<std::size_t>(2, text.size()), '0') + text;
}

// Letters, digits and ". _ - +" stay; anything else would be awkward in a file name or URL.
std::string safeFileName(const std::string& name) {
    std::string safe = name;
    for (char& c : safe) {
        const auto byte = static_cast<unsigned char>(c);
        const bool keep = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                          (byte >= '0' && byte <= '9') || c == '.' || c == '_' || c == '-' ||
                          c == '+';
        if (!keep) {
            c = '_';
        }
    }
    return safe;
}
#endif

struct MapStatistics {
    float maximum = 0.0F;
    float meanInMask = 0.0F;
    std::size_t voxelsInMask = 0;
};

// Voxels outside the brain mask hold 0; the mean is over the others, summed in index order.
MapStatistics mapStatistics(std::span<const float> values) {
    MapStatistics statistics;
    double sum = 0.0;
    for (const float value : values) {
        if (std::isfinite(value) && value > 0.0F) {
            statistics.maximum = std::max(statistics.maximum, value);
            sum += value;
            ++statistics.voxelsInMask;
        }
    }
    if (statistics.voxelsInMask > 0) {
        statistics.meanInMask =
            static_cast<float>(sum / static_cast<double>(statistics.voxelsInMask));
    }
    return statistics;
}

// Width and height from a PNG's header; zeros when the file is no PNG.
std::pair<int, int> pngSize(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    unsigned char header[24] = {};
    if (!in.read(reinterpret_cast<char*>(header), sizeof header) || header[1] != 'P' ||
        header[2] != 'N' || header[3] != 'G') {
        return {0, 0};
    }
    const auto bigEndian = [&](int offset) {
        return static_cast<int>(
            (std::uint32_t{header[offset]} << 24) | (std::uint32_t{header[offset + 1]} << 16) |
            (std::uint32_t{header[offset + 2]} << 8) | std::uint32_t{header[offset + 3]});
    };
    return {bigEndian(16), bigEndian(20)};
}

std::optional<std::int32_t> volumesOf(const std::string& sdmPath) {
    try {
        const qm::DesignMatrix matrix(sdmPath);
        return matrix.nrOfDataPoints.value;
    } catch (const std::exception&) {
        return std::nullopt; // the tasks reported what was wrong with it
    }
}

#if defined(QUELMAR_HOST_PICTURES)
std::optional<PageImage> drawMapPicture(const fs::path& directory, HostSession& host,
                                        const KeptMap& kept) {
    if (kept.pictureName.empty()) {
        return std::nullopt;
    }
    const MapGrid grid{kept.dimensions, kept.voxelSize, kept.values};
    const std::string path = (directory / kept.pictureName).string();
    try {
        const MontagePicture picture =
            drawMapMontage(grid, static_cast<float>(kept.scale), kept.heading);
        writeOutputFile(path, picture.png);
        return PageImage{urlFromRelativePath(kept.pictureName), kept.heading, picture.width,
                         picture.height};
    } catch (const OutputFileError& error) {
        reportOutputFailure(host, "the map picture", error);
    } catch (const std::exception& error) {
        reportOutputFailure(host, "the map picture", OutputFileError(path, error.what()));
    }
    return std::nullopt;
}
#endif

class PageBuilder {
public:
    PageBuilder(const fs::path& directory, const SessionRecord& record, HostSession& host,
                const std::map<std::size_t, KeptMap>& keptMaps)
        : directory_(fs::absolute(directory)), written_(record.filesWritten), host_(host),
          keptMaps_(keptMaps) {
        for (const auto& run : record.runs) {
            designMatrices_.push_back(run.sdmPath);
        }
    }

    PageRun run(const MotionRunRecord& record, std::size_t index) {
        PageRun run;
        shownPlots_.clear();
        run.anchor = "run-" + std::to_string(index + 1);
        run.name = qm::fileNamePart(record.sdmPath);
        run.sdmPath = record.sdmPath;
        run.tasks = record.tasks;
        run.volumes = volumesOf(record.sdmPath);
        run.log = record.log;
        run.sharedLogTasks = record.sharedLogTasks;
        addWrittenFiles(record, run);
        if (record.spikeSettings) {
            addMotionQc(record, index, run);
        }
        std::optional<double> mapScale;
        for (const auto& save : record.maps) {
            addMaps(save, run, mapScale);
        }
        if (mapScale) {
            run.mapScale = mapScaleOf(*mapScale);
        }
        for (const auto& plot : record.plots) {
            addPlot(plot, run);
        }
        return run;
    }

    // The plots no design matrix could be told for, with their files.
    PageRun sharedPlots(const std::vector<RunPlot>& plots) {
        PageRun shared;
        shownPlots_.clear();
        for (const auto& plot : plots) {
            addPlot(plot, shared);
        }
        return shared;
    }

    std::optional<PageFile> file(const std::string& name, const std::string& contents) const {
        std::error_code error;
        const auto bytes = fs::file_size(name, error);
        if (error) {
            return std::nullopt;
        }
        return PageFile{name, href(name), contents, bytes};
    }

private:
    std::string href(const fs::path& target) const {
        std::error_code error;
        const fs::path relative = fs::relative(fs::absolute(target), directory_, error);
        if (error || relative.empty()) {
            return "file://" + urlFromRelativePath(fs::absolute(target).generic_string());
        }
        return urlFromRelativePath(relative.generic_string());
    }

    static fs::path normalized(const fs::path& path) {
        return fs::absolute(path).lexically_normal();
    }

    bool written(const fs::path& path) const {
        const fs::path target = normalized(path);
        return std::any_of(written_.begin(), written_.end(), [&](const WrittenFileRecord& file) {
            return normalized(file.path) == target;
        });
    }

    // What a written file holds, from the file itself where it tells.
    std::string contentsOf(const fs::path& path, const std::string& task, const PageRun& run,
                           bool& spikes) const {
        const qm::ConfoundTableFiles table = qm::confoundTableFiles(run.sdmPath);
        if (normalized(path) == normalized(table.table)) {
            return "confound table: one row per volume, tab-separated";
        }
        if (normalized(path) == normalized(table.sidecar)) {
            return "what each column of the confound table holds (JSON)";
        }
        if (qm::endsWithExtension(path.string(), "sdm")) {
            try {
                const qm::DesignMatrix matrix(path.string());
                const auto& names = matrix.predictorNames;
                spikes = !names.empty() &&
                         std::all_of(names.begin(), names.end(), [](const std::string& name) {
                             return name.starts_with("Spike");
                         });
                std::string contents =
                    "design matrix of " + std::to_string(names.size()) + " predictors";
                for (std::size_t i = 0; i < names.size() && i < 3; ++i) {
                    contents += (i == 0 ? ": " : ", ") + names[i];
                }
                return contents + (names.size() > 3 ? ", ..." : "");
            } catch (const std::exception&) {
                // told below by the task that wrote it
            }
        }
        return "written by the " + task + " task";
    }

    // The files the host saw written beside the design matrix during the run: those in its
    // folder whose names start with its own (without ".sdm") and "_", unless the name of another
    // run's design matrix starting them is longer; each once, except the maps, which are listed
    // with their saves.
    void addWrittenFiles(const MotionRunRecord& record, PageRun& run) const {
        const fs::path ownPath = normalized(record.sdmPath);
        std::vector<fs::path> listed;
        for (const auto& save : record.maps) {
            listed.push_back(normalized(save.file));
        }
        for (const auto& writtenFile : written_) {
            const fs::path path(writtenFile.path);
            const fs::path target = normalized(path);
            const auto owner = designMatrixOfFile(writtenFile.path, designMatrices_);
            if (!owner || normalized(designMatrices_[*owner]) != ownPath ||
                std::find(listed.begin(), listed.end(), target) != listed.end()) {
                continue;
            }
            listed.push_back(target);
            bool spikes = false;
            const std::string contents = contentsOf(path, writtenFile.task, run, spikes);
            if (auto entry = file(writtenFile.path, contents)) {
                run.files.push_back(std::move(*entry));
                if (spikes) {
                    run.spikeFileName = path.filename().string();
                }
            }
        }
    }

    // The table the confound task wrote beside the design matrix during this run: its numbers,
    // the volumes it flags as spikes and, where this build draws pictures, its panels.
    void addMotionQc(const MotionRunRecord& record, std::size_t index, PageRun& run) const {
        const qm::ConfoundTableFiles table = qm::confoundTableFiles(record.sdmPath);
        const SpikeSettings& settings = *record.spikeSettings;
        run.noConfoundTable = settings.searched; // until the table is read
        if (!written(table.table)) {
            return;
        }
        ConfoundSeries series;
        try {
            series = readConfoundSeries(table.table);
        } catch (const std::exception& error) {
            run.motionQcProblem = error.what();
            return;
        }
        const SpikeSearch search{settings.threshold, settings.measure,
                                 spikeRows(series, settings.measure)};
        if (settings.searched) {
            run.spikeSearch = search;
            run.noConfoundTable = false;
        }
        PageMotionQc qc = motionQcSection(series, qm::fileNamePart(table.table), search);
#if defined(QUELMAR_HOST_PICTURES)
        int number = 0;
        for (const SeriesPanel& panel : motionPanels(series, search)) {
            const std::string name =
                "run-" + twoDigits(index + 1) + "-motion-" + std::to_string(++number) + ".png";
            const fs::path path = directory_ / name;
            try {
                const PanelPicture picture = drawSeriesPanel(panel);
                writeOutputFile(path.string(), picture.png);
                qc.panels.push_back(
                    {urlFromRelativePath(name), panel.caption, picture.width, picture.height});
            } catch (const OutputFileError& error) {
                reportOutputFailure(host_, "the motion panel", error);
            } catch (const std::exception& error) {
                reportOutputFailure(host_, "the motion panel",
                                    OutputFileError(path.string(), error.what()));
            }
        }
#else
        (void)index;
#endif
        run.motionQc = std::move(qc);
    }

    // The maps' pictures were drawn on the scale of their group; the run states it.
    void addMaps(const MapSave& save, PageRun& run, std::optional<double>& mapScale) {
        const std::string contents = save.mapCount > 1
                                         ? std::to_string(save.mapCount) + " displacement maps"
                                         : std::string("displacement map");
        if (auto entry = file(save.file, contents + " (NIfTI-1, float32, mm)")) {
            run.files.push_back(std::move(*entry));
        }
        for (std::size_t k = 0; k < save.mapCount; ++k) {
            const auto kept = keptMaps_.find(save.firstMap + k);
            if (kept == keptMaps_.end()) {
                continue; // saved by another document, or not told to the report
            }
            PageMap page;
            page.heading = qm::fileNamePart(save.file);
            page.fileName = qm::fileNamePart(save.file);
            if (save.mapCount > 1) {
                page.fileName += " (map " + std::to_string(k + 1) + ")";
            }
            page.maximum = kept->second.maximum;
            page.meanInMask = kept->second.meanInMask;
            page.voxelsInMask = kept->second.voxelsInMask;
            page.picture = kept->second.picture;
            if (page.picture && !mapScale) {
                mapScale = kept->second.scale;
            }
            run.maps.push_back(std::move(page));
        }
    }

    // The plot's PNG is shown from the report folder (copied there when the plots went
    // elsewhere), once: both tasks draw the same motion plot, and a picture equal to one shown
    // already is only mentioned under it. Both pictures are listed among the files.
    void addPlot(const RunPlot& runPlot, PageRun& run) {
        const auto found =
            std::find_if(host_.plots.begin(), host_.plots.end(),
                         [&](const auto& plot) { return plot->number == runPlot.number; });
        if (found == host_.plots.end() || (*found)->renderedBaseName.empty()) {
            return;
        }
        const PlotWindow& plot = **found;
        const fs::path folder(host_.plotsDirectory);
        const fs::path source = folder / (plot.renderedBaseName + ".png");
        std::error_code error;
        if (!fs::is_regular_file(source, error)) {
            return;
        }
        for (const char* extension : {".png", ".svg"}) {
            const fs::path picture = folder / (plot.renderedBaseName + extension);
            const std::string contents =
                std::string("plot ") + std::to_string(plot.number) +
                (extension == std::string_view(".png") ? ", PNG picture"
                                                       : ", SVG picture (scales without blur)");
            if (auto entry = file(picture.string(), contents)) {
                run.files.push_back(std::move(*entry));
            }
        }
        const std::string drawnBy =
            "plot " + std::to_string(plot.number) + " of the " + runPlot.task + " task";
        const std::string content = readBytes(source);
        for (std::size_t i = 0; i < shownPlots_.size(); ++i) {
            if (shownPlots_[i] == content && i < run.plots.size()) {
                run.plots[i].caption += "; the same picture is " + drawnBy;
                return;
            }
        }
        const fs::path shown = directory_ / source.filename();
        if (!fs::exists(shown, error) || !fs::equivalent(source, shown, error)) {
            try {
                writeOutputFile(shown.string(), content);
            } catch (const OutputFileError& failure) {
                reportOutputFailure(host_, "the plot picture", failure);
                return;
            }
        }
        const auto [width, height] = pngSize(shown);
        run.plots.push_back({urlFromRelativePath(source.filename().generic_string()),
                             plot.title + ": " + drawnBy, width, height});
        shownPlots_.push_back(content);
    }

    static std::string readBytes(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    fs::path directory_;
    const std::vector<WrittenFileRecord>& written_;
    HostSession& host_;
    const std::map<std::size_t, KeptMap>& keptMaps_;
    std::vector<std::string> designMatrices_; // of every run, to tell whose a file is
    std::vector<std::string> shownPlots_;     // PNG bytes of the plots shown for the current run
};

} // namespace

ReportWriter::ReportWriter(const std::string& directory,
                           const std::optional<std::string>& transcriptPath, HostSession& host)
    : host_(&host), directory_(directory) {
    std::error_code error;
    fs::create_directories(directory_, error);
    if (error || !fs::is_directory(directory_)) {
        throw std::runtime_error("cannot create the report folder " + directory + ": " +
                                 (error ? error.message() : "a file of that name is in the way"));
    }
    if (transcriptPath) {
        transcriptPath_ = *transcriptPath;
    } else {
        transcriptPath_ = directory_ / "transcript.jsonl";
        host.transcript.open(transcriptPath_.string());
    }
    host.mapsSaved = [this, &host](const SavedMaps& saved) { keepMaps(host, saved); };
}

ReportWriter::~ReportWriter() {
    if (host_ != nullptr) {
        host_->mapsSaved = nullptr;
    }
}

std::size_t ReportWriter::valuesHeld() const {
    std::size_t count = 0;
    for (const auto& [index, kept] : keptMaps_) {
        count += kept.values.size();
    }
    return count;
}

// The design matrix of the current "sdmfile" value that the map is saved beside; the map's own
// path when none is (it then forms a group of its own).
std::string ReportWriter::designMatrixOf(const HostSession& host, const std::string& mapPath) {
    const auto sdmfile = host.parameters.find("sdmfile");
    const std::string value = sdmfile != host.parameters.end() ? sdmfile->second : "";
    if (value != listedSdmfile_ || designMatrices_.empty()) {
        listedSdmfile_ = value;
        designMatrices_ =
            value.empty() ? std::vector<std::string>{} : listMotionDesignMatrices(value);
    }
    const auto found = designMatrixOfOutput(mapPath, designMatrices_);
    return found ? designMatrices_[*found] : mapPath;
}

// Draws the pictures of the pending group on the group's scale, then lets their values go, so
// that what the report holds does not grow with the number of design matrices.
void ReportWriter::drawPendingGroup([[maybe_unused]] HostSession& host) {
    std::vector<float> maxima;
    for (const std::size_t index : pendingMaps_) {
        maxima.push_back(keptMaps_[index].maximum);
    }
    const double scale = sharedMapScale(maxima);
    for (const std::size_t index : pendingMaps_) {
        KeptMap& kept = keptMaps_[index];
        kept.scale = scale;
#if defined(QUELMAR_HOST_PICTURES)
        kept.picture = drawMapPicture(directory_, host, kept);
#endif
        std::vector<float>().swap(kept.values);
    }
    pendingMaps_.clear();
}

// Before the maps' values go: their statistics, and what their pictures need. The pictures are
// numbered in saving order so that a file saved twice keeps both.
void ReportWriter::keepMaps([[maybe_unused]] HostSession& host, const SavedMaps& saved) {
    const std::string group = designMatrixOf(host, saved.hostPath);
    // The pending maps all belong to the design matrix of the first of them.
    if (!pendingMaps_.empty() && keptMaps_[pendingMaps_.front()].designMatrix != group) {
        drawPendingGroup(host);
    }
    for (std::size_t k = 0; k < saved.maps.size(); ++k) {
        const HostMap& map = saved.maps[k];
        const MapStatistics statistics = mapStatistics(map.values());
        KeptMap& kept = keptMaps_[saved.firstMap + k];
        kept.maximum = statistics.maximum;
        kept.meanInMask = statistics.meanInMask;
        kept.voxelsInMask = statistics.voxelsInMask;
        kept.designMatrix = group;
        pendingMaps_.push_back(saved.firstMap + k);
#if defined(QUELMAR_HOST_PICTURES)
        std::string pictureName =
            "map-" + twoDigits(static_cast<std::size_t>(++picturesDrawn_)) + "-" +
            safeFileName(qm::pathWithoutExtension(qm::fileNamePart(saved.hostPath)));
        if (saved.maps.size() > 1) {
            pictureName += "-" + std::to_string(k + 1);
        }
        kept.pictureName = pictureName + ".png";
        kept.heading = qm::fileNamePart(saved.file);
        const FmrDocumentHeader& fmr = *host.document->fmrHeader;
        kept.dimensions = map.dimensions();
        kept.voxelSize = {fmr.voxelSizeX, fmr.voxelSizeY, fmr.voxelSizeZ};
        kept.values.assign(map.values().begin(), map.values().end());
#endif
    }
}

void ReportWriter::write(HostSession& host) {
    if (!pendingMaps_.empty()) {
        drawPendingGroup(host);
    }
    const SessionRecord record =
        recordSession(readTranscriptText(host.transcript.text(), transcriptPath_.string()),
                      listMotionDesignMatrices);

    ReportPage page;
    page.pluginName = record.pluginName;
    page.pluginVersion = record.pluginVersion;
    page.fmrPath = record.fmrPath;
    page.fmrGeometry = record.fmrGeometry;
    page.tasks = record.tasks;
    page.log = record.log;
    page.parametersRead = record.parametersRead;

    PageBuilder builder(directory_, record, host, keptMaps_);
    for (std::size_t i = 0; i < record.runs.size(); ++i) {
        page.runs.push_back(builder.run(record.runs[i], i));
    }
    PageRun shared = builder.sharedPlots(record.sharedPlots);
    page.sessionPlots = std::move(shared.plots);
    page.sessionFiles = std::move(shared.files);
    if (auto transcript = builder.file(transcriptPath_.string(),
                                       "every host call of the plug-in, as JSON Lines")) {
        page.sessionFiles.push_back(std::move(*transcript));
    }
    try {
        writeOutputFile(pagePath().string(), renderReportHtml(page));
    } catch (const OutputFileError& error) {
        reportOutputFailure(host, "the report page", error);
    }
}

} // namespace halvorn_host
