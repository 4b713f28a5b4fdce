// Which motion design matrix a file written beside it belongs to. The tasks name their outputs
// after the design matrix: NAME.sdm gets NAME_MaxAbsolute.map, NAME_confounds.tsv and so on.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace halvorn_host {

// The index in `designMatrices` of the design matrix in the file's folder whose name without
// ".sdm", followed by "_", starts the file's name. When several do (run1_3DMC and run1_3DMC_b
// for run1_3DMC_b_confounds.tsv), the longest name wins. Nothing when none does.
std::optional<std::size_t> designMatrixOfFile(const std::string& file,
                                              const std::vector<std::string>& designMatrices);

// The design matrix a task's output belongs to: as designMatrixOfFile, or the only one when the
// task worked on one design matrix (whatever the output's name).
std::optional<std::size_t> designMatrixOfOutput(const std::string& file,
                                                const std::vector<std::string>& designMatrices);

} // namespace halvorn_host
