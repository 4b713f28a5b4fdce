#include "Report.h"

#include "ConfoundTable.h"
#include "DesignMatrix.h"
#include "HostSession.h"
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

struct NamedSuffix {
    std::string_view suffix;
    std::string_view contents;
};

// The confound task's files beside a motion design matrix, in the order it saves them.
constexpr std::array<NamedSuffix, 8> kConfoundFiles = {{
    {"_spikes", "spike predictors: one 0/1 column per spike volume (not standardised)"},
    {"_detr", "motion parameters, detrended and standardised"},
    {"_deriv", "derivatives of the detrended parameters, standardised"},
    {"_sqr", "squares of the detrended parameters, standardised"},
    {"_t1", "detrended parameters delayed by 1 volume, standardised"},
    {"_t2", "detrended parameters delayed by 2 volumes, standardised"},
    {"_t1sqr", "squares of the parameters delayed by 1 volume, standardised"},
    {"_t2sqr", "squares of the parameters delayed by 2 volumes, standardised"},
}};

// What each displacement map measures, by the ending of its file name.
constexpr std::array<NamedSuffix, 7> kMapHeadings = {{
    {"_MaxAbsolute.map", "Maximum absolute displacement"},
    {"_MeanAbsolute.map", "Mean absolute displacement"},
    {"_MeanRelative.map", "Mean volume-to-volume displacement"},
    {"_MaxRelative.map", "Maximum volume-to-volume displacement"},
    {"_MaxAbsoluteX.map", "Maximum absolute displacement along x"},
    {"_MaxAbsoluteY.map", "Maximum absolute displacement along y"},
    {"_MaxAbsoluteZ.map", "Maximum absolute displacement along z"},
}};

std::string mapHeading(const std::string& path) {
    for (const auto& entry : kMapHeadings) {
        if (path.ends_with(entry.suffix)) {
            return std::string(entry.contents);
        }
    }
    return "Displacement map";
}

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

class PageBuilder {
public:
    PageBuilder(const fs::path& directory, fs::file_time_type runStart, HostSession& host,
                const std::map<std::size_t, KeptMap>& keptMaps)
        : directory_(fs::absolute(directory)), runStart_(runStart), host_(host),
          keptMaps_(keptMaps) {}

    PageRun run(const MotionRunRecord& record, std::size_t index) {
        PageRun run;
        shownPlots_.clear();
        run.anchor = "run-" + std::to_string(index + 1);
        run.name = qm::fileNamePart(record.sdmPath);
        run.sdmPath = record.sdmPath;
        run.tasks = record.tasks;
        run.volumes = volumesOf(record.sdmPath);
        run.spikeSearch = record.spikeSearch;
        run.log = record.log;
        const bool confoundRan =
            std::find(record.tasks.begin(), record.tasks.end(), "confound") != record.tasks.end();
        if (confoundRan) {
            addConfoundFiles(record.sdmPath, run);
            addMotionQc(record, index, run);
        }
        const double mapScale = sharedMapScale(keptMaxima(record));
        for (const auto& save : record.maps) {
            addMaps(save, mapScale, run);
        }
#if defined(QUELMAR_HOST_PICTURES)
        if (std::any_of(run.maps.begin(), run.maps.end(),
                        [](const PageMap& map) { return map.picture.has_value(); })) {
            run.mapScale = mapScaleOf(mapScale);
        }
#endif
        for (const auto& plot : record.plots) {
            addPlot(plot, run);
        }
        return run;
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

    bool writtenDuringRun(const fs::path& path) const {
        std::error_code error;
        if (!fs::is_regular_file(path, error)) {
            return false;
        }
        const auto time = fs::last_write_time(path, error);
        return !error && time >= runStart_;
    }

    void addConfoundFiles(const std::string& sdmPath, PageRun& run) const {
        for (const auto& family : kConfoundFiles) {
            const std::string path = qm::suffixedPath(sdmPath, std::string(family.suffix));
            if (!writtenDuringRun(path)) {
                continue;
            }
            if (auto entry = file(path, std::string(family.contents))) {
                run.files.push_back(std::move(*entry));
                if (family.suffix == "_spikes") {
                    run.spikeFileName = qm::fileNamePart(path);
                }
            }
        }
    }

    // The table the confound task wrote beside the design matrix during this run, its numbers
    // and, where this build draws pictures, its panels.
    void addMotionQc(const MotionRunRecord& record, std::size_t index, PageRun& run) const {
        const qm::ConfoundTableFiles table = qm::confoundTableFiles(record.sdmPath);
        if (!writtenDuringRun(table.table)) {
            return;
        }
        for (const auto& [path, contents] :
             {std::pair{table.table, "confound table: one row per volume, tab-separated"},
              std::pair{table.sidecar, "what each column of the confound table holds (JSON)"}}) {
            if (auto entry = file(path, contents)) {
                run.files.push_back(std::move(*entry));
            }
        }
        ConfoundSeries series;
        try {
            series = readConfoundSeries(table.table);
        } catch (const std::exception& error) {
            run.motionQcProblem = error.what();
            return;
        }
        PageMotionQc qc =
            motionQcSection(series, qm::fileNamePart(table.table), record.spikeSearch);
#if defined(QUELMAR_HOST_PICTURES)
        int number = 0;
        for (const SeriesPanel& panel : motionPanels(series, record.spikeSearch)) {
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

    std::vector<float> keptMaxima(const MotionRunRecord& record) const {
        std::vector<float> maxima;
        for (const auto& save : record.maps) {
            for (std::size_t k = 0; k < save.mapCount; ++k) {
                const auto kept = keptMaps_.find(save.firstMap + k);
                if (kept != keptMaps_.end()) {
                    maxima.push_back(kept->second.maximum);
                }
            }
        }
        return maxima;
    }

    void addMaps(const MapSave& save, [[maybe_unused]] double mapScale, PageRun& run) {
        const std::string contents = save.mapCount > 1
                                         ? std::to_string(save.mapCount) + " displacement maps"
                                         : mapHeading(save.path);
        if (auto entry = file(save.file, contents + " (NIfTI-1, float32, mm)")) {
            run.files.push_back(std::move(*entry));
        }
        for (std::size_t k = 0; k < save.mapCount; ++k) {
            const auto kept = keptMaps_.find(save.firstMap + k);
            if (kept == keptMaps_.end()) {
                continue; // saved by another document, or not told to the report
            }
            PageMap page;
            page.heading = mapHeading(save.path);
            page.fileName = qm::fileNamePart(save.file);
            if (save.mapCount > 1) {
                page.fileName += " (map " + std::to_string(k + 1) + ")";
            }
            page.maximum = kept->second.maximum;
            page.meanInMask = kept->second.meanInMask;
            page.voxelsInMask = kept->second.voxelsInMask;
#if defined(QUELMAR_HOST_PICTURES)
            page.picture = drawMapPicture(kept->second, mapScale);
#endif
            run.maps.push_back(std::move(page));
        }
    }

#if defined(QUELMAR_HOST_PICTURES)
    std::optional<PageImage> drawMapPicture(const KeptMap& kept, double mapScale) const {
        if (kept.pictureName.empty()) {
            return std::nullopt;
        }
        const MapGrid grid{kept.dimensions, kept.voxelSize, kept.values};
        const std::string path = (directory_ / kept.pictureName).string();
        try {
            const MontagePicture picture =
                drawMapMontage(grid, static_cast<float>(mapScale), kept.heading);
            writeOutputFile(path, picture.png);
            return PageImage{urlFromRelativePath(kept.pictureName), kept.heading, picture.width,
                             picture.height};
        } catch (const OutputFileError& error) {
            reportOutputFailure(host_, "the map picture", error);
        } catch (const std::exception& error) {
            reportOutputFailure(host_, "the map picture", OutputFileError(path, error.what()));
        }
        return std::nullopt;
    }
#endif

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
    fs::file_time_type runStart_;
    HostSession& host_;
    const std::map<std::size_t, KeptMap>& keptMaps_;
    std::vector<std::string> shownPlots_; // PNG bytes of the plots shown for the current run
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
    runStart_ = std::chrono::time_point_cast<fs::file_time_type::duration>(
        std::chrono::floor<std::chrono::seconds>(fs::file_time_type::clock::now()));
    host.mapsSaved = [this, &host](const SavedMaps& saved) { keepMaps(host, saved); };
}

ReportWriter::~ReportWriter() {
    if (host_ != nullptr) {
        host_->mapsSaved = nullptr;
    }
}

// Before the maps' values go: their statistics, and what their pictures need. The pictures are
// numbered in saving order so that a file saved twice keeps both.
void ReportWriter::keepMaps([[maybe_unused]] HostSession& host, const SavedMaps& saved) {
    for (std::size_t k = 0; k < saved.maps.size(); ++k) {
        const HostMap& map = saved.maps[k];
        const MapStatistics statistics = mapStatistics(map.values());
        KeptMap& kept = keptMaps_[saved.firstMap + k];
        kept.maximum = statistics.maximum;
        kept.meanInMask = statistics.meanInMask;
        kept.voxelsInMask = statistics.voxelsInMask;
#if defined(QUELMAR_HOST_PICTURES)
        std::string pictureName =
            "map-" + twoDigits(static_cast<std::size_t>(++picturesDrawn_)) + "-" +
            safeFileName(qm::pathWithoutExtension(qm::fileNamePart(saved.hostPath)));
        if (saved.maps.size() > 1) {
            pictureName += "-" + std::to_string(k + 1);
        }
        kept.pictureName = pictureName + ".png";
        kept.heading = mapHeading(saved.hostPath);
        const FmrDocumentHeader& fmr = *host.document->fmrHeader;
        kept.dimensions = map.dimensions();
        kept.voxelSize = {fmr.voxelSizeX, fmr.voxelSizeY, fmr.voxelSizeZ};
        kept.values.assign(map.values().begin(), map.values().end());
#endif
    }
}

void ReportWriter::write(HostSession& host) const {
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

    PageBuilder builder(directory_, runStart_, host, keptMaps_);
    for (std::size_t i = 0; i < record.runs.size(); ++i) {
        page.runs.push_back(builder.run(record.runs[i], i));
    }
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
