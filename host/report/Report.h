// Halvorn.exe --report DIR: after the run, DIR/index.html tells what the plug-in did to each
// motion design matrix: its plots, spikes, displacement maps as pictures, the files written with
// their sizes, and the log. The page is built from the transcript of host calls, the host's plot
// windows and maps, and the files on disk.
#pragma once

#include "HostMap.h"
#include "ReportPage.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace halvorn_host {

struct HostSession;

// What the report keeps of a saved map once the host releases its values.
struct KeptMap {
    float maximum = 0.0F;    // millimetres
    float meanInMask = 0.0F; // over the voxels with a value above 0
    std::size_t voxelsInMask = 0;
    // The motion design matrix the map was saved beside (its group), and the colour scale that
    // all maps of the group share: 0 .. the largest of their values.
    std::string designMatrix;
    double scale = 1.0;
    // Its picture, drawn once every map of its group is known (no name: this build draws none).
    std::string pictureName;
    std::string heading;
    std::optional<PageImage> picture;
    // Held only until the picture is drawn.
    std::array<std::int32_t, 3> dimensions{};
    std::array<float, 3> voxelSize{};
    std::vector<float> values;
};

class ReportWriter {
public:
    // Creates `directory`. When the run keeps no transcript of its own (`transcriptPath` unset),
    // `host` records one into the report folder, since the report is read from it. From then on
    // `host` tells the writer about every map it saves, before it releases the map's values.
    // Throws std::runtime_error naming the folder when it cannot be created.
    ReportWriter(const std::string& directory, const std::optional<std::string>& transcriptPath,
                 HostSession& host);
    ~ReportWriter();
    // `host` holds a callback into this object.
    ReportWriter(const ReportWriter&) = delete;
    ReportWriter& operator=(const ReportWriter&) = delete;

    // Writes index.html and its pictures into the report folder, replacing earlier ones, from
    // the transcript `host` recorded. A file that cannot be written is reported through
    // reportOutputFailure; the page goes on without it.
    void write(HostSession& host);

    // The maps told so far, by their index in the document.
    const std::map<std::size_t, KeptMap>& keptMaps() const { return keptMaps_; }
    // How many map values are held for pictures not yet drawn.
    std::size_t valuesHeld() const;

    std::filesystem::path pagePath() const { return directory_ / "index.html"; }

private:
    void keepMaps(HostSession& host, const SavedMaps& saved);
    std::string designMatrixOf(const HostSession& host, const std::string& mapPath);
    void drawPendingGroup(HostSession& host);

    HostSession* host_ = nullptr;
    std::filesystem::path directory_;
    std::filesystem::path transcriptPath_;
    std::map<std::size_t, KeptMap> keptMaps_; // by the map's index in the document
    int picturesDrawn_ = 0;
    // The maps of the design matrix being worked on, whose pictures wait for the group's scale.
    std::vector<std::size_t> pendingMaps_;
    // The design matrices of the last "sdmfile" value seen, listed once.
    std::string listedSdmfile_;
    std::vector<std::string> designMatrices_;
};

} // namespace halvorn_host
