#include "Transcript.h"

#include <stdexcept>

namespace halvorn_host {

void Transcript::open(const std::string& path) {
    auto out = std::make_unique<std::ofstream>(path, std::ios::binary | std::ios::trunc);
    if (!*out) {
        throw std::runtime_error("cannot write the transcript " + path);
    }
    out_ = std::move(out);
}

void Transcript::record(const nlohmann::ordered_json& entry) {
    if (out_) {
        // Flushed per entry so that the transcript survives a plug-in that crashes the host.
        *out_ << entry.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n'
              << std::flush;
    }
}

} // namespace halvorn_host
