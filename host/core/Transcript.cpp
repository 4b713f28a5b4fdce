#include "Transcript.h"

#include "OutputFiles.h"

namespace halvorn_host {

void Transcript::open(const std::string& path) {
    path_ = path;
}

void Transcript::record(const nlohmann::ordered_json& entry) {
    if (path_) {
        text_ += entry.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
        text_ += '\n';
    }
}

void Transcript::write() const {
    if (path_) {
        writeOutputFile(*path_, text_);
    }
}

} // namespace halvorn_host
