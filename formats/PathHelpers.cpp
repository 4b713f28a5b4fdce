#include "PathHelpers.h"

namespace qm {

std::string fileNamePart(const std::string& path) {
    const auto separator = path.find_last_of("/\\");
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

std::string directoryPart(const std::string& path) {
    const auto separator = path.find_last_of("/\\");
    return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

} // namespace qm

namespace qm {
namespace {

// Position of the "." that starts the file name's extension, or npos.
std::string::size_type extensionDot(const std::string& path) {
    const auto separator = path.find_last_of("/\\");
    const auto nameStart = separator == std::string::npos ? 0 : separator + 1;
    const auto dot = path.find_last_of('.');
    return dot == std::string::npos || dot < nameStart ? std::string::npos : dot;
}

} // namespace

std::string suffixedPath(const std::string& path, const std::string& suffix) {
    const auto dot = extensionDot(path);
    if (dot == std::string::npos) {
        return path + suffix + ".sdm";
    }
    return path.substr(0, dot) + suffix + path.substr(dot);
}

std::string pathWithoutExtension(const std::string& path) {
    const auto dot = extensionDot(path);
    return dot == std::string::npos ? path : path.substr(0, dot);
}

} // namespace qm
