// One log message as the host shows it: the plug-in's name, the message, then a flush, so that
// each message reaches the host's log pane as one entry.
#pragma once

#include <ostream>
#include <string_view>

namespace qm {

struct LogSink {
    std::ostream& stream;
    std::string_view pluginName;
};

template <typename... Parts> void writeLogLine(const LogSink& log, const Parts&... parts) {
    log.stream << log.pluginName;
    (log.stream << ... << parts);
    log.stream << std::flush;
}

} // namespace qm
