// One map of the current FMR document as the stand-in host keeps it: a float grid that the
// plug-in fills slice by slice through the pointers the host hands out, and the map record
// (MapHeader) with the display range the plug-in set.
#pragma once

#include "HalvornPluginApi.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace halvorn_host {

// Columns, rows and slices.
using MapDimensions = std::array<std::int32_t, 3>;

class HostMap {
public:
    // A map of the given dimensions with every value 0. The dimensions must be positive.
    explicit HostMap(const MapDimensions& dimensions)
        : dimensions_(dimensions), values_(static_cast<std::size_t>(dimensions[0]) *
                                           static_cast<std::size_t>(dimensions[1]) *
                                           static_cast<std::size_t>(dimensions[2])) {
        const std::size_t sliceSize =
            static_cast<std::size_t>(dimensions[0]) * static_cast<std::size_t>(dimensions[1]);
        for (std::int32_t z = 0; z < dimensions[2]; ++z) {
            slices_.push_back(values_.data() + sliceSize * static_cast<std::size_t>(z));
        }
    }

    // Moving keeps the slice pointers valid: they point into the value buffer, which moves along.
    HostMap(HostMap&&) = default;
    HostMap& operator=(HostMap&&) = default;
    HostMap(const HostMap&) = delete;
    HostMap& operator=(const HostMap&) = delete;

    const MapDimensions& dimensions() const { return dimensions_; }
    // dimZ slices of dimX * dimY values, row by row, slice after slice.
    const std::vector<float>& values() const { return values_; }
    // One pointer per slice, for the plug-in to write through.
    float** slicePointers() { return slices_.data(); }

    MapHeader header{}; // as last filled by the host or set by the plug-in
    bool parametersSet = false;

private:
    MapDimensions dimensions_;
    std::vector<float> values_;
    std::vector<float*> slices_;
};

// The maps of a document and how many of them the last save wrote.
struct DocumentMaps {
    std::vector<HostMap> maps;
    std::size_t savedCount = 0; // maps before this index were saved already
};

} // namespace halvorn_host
