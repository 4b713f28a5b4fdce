// The report page as one HTML document, filled into the template ReportPage.html.mustache
// (compiled in): styles inline, pictures as files beside it, nothing loaded from the network.
#pragma once

#include "ReportPage.h"

#include <cstdint>
#include <string>

namespace halvorn_host {

std::string renderReportHtml(const ReportPage& page);

// "13.7 kB" and the like, in powers of 1000.
std::string readableSize(std::uintmax_t bytes);

} // namespace halvorn_host
