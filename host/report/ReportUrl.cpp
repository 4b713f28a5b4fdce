#include "ReportUrl.h"

#if defined(QUELMAR_HOST_GLIB)
#include <glib.h>

#include <memory>
#endif

namespace halvorn_host {

#if defined(QUELMAR_HOST_GLIB)

std::string urlFromRelativePath(std::string_view path) {
    const std::string text(path);
    const std::unique_ptr<gchar, decltype(&g_free)> escaped(
        g_uri_escape_string(text.c_str(), "/", FALSE), &g_free);
    return std::string(escaped.get());
}

#else

// Builds without glib (the MinGW cross build has none) escape the same bytes by hand.
std::string urlFromRelativePath(std::string_view path) {
    constexpr std::string_view kHex = "0123456789ABCDEF";
    std::string url;
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        const bool keep = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                          (byte >= '0' && byte <= '9') || c == '-' || c == '_' || c == '.' ||
                          c == '~' || c == '/';
        if (keep) {
            url += c;
        } else {
            url += '%';
            url += kHex[byte >> 4];
            url += kHex[byte & 0x0F];
        }
    }
    return url;
}

#endif

} // namespace halvorn_host
