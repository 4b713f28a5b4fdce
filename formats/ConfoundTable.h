// A run's confounds as other analysis packages read them: one tab-separated table (a header row of
// column names, then one row per volume) and a JSON sidecar that describes its columns. The
// writer knows the layout only; which columns there are and what the sidecar says is the
// caller's.
#pragma once

#include <nlohmann/json_fwd.hpp>

#include <string>
#include <vector>

namespace qm {

struct ConfoundTableColumn {
    std::string name;
    std::vector<float> values; // one per row; NaN stands for a value that is not defined, "n/a"
};

struct ConfoundTableFiles {
    std::string table;   // ..._desc-confounds_timeseries.tsv
    std::string sidecar; // ..._desc-confounds_timeseries.json
};

// The two files beside the design matrix at `designMatrixPath`: its path without the extension
// of its file name, then "_desc-confounds_timeseries" and ".tsv" or ".json". run1_3DMC.sdm gives
// run1_3DMC_desc-confounds_timeseries.tsv and run1_3DMC_desc-confounds_timeseries.json.
ConfoundTableFiles confoundTableFiles(const std::string& designMatrixPath);

// The table's text: the column names, then one line per row, cells separated by one tab, every
// line ending in LF. A number is written as printf's "%.9g" writes it in the "C" locale, whatever
// the process's locale (nine significant digits read back as the same float); NaN is written
// "n/a". Throws std::invalid_argument when the columns differ in length or a name is empty,
// repeated, or holds a tab, a line break or a double quote.
std::string confoundTableText(const std::vector<ConfoundTableColumn>& columns);

// The sidecar's text: indented by two blanks, ending in LF. Bytes that are not UTF-8 (a file name
// in a Windows code page, say) become U+FFFD, so the text is always valid JSON.
std::string confoundSidecarText(const nlohmann::ordered_json& sidecar);

// Writes the table, then the sidecar, each through writeFileAtomically; throws its
// "Cannot Create file: " error for the file that cannot be written.
void writeConfoundTable(const ConfoundTableFiles& files,
                        const std::vector<ConfoundTableColumn>& columns,
                        const nlohmann::ordered_json& sidecar);

} // namespace qm
