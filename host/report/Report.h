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
    // For its picture, drawn when the page is written on the colour scale that all maps of its
    // run share (only then is every map of the run known). No name: this build draws none.
    std::string pictureName;
    std::string heading;
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
    void write(HostSession& host) const;

    std::filesystem::path pagePath() const { return directory_ / "index.html"; }

private:
    void keepMaps(HostSession& host, const SavedMaps& saved);

    HostSession* host_ = nullptr;
    std::filesystem::path directory_;
    std::filesystem::path transcriptPath_;
    std::map<std::size_t, KeptMap> keptMaps_; // by the map's index in the document
    int picturesDrawn_ = 0;
};

} // namespace halvorn_host
