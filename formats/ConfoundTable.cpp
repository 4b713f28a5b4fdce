#include "ConfoundTable.h"

#include "AtomicFileWriter.h"
#include "PathHelpers.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <set>
#include <stdexcept>
#include <string_view>

namespace qm {
namespace {

constexpr std::string_view kNotDefined = "n/a";
constexpr char kSeparator = '\t';
constexpr char kLineEnd = '\n';
constexpr int kSignificantDigits = 9; // enough for every float to read back exactly

void checkColumns(const std::vector<ConfoundTableColumn>& columns) {
    std::set<std::string_view> names;
    for (const ConfoundTableColumn& column : columns) {
        if (column.name.empty() || column.name.find_first_of("\t\r\n\"") != std::string::npos) {
            throw std::invalid_argument("The confound table column name \"" + column.name +
                                        "\" is empty or holds a tab, a line break or a quote.");
        }
        if (!names.insert(column.name).second) {
            throw std::invalid_argument("The confound table has two columns named \"" +
                                        column.name + "\".");
        }
        if (column.values.size() != columns.front().values.size()) {
            throw std::invalid_argument("The confound table column \"" + column.name + "\" has " +
                                        std::to_string(column.values.size()) + " values where \"" +
                                        columns.front().name + "\" has " +
                                        std::to_string(columns.front().values.size()) + ".");
        }
    }
}

// std::to_chars with a precision is specified as printf with that precision in the "C" locale,
// so the cell is exactly what "%.9g" gives, with no locale consulted.
void appendCell(std::string& out, float value) {
    if (std::isnan(value)) {
        out += kNotDefined;
        return;
    }
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::general,
                                      kSignificantDigits);
    out.append(text, result.ptr);
}

} // namespace

ConfoundTableFiles confoundTableFiles(const std::string& designMatrixPath) {
    const std::string stem = pathWithoutExtension(designMatrixPath) + "_desc-confounds_timeseries";
    return {stem + ".tsv", stem + ".json"};
}

std::string confoundTableText(const std::vector<ConfoundTableColumn>& columns) {
    if (columns.empty()) {
        return std::string(1, kLineEnd);
    }
    checkColumns(columns);
    const std::size_t rows = columns.front().values.size();
    std::string out;
    out.reserve(columns.size() * (24 + rows * 16));
    for (std::size_t c = 0; c < columns.size(); ++c) {
        if (c > 0) {
            out += kSeparator;
        }
        out += columns[c].name;
    }
    out += kLineEnd;
    for (std::size_t row = 0; row < rows; ++row) {
        for (std::size_t c = 0; c < columns.size(); ++c) {
            if (c > 0) {
                out += kSeparator;
            }
            appendCell(out, columns[c].values[row]);
        }
        out += kLineEnd;
    }
    return out;
}

std::string confoundSidecarText(const nlohmann::ordered_json& sidecar) {
    return sidecar.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + kLineEnd;
}

void writeConfoundTable(const ConfoundTableFiles& files,
                        const std::vector<ConfoundTableColumn>& columns,
                        const nlohmann::ordered_json& sidecar) {
    // Both texts are made before either file is touched: a fault in one leaves both files alone.
    const std::string table = confoundTableText(columns);
    const std::string description = confoundSidecarText(sidecar);
    writeFileAtomically(files.table, table);
    writeFileAtomically(files.sidecar, description);
}

} // namespace qm
