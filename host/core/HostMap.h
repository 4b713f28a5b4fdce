// One map of the current FMR document as the stand-in host keeps it: a float grid that the
// plug-in fills slice by slice through the pointers the host hands out, and the map record
// (MapHeader) with the display range the plug-in set. Once saved, a map's values are released:
// only its record stays, so that the memory of a run does not grow with the maps it saves.
#pragma once

#include <halvorn/HalvornPluginApi.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <vector>

namespace halvorn_host {

// Columns, rows and slices.
using MapDimensions = std::array<std::int32_t, 3>;

class HostMap {
public:
    // A map of the given dimensions with every value 0. The dimensions must be positive.
    // The values come from calloc: the system hands out large blocks as zero pages that nobody
    // has touched yet, so the plug-in's writes are the first and only pass over them, where
    // zero-filling here would touch every page twice.
    explicit HostMap(const MapDimensions& dimensions)
        : dimensions_(dimensions),
          count_(static_cast<std::size_t>(dimensions[0]) * static_cast<std::size_t>(dimensions[1]) *
                 static_cast<std::size_t>(dimensions[2])),
          values_(static_cast<float*>(std::calloc(count_, sizeof(float)))) {
        if (values_ == nullptr) {
            throw std::bad_alloc();
        }
        const std::size_t sliceSize =
            static_cast<std::size_t>(dimensions[0]) * static_cast<std::size_t>(dimensions[1]);
        for (std::int32_t z = 0; z < dimensions[2]; ++z) {
            slices_.push_back(values_.get() + sliceSize * static_cast<std::size_t>(z));
        }
    }

    // Moving keeps the slice pointers valid: they point into the value buffer, which moves along.
    HostMap(HostMap&&) = default;
    HostMap& operator=(HostMap&&) = default;
    HostMap(const HostMap&) = delete;
    HostMap& operator=(const HostMap&) = delete;

    const MapDimensions& dimensions() const { return dimensions_; }
    // dimZ slices of dimX * dimY values, row by row, slice after slice; empty once released.
    std::span<const float> values() const { return {values_.get(), values_ ? count_ : 0}; }
    // One pointer per slice, for the plug-in to write through; null once released.
    float** slicePointers() { return slices_.empty() ? nullptr : slices_.data(); }

    // Frees the values and the slice pointers for good.
    void release() {
        values_.reset();
        std::vector<float*>().swap(slices_);
    }
    bool released() const { return values_ == nullptr; }
    // Bytes of values and slice pointers this map holds.
    std::size_t bytesHeld() const {
        return (values_ ? count_ * sizeof(float) : 0) + slices_.capacity() * sizeof(float*);
    }

    MapHeader header{}; // as last filled by the host or set by the plug-in
    bool parametersSet = false;

private:
    struct FreeValues {
        void operator()(float* values) const { std::free(values); }
    };

    MapDimensions dimensions_;
    std::size_t count_ = 0;
    std::unique_ptr<float[], FreeValues> values_;
    std::vector<float*> slices_;
};

// The maps of a document. A save takes the maps created since the previous save attempt,
// whether that attempt wrote its file or not: a failed save must not push its maps into the
// next file.
class DocumentMaps {
public:
    HostMap& add(const MapDimensions& dimensions) { return maps_.emplace_back(dimensions); }
    std::size_t size() const { return maps_.size(); }
    bool empty() const { return maps_.empty(); }
    HostMap& newest() { return maps_.back(); }

    // The maps created since the previous call, in creation order, and the index of the first.
    struct Taken {
        std::size_t first = 0;
        std::span<HostMap> maps;
    };
    Taken takeForSaving() {
        const Taken taken{takenCount_, std::span<HostMap>(maps_).subspan(takenCount_)};
        takenCount_ = maps_.size();
        return taken;
    }

    std::size_t bytesHeld() const {
        std::size_t bytes = 0;
        for (const auto& map : maps_) {
            bytes += map.bytesHeld();
        }
        return bytes;
    }

private:
    std::vector<HostMap> maps_;
    std::size_t takenCount_ = 0; // maps before this index were taken by a save attempt
};

// Maps that one ztSaveMAPsOfCurrentFMR wrote, told to whoever keeps what the report needs before
// their values are released.
struct SavedMaps {
    std::string hostPath; // the path the plug-in gave
    std::string file;     // the file written
    std::size_t firstMap; // the index of the first of them in the document
    std::span<const HostMap> maps;
};

} // namespace halvorn_host
