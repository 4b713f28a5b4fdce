#include "ReportConfoundSeries.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>
#include <limits>
#include <stdexcept>

namespace halvorn_host {
namespace {

std::vector<std::string_view> splitCells(std::string_view line) {
    std::vector<std::string_view> cells;
    std::size_t start = 0;
    while (true) {
        const auto tab = line.find('\t', start);
        cells.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
        if (tab == std::string_view::npos) {
            return cells;
        }
        start = tab + 1;
    }
}

} // namespace

const std::vector<double>* ConfoundSeries::column(std::string_view name) const {
    const auto found = std::find(names.begin(), names.end(), name);
    return found == names.end() ? nullptr
                                : &columns[static_cast<std::size_t>(found - names.begin())];
}

ConfoundSeries parseConfoundSeries(std::string_view text, const std::string& fileName) {
    const auto fail = [&](std::size_t lineNumber, const std::string& problem) {
        return std::runtime_error("the confound table " + fileName + " cannot be read at line " +
                                  std::to_string(lineNumber) + ": " + problem);
    };
    ConfoundSeries series;
    std::size_t lineNumber = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find('\n', start);
        std::string_view line =
            text.substr(start, end == std::string_view::npos ? end : end - start);
        start = end == std::string_view::npos ? text.size() : end + 1;
        ++lineNumber;
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        const auto cells = splitCells(line);
        if (lineNumber == 1) {
            for (const auto name : cells) {
                if (name.empty() || series.column(name) != nullptr) {
                    throw fail(lineNumber, name.empty() ? "a column has no name"
                                                        : "the column " + std::string(name) +
                                                              " is named twice");
                }
                series.names.emplace_back(name);
                series.columns.emplace_back();
            }
            continue;
        }
        if (cells.size() != series.names.size()) {
            throw fail(lineNumber, "the row has " + std::to_string(cells.size()) +
                                       " cells, the header names " +
                                       std::to_string(series.names.size()) + " columns");
        }
        for (std::size_t i = 0; i < cells.size(); ++i) {
            const std::string_view cell = cells[i];
            double value = std::numeric_limits<double>::quiet_NaN();
            if (cell != "n/a") {
                const auto parsed = std::from_chars(cell.data(), cell.data() + cell.size(), value);
                if (cell.empty() || parsed.ec != std::errc() ||
                    parsed.ptr != cell.data() + cell.size()) {
                    throw fail(lineNumber, "the " + series.names[i] + " cell \"" +
                                               std::string(cell) + "\" is no number");
                }
            }
            series.columns[i].push_back(value);
        }
    }
    if (lineNumber == 0) {
        throw std::runtime_error("the confound table " + fileName + " is empty");
    }
    return series;
}

ConfoundSeries readConfoundSeries(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read the confound table " + path);
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        throw std::runtime_error("cannot read the confound table " + path);
    }
    return parseConfoundSeries(text, path);
}

} // namespace halvorn_host
