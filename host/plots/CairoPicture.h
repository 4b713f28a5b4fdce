// Owners of cairo's objects, and cairo's write callback that collects a picture's bytes: shared by
// every picture the host draws (plots, map montages, the report's motion panels).
#pragma once

#include <cairo.h>

#include <memory>
#include <string>

namespace halvorn_host {

using CairoSurface = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;
using CairoContext = std::unique_ptr<cairo_t, decltype(&cairo_destroy)>;

// cairo's write callback: appends the bytes to the std::string behind `closure`.
inline cairo_status_t appendToString(void* closure, const unsigned char* data,
                                     unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

} // namespace halvorn_host
