// A multi-study design matrix (MDM): one line per study naming its data file and its SDM.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qm {

// Asks the user for a file: (title, directory, filter) -> chosen path, empty when cancelled.
using FileChooser = std::function<std::string(
    const std::string& title, const std::string& directory, const std::string& filter)>;

struct MultiStudyDesignMatrix {
    std::int32_t fileVersion = -1;
    std::string path;
    std::string typeOfFunctionalData;
    std::int32_t rfxGlm = 0;
    std::int32_t pscTransformation = 0;
    std::int32_t zTransformation = 0;
    std::int32_t separatePredictors = 0;
    std::int32_t nrOfStudies = 0;
    std::vector<std::string> extraFiles;
    std::vector<std::string> functionalDataFiles;
    std::vector<std::string> designMatrixFiles;
    // For each entry of extraFiles, the study (index into the other two lists) whose line held
    // it: in an "MTC" MDM only lines with three paths have one. When this list is shorter, an
    // extra file belongs to the study of its own index.
    std::vector<std::size_t> extraFileStudies;
    // The first line (counted from 1) that holds text the reader does not use: a header entry it
    // does not know, text outside the quotes of a study line, or a line after the last study.
    // Writing the file back would lose it. 0 when there is none.
    std::size_t firstUnusedLine = 0;

    // Reads the MDM at `filePath`. Throws OpenFileError when it cannot be opened, and
    // FileFormatError naming the file and line when a header value is not a whole number, the
    // header ends before "NrOfStudies:", a study line does not hold two quoted paths (or three
    // in an "MTC" MDM) or names no SDM, or the file ends before (or inside) the last of the study
    // lines that it announces. Blank lines among the study lines are passed over.
    explicit MultiStudyDesignMatrix(std::string filePath);

    // When the first listed SDM does not exist, asks `chooseFile` for it, moves every listed
    // path that lies in the first SDM's old folder tree to the chosen one (other paths stay as
    // they are; "/" and "\" count as the same, and moved paths take the chosen path's separator)
    // and saves the file. True when the first SDM exists or the paths were rewritten; false when
    // the user chose nothing. Throws std::runtime_error, changing nothing, when the chosen file
    // has another name than the missing one, or when the file holds text the reader does not use
    // (firstUnusedLine), which rewriting it would lose.
    bool repairPaths(const FileChooser& chooseFile);

    // The text `save` writes: values from column 23, CR LF line ends, one line per study, and
    // "NrOfStudies:" the number of those lines.
    std::string fileContent() const;

    // Writes the record to `path`, replacing the file only once it is completely written.
    // Throws std::runtime_error "Cannot Create file: " + path on failure.
    void save() const;

private:
    std::size_t studyOfExtraFile(std::size_t extra) const;
};

} // namespace qm
