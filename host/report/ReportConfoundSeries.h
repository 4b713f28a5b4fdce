// A run's confound table (STEM_desc-confounds_timeseries.tsv) read back for the report: the
// columns by name, one value per volume, so that the report shows the numbers the plug-in wrote
// rather than what its log lines say.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace halvorn_host {

struct ConfoundSeries {
    std::vector<std::string> names;
    std::vector<std::vector<double>> columns; // by position of the name; NaN where "n/a"

    std::size_t volumes() const { return columns.empty() ? 0 : columns.front().size(); }
    // The column of that name; nullptr when the table has none.
    const std::vector<double>* column(std::string_view name) const;
};

// The table in `text`: a header row of names, then one row of numbers or "n/a" per volume,
// cells separated by tabs, lines ending in LF (a CR before it is dropped). Throws
// std::runtime_error naming `fileName`, the line and the problem when a row has another number
// of cells than the header, a cell is no number, or a name is empty or repeated.
ConfoundSeries parseConfoundSeries(std::string_view text, const std::string& fileName);

// The same, read from the file at `path`; also throws when it cannot be read.
ConfoundSeries readConfoundSeries(const std::string& path);

} // namespace halvorn_host
