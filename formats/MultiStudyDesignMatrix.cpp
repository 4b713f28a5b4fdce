#include "MultiStudyDesignMatrix.h"

#include "AtomicFileWriter.h"
#include "FileContent.h"
#include "HeaderField.h"
#include "PathHelpers.h"

#include <charconv>
#include <fstream>

namespace qm {
namespace {

constexpr const char* kMultiChannelType = "MTC";
constexpr std::size_t kKeyColumnWidth = 22;

bool isMultiChannel(const std::string& typeOfFunctionalData) {
    return typeOfFunctionalData == kMultiChannelType;
}

std::string lineWithoutCarriageReturn(std::string line) {
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

// A failed read leaves the field as it was (and the stream failed, which ends the reading).
void readInt(std::istream& in, std::int32_t& field) {
    std::int32_t value = 0;
    if (in >> value) {
        field = value;
    }
}

// Header keys with their values, in any order, up to and including "NrOfStudies:". Unknown
// tokens are passed over, however many there are.
void readHeader(std::istream& in, MultiStudyDesignMatrix& mdm) {
    std::string token;
    while (token != "NrOfStudies:" && in >> token) {
        if (token == "TypeOfFunctionalData:") {
            in >> mdm.typeOfFunctionalData;
        } else if (token == "FileVersion:") {
            readInt(in, mdm.fileVersion);
        } else if (token == "RFX-GLM:") {
            readInt(in, mdm.rfxGlm);
        } else if (token == "PSCTransformation:") {
            readInt(in, mdm.pscTransformation);
        } else if (token == "zTransformation:") {
            readInt(in, mdm.zTransformation);
        } else if (token == "SeparatePredictors:") {
            readInt(in, mdm.separatePredictors);
        } else if (token == "NrOfStudies:") {
            readInt(in, mdm.nrOfStudies);
        }
    }
}

// The texts between quote pairs 1-2, 3-4, ... of a line holding exactly 2 * count quotes.
std::vector<std::string> quotedTexts(const std::string& line, std::size_t count) {
    std::vector<std::size_t> quotes;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') {
            quotes.push_back(i);
        }
    }
    if (quotes.size() != 2 * count) {
        return {};
    }
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < quotes.size(); i += 2) {
        texts.push_back(line.substr(quotes[i] + 1, quotes[i + 1] - quotes[i] - 1));
    }
    return texts;
}

void readStudyLines(std::istream& in, MultiStudyDesignMatrix& mdm) {
    std::string line;
    std::getline(in, line); // the rest of the "NrOfStudies:" line
    // The count comes from the file: a large one ends with the input, it allocates nothing.
    for (std::int32_t j = 0; j < mdm.nrOfStudies && std::getline(in, line); ++j) {
        line = lineWithoutCarriageReturn(line);
        if (isMultiChannel(mdm.typeOfFunctionalData)) {
            auto three = quotedTexts(line, 3);
            if (!three.empty()) {
                mdm.extraFiles.push_back(std::move(three[0]));
                mdm.functionalDataFiles.push_back(std::move(three[1]));
                mdm.designMatrixFiles.push_back(std::move(three[2]));
                continue;
            }
        }
        auto two = quotedTexts(line, 2);
        if (!two.empty()) {
            mdm.functionalDataFiles.push_back(std::move(two[0]));
            mdm.designMatrixFiles.push_back(std::move(two[1]));
        }
    }
}

void appendKey(std::string& out, const char* key) {
    const std::size_t start = out.size();
    out += key;
    const std::size_t length = out.size() - start;
    if (length < kKeyColumnWidth) {
        out.append(kKeyColumnWidth - length, ' ');
    }
}

void appendLineEnds(std::string& out, int count) {
    for (int i = 0; i < count; ++i) {
        out += kLineEnd;
    }
}

void appendIntLine(std::string& out, const char* key, std::int32_t value, int lineEnds) {
    appendKey(out, key);
    char digits[16];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
    appendLineEnds(out, lineEnds);
}

void appendQuoted(std::string& out, const std::string& text) {
    out += '"';
    out += text;
    out += '"';
}

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

// The path moves from the folder `oldPrefix` to `newPrefix` when it lies inside that folder
// (or is the very path the prefixes were taken from); any other path stays as it is.
std::string relocated(const std::string& path, const std::string& oldPrefix,
                      const std::string& newPrefix) {
    const bool insideOldFolder =
        path.compare(0, oldPrefix.size(), oldPrefix) == 0 &&
        (path.size() == oldPrefix.size() || isSeparator(path[oldPrefix.size()]));
    return insideOldFolder ? newPrefix + path.substr(oldPrefix.size()) : path;
}

} // namespace

MultiStudyDesignMatrix::MultiStudyDesignMatrix(std::string filePath) : path(std::move(filePath)) {
    const std::string content = readFileContent(path);
    MemoryInputStream in(content);
    readHeader(in, *this);
    readStudyLines(in, *this);
}

bool MultiStudyDesignMatrix::repairPaths(const FileChooser& chooseFile) {
    if (designMatrixFiles.empty()) {
        return true;
    }
    const std::string oldPath = designMatrixFiles.front();
    if (std::ifstream(oldPath).is_open()) {
        return true;
    }
    const std::string name = fileNamePart(oldPath);
    const std::string newPath =
        chooseFile("SDM not found. Select " + name + " manually.", directoryPart(path),
                   "Single Subject Desgin Matrix (" + name + ")");
    if (newPath.empty() || newPath.size() < name.size()) {
        return false;
    }

    // The common ending of the old and the chosen path, cut back to whole path components so
    // that the prefixes name folders: "D:/a/b" + "/s1/run_3DMC.sdm" and "E:/c" + the same.
    std::size_t common = 0;
    while (common < oldPath.size() && common < newPath.size() &&
           oldPath[oldPath.size() - 1 - common] == newPath[newPath.size() - 1 - common]) {
        ++common;
    }
    while (common > 0 && !isSeparator(oldPath[oldPath.size() - common])) {
        --common;
    }
    const std::string oldPrefix = oldPath.substr(0, oldPath.size() - common);
    const std::string newPrefix = newPath.substr(0, newPath.size() - common);

    for (auto* files : {&designMatrixFiles, &functionalDataFiles, &extraFiles}) {
        for (auto& file : *files) {
            file = relocated(file, oldPrefix, newPrefix);
        }
    }
    save();
    return true;
}

std::string MultiStudyDesignMatrix::fileContent() const {
    std::string out;
    appendLineEnds(out, 1);
    appendIntLine(out, "FileVersion:", fileVersion, 1);
    appendKey(out, "TypeOfFunctionalData:");
    out += typeOfFunctionalData;
    appendLineEnds(out, 2);
    appendIntLine(out, "RFX-GLM:", rfxGlm, 2);
    appendIntLine(out, "PSCTransformation:", pscTransformation, 1);
    appendIntLine(out, "zTransformation:", zTransformation, 1);
    appendIntLine(out, "SeparatePredictors:", separatePredictors, 2);
    appendIntLine(out, "NrOfStudies:", nrOfStudies, 1);

    const bool multiChannel = isMultiChannel(typeOfFunctionalData);
    for (std::size_t i = 0; i < functionalDataFiles.size(); ++i) {
        // Lines with two paths in a multi-channel MDM have no extra file to write.
        if (multiChannel && i < extraFiles.size()) {
            appendQuoted(out, extraFiles[i]);
            out += "  ";
        }
        appendQuoted(out, functionalDataFiles[i]);
        out += "  ";
        appendQuoted(out, i < designMatrixFiles.size() ? designMatrixFiles[i] : std::string());
        appendLineEnds(out, 1);
    }
    return out;
}

void MultiStudyDesignMatrix::save() const {
    writeFileAtomically(path, fileContent());
}

} // namespace qm
