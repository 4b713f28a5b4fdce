// The report page as one HTML document: styles inline, pictures as files beside it, nothing
// loaded from the network.
#pragma once

#include "ReportPage.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace halvorn_host {

std::string renderReportHtml(const ReportPage& page);

// Text made safe inside HTML elements and attribute values.
std::string escapeHtml(std::string_view text);

// A relative path as a URL: "/" stays, unreserved characters stay, every other byte is %XX.
std::string urlFromRelativePath(std::string_view path);

// "13.7 kB" and the like, in powers of 1000.
std::string readableSize(std::uintmax_t bytes);

} // namespace halvorn_host
