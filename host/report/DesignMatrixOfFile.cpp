#include "DesignMatrixOfFile.h"

#include <filesystem>

namespace halvorn_host {

namespace fs = std::filesystem;

std::optional<std::size_t> designMatrixOfFile(const std::string& file,
                                              const std::vector<std::string>& designMatrices) {
    const fs::path target = fs::absolute(fs::path(file)).lexically_normal();
    const std::string name = target.filename().string();
    std::optional<std::size_t> best;
    std::size_t bestLength = 0;
    for (std::size_t i = 0; i < designMatrices.size(); ++i) {
        const fs::path matrix = fs::absolute(fs::path(designMatrices[i])).lexically_normal();
        const std::string start = matrix.stem().string() + "_";
        if (matrix.parent_path() == target.parent_path() && name.starts_with(start) &&
            (!best || start.size() > bestLength)) {
            best = i;
            bestLength = start.size();
        }
    }
    return best;
}

std::optional<std::size_t> designMatrixOfOutput(const std::string& file,
                                                const std::vector<std::string>& designMatrices) {
    if (const auto found = designMatrixOfFile(file, designMatrices)) {
        return found;
    }
    if (designMatrices.size() == 1) {
        return 0;
    }
    return std::nullopt;
}

} // namespace halvorn_host
