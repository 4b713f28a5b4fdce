// The host's map functions. Maps belong to the current FMR document: ztCreateMAPForCurrentFMR
// adds one (every value 0) with the document's dimensions, or those of --map-dimensions;
// ztGetMAPOfCurrentFMR describes the newest map and hands out one pointer per slice, which stay
// valid until the map is saved; ztSetMAPParametersOfCurrentFMR takes the record back; and
// ztSaveMAPsOfCurrentFMR writes the maps created since the previous save attempt into one NIfTI-1
// file, NAME.nii beside where the host would save NAME.map (NAME.nii.gz with --gzip-maps), and
// then releases their values. Each call is recorded in the transcript.
#include "MapExports.h"

#include "HostFunctionSignature.h"
#include "HostSession.h"
#include "MapGeometry.h"
#include "NiftiWriter.h"
#include "OutputFiles.h"

#include <algorithm>
#include <cstring>
#include <iostream>
#include <limits>

using json = nlohmann::ordered_json;
using halvorn_host::session;

namespace {

using halvorn_host::CurrentDocument;
using halvorn_host::HostMap;
using halvorn_host::MapDimensions;

// The current document when it is an FMR document read from disk; null otherwise.
CurrentDocument* currentFmrDocument() {
    auto& document = session().document;
    if (!document || document->type != kDocumentTypeFmr || !document->fmrHeader) {
        return nullptr;
    }
    return &*document;
}

MapDimensions mapDimensionsOf(const CurrentDocument& document) {
    if (session().mapDimensions) {
        return *session().mapDimensions;
    }
    return {document.fmrHeader->dimX, document.fmrHeader->dimY, document.fmrHeader->dimZ};
}

bool isAllocatable(const MapDimensions& dimensions) {
    if (dimensions[0] <= 0 || dimensions[1] <= 0 || dimensions[2] <= 0) {
        return false;
    }
    const auto count = static_cast<std::int64_t>(dimensions[0]) * dimensions[1] * dimensions[2];
    return count <= std::numeric_limits<std::int32_t>::max();
}

// The newest map; null when there is none (or no FMR document).
HostMap* newestMap() {
    CurrentDocument* document = currentFmrDocument();
    if (document == nullptr || document->maps.empty()) {
        return nullptr;
    }
    return &document->maps.newest();
}

json headerFields(const MapHeader& header) {
    return {{"DimX", header.DimX}, {"DimY", header.DimY}, {"DimZ", header.DimZ}};
}

// The file-name part of a path written with either separator.
std::string fileName(const std::string& path) {
    const auto separator = path.find_last_of("/\\");
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

// The host tells the user itself when it cannot save maps: an error dialog of its own, shown on
// stderr like the plug-in's message boxes, which also makes the run's exit status 1.
void reportSaveFailure(const std::string& text) {
    auto& host = session();
    host.transcript.record({{"host", "error"}, {"text", "Error: " + text}});
    std::cerr << "Error: " << text << '\n' << std::flush;
    if (host.insideTask) {
        host.errorShownDuringTask = true;
    }
}

halvorn_host::NiftiMapImage niftiImageOf(const CurrentDocument& document,
                                         std::span<const HostMap> maps, const std::string& file) {
    const FmrDocumentHeader& fmr = *document.fmrHeader;
    halvorn_host::NiftiMapImage image;
    image.dimensions = maps.front().dimensions();
    image.voxelSize = {fmr.voxelSizeX, fmr.voxelSizeY, fmr.voxelSizeZ};
    image.placement =
        halvorn_host::niftiPlacement(document.position, image.dimensions, image.voxelSize);
    image.displayMin = maps.front().header.lowerValue;
    image.displayMax = maps.front().header.upperValue;
    for (const HostMap& map : maps) {
        image.volumes.push_back(map.values());
        image.displayMin = std::min(image.displayMin, map.header.lowerValue);
        image.displayMax = std::max(image.displayMax, map.header.upperValue);
    }
    // A map is named after the file it is saved to.
    image.description = fileName(file);
    if (maps.size() > 1) {
        image.description += " (" + std::to_string(maps.size()) + " maps)";
    }
    return image;
}

} // namespace

extern "C" {

int ztCreateMAPForCurrentFMR() {
    int result = -1;
    CurrentDocument* document = currentFmrDocument();
    if (document != nullptr && isAllocatable(mapDimensionsOf(*document))) {
        document->maps.add(mapDimensionsOf(*document));
        result = static_cast<int>(document->maps.size()) - 1;
    }
    session().transcript.record({{"call", "ztCreateMAPForCurrentFMR"}, {"result", result}});
    return result;
}

float** ztGetMAPOfCurrentFMR(MapHeader* header) {
    HostMap* map = newestMap();
    json entry = {{"call", "ztGetMAPOfCurrentFMR"}};
    if (map == nullptr || map->released()) {
        if (map != nullptr) {
            std::cerr << "Halvorn.exe: warning: ztGetMAPOfCurrentFMR was called for a map that "
                         "was saved already; its values are released\n"
                      << std::flush;
        }
        entry["slices"] = nullptr;
        session().transcript.record(entry);
        return nullptr;
    }
    MapHeader filled = map->header;
    filled.DimX = map->dimensions()[0];
    filled.DimY = map->dimensions()[1];
    filled.DimZ = map->dimensions()[2];
    std::memcpy(header, &filled, sizeof filled);
    entry.update(headerFields(filled));
    entry["slices"] = filled.DimZ;
    session().transcript.record(entry);
    return map->slicePointers();
}

void ztSetMAPParametersOfCurrentFMR(MapHeader* header) {
    MapHeader given{};
    std::memcpy(&given, header, sizeof given);
    json entry = {{"call", "ztSetMAPParametersOfCurrentFMR"}};
    entry.update(headerFields(given));
    entry["mapKind"] = given.mapKind;
    entry["lowerValue"] = given.lowerValue;
    entry["upperValue"] = given.upperValue;
    entry["field28"] = given.field28;
    if (HostMap* map = newestMap()) {
        // The dimensions are the host's own; the plug-in sets everything else.
        given.DimX = map->dimensions()[0];
        given.DimY = map->dimensions()[1];
        given.DimZ = map->dimensions()[2];
        map->header = given;
        map->parametersSet = true;
        entry["applied"] = true;
    } else {
        entry["applied"] = false;
    }
    session().transcript.record(entry);
}

int ztSaveMAPsOfCurrentFMR(const char* path) {
    auto& host = session();
    const std::string target = path;
    json entry = {{"call", "ztSaveMAPsOfCurrentFMR"}, {"path", target}};
    CurrentDocument* document = currentFmrDocument();
    // This attempt takes the maps created since the previous one, whether it succeeds or not.
    const auto taken =
        document != nullptr ? document->maps.takeForSaving() : halvorn_host::DocumentMaps::Taken{};
    entry["maps"] = taken.maps.size();
    const std::string file = halvorn_host::niftiMapPath(target, host.gzipMaps);
    int result = 0;
    if (taken.maps.empty()) {
        reportSaveFailure("no new maps to save to " + file);
    } else {
        try {
            halvorn_host::writeNiftiMaps(file, niftiImageOf(*document, taken.maps, file));
            result = 1;
        } catch (const halvorn_host::OutputFileError& error) {
            reportSaveFailure("cannot save maps to " + error.path() + ": " + error.reason());
        } catch (const std::exception& error) {
            reportSaveFailure("cannot save maps to " + file + ": " + error.what());
        }
    }
    entry["file"] = result == 1 ? json(file) : json();
    entry["result"] = result;
    host.transcript.record(entry);
    if (result == 1 && host.mapsSaved) {
        host.mapsSaved({target, file, taken.first, taken.maps});
    }
    // What the report needs was taken; the values go, saved or not, so that memory does not
    // grow with the maps of a long run.
    for (HostMap& map : taken.maps) {
        map.release();
    }
    return result;
}

} // extern "C"

// The exported functions must have exactly the signatures of the protocol header.
HALVORN_CHECK_SIGNATURE(ztCreateMAPForCurrentFMR)
HALVORN_CHECK_SIGNATURE(ztGetMAPOfCurrentFMR)
HALVORN_CHECK_SIGNATURE(ztSetMAPParametersOfCurrentFMR)
HALVORN_CHECK_SIGNATURE(ztSaveMAPsOfCurrentFMR)
