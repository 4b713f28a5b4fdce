#include "MultiStudyDesignMatrix.h"

#include "AtomicFileWriter.h"
#include "FileContent.h"
#include "FileErrors.h"
#include "HeaderField.h"
#include "PathHelpers.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string_view>

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

// Reports what is wrong with an MDM so that the researcher can find the place in the file.
class MdmProblem {
public:
    MdmProblem(const std::string& path, std::string_view content)
        : path_(path), content_(content) {}

    [[noreturn]] void raise(const std::string& problem) const {
        throw FileFormatError("Invalid MDM file " + path_ + ": " + problem);
    }
    [[noreturn]] void raiseAt(std::size_t offset, const std::string& problem) const {
        throw FileFormatError("Invalid MDM file " + path_ + ", line " +
                              std::to_string(lineAt(offset)) + ": " + problem);
    }
    std::size_t lineAt(std::size_t offset) const {
        const auto end =
            content_.begin() + static_cast<std::ptrdiff_t>(std::min(offset, content_.size()));
        return static_cast<std::size_t>(std::count(content_.begin(), end, '\n')) + 1;
    }

private:
    const std::string& path_;
    std::string_view content_;
};

// The token after a key on the key's own line; empty when the line ends first, so that an
// empty value does not take the next key for itself.
std::string tokenOnSameLine(std::istream& in) {
    while (in.peek() == ' ' || in.peek() == '\t') {
        in.get();
    }
    std::string token;
    if (in.peek() != '\r' && in.peek() != '\n' && in.peek() != std::char_traits<char>::eof()) {
        in >> token;
    }
    return token;
}

// The whole number after `key`. A value that is not one is an error: reading on would leave
// the study lists empty, and the tasks would silently do nothing.
void readInt(MemoryInputStream& in, const std::string& key, std::int32_t& field,
             const MdmProblem& problem) {
    const std::size_t keyEnd = in.position();
    std::int32_t value = 0;
    if (!(in >> value)) {
        problem.raiseAt(keyEnd, "the value of \"" + key + "\" is not a whole number");
    }
    field = value;
}

// Header keys with their values, in any order, up to and including "NrOfStudies:". Unknown
// tokens are passed over, however many there are; the line of the first is kept, since writing
// the file back would lose it.
void readHeader(MemoryInputStream& in, MultiStudyDesignMatrix& mdm, const MdmProblem& problem) {
    std::string token;
    while (token != "NrOfStudies:") {
        in >> std::ws;
        const std::size_t tokenStart = in.position();
        if (!(in >> token)) {
            problem.raise("the header ends before \"NrOfStudies:\"");
        }
        if (token == "TypeOfFunctionalData:") {
            mdm.typeOfFunctionalData = tokenOnSameLine(in);
        } else if (token == "FileVersion:") {
            readInt(in, token, mdm.fileVersion, problem);
        } else if (token == "RFX-GLM:") {
            readInt(in, token, mdm.rfxGlm, problem);
        } else if (token == "PSCTransformation:") {
            readInt(in, token, mdm.pscTransformation, problem);
        } else if (token == "zTransformation:") {
            readInt(in, token, mdm.zTransformation, problem);
        } else if (token == "SeparatePredictors:") {
            readInt(in, token, mdm.separatePredictors, problem);
        } else if (token == "NrOfStudies:") {
            const std::size_t keyEnd = in.position();
            readInt(in, token, mdm.nrOfStudies, problem);
            if (mdm.nrOfStudies < 0) {
                problem.raiseAt(keyEnd, "NrOfStudies is " + std::to_string(mdm.nrOfStudies) +
                                            "; a count cannot be negative");
            }
        } else if (mdm.firstUnusedLine == 0) {
            mdm.firstUnusedLine = problem.lineAt(tokenStart);
        }
    }
}

bool isBlank(std::string_view text) {
    return text.find_first_not_of(" \t\r\v\f") == std::string_view::npos;
}

// The paths of a study line: the texts between its quote pairs 1-2, 3-4, ...; `outside` tells
// whether the line holds anything but blanks outside them.
struct QuotedTexts {
    std::vector<std::string> texts;
    std::size_t quotes = 0;
    bool textOutside = false;
};

QuotedTexts quotedTexts(const std::string& line) {
    QuotedTexts result;
    std::size_t from = 0;
    for (std::size_t open = line.find('"'); open != std::string::npos;
         open = line.find('"', from)) {
        result.textOutside =
            result.textOutside || !isBlank(std::string_view(line).substr(from, open - from));
        ++result.quotes;
        const std::size_t close = line.find('"', open + 1);
        if (close == std::string::npos) {
            return result; // an odd number of quotes
        }
        ++result.quotes;
        result.texts.push_back(line.substr(open + 1, close - open - 1));
        from = close + 1;
    }
    result.textOutside = result.textOutside || !isBlank(std::string_view(line).substr(from));
    return result;
}

// What a study line must look like, for the message about one that does not.
std::string studyLineForm(const MultiStudyDesignMatrix& mdm) {
    return isMultiChannel(mdm.typeOfFunctionalData)
               ? "two or three quoted paths (a data file and the study's SDM, or an extra file, "
                 "a data file and the SDM)"
               : "two quoted paths, the study's data file and its SDM";
}

// Two quoted paths, or three in an "MTC" MDM, and no quote left open.
bool isStudyLine(const QuotedTexts& quoted, const MultiStudyDesignMatrix& mdm) {
    const std::size_t paths = quoted.texts.size();
    return quoted.quotes == 2 * paths &&
           (paths == 2 || (isMultiChannel(mdm.typeOfFunctionalData) && paths == 3));
}

// Appends the paths of one study line, or throws naming the line when it holds no study: a study
// left out without a word would be missing from every result.
void addStudy(const std::string& line, std::size_t lineStart, MultiStudyDesignMatrix& mdm,
              const MdmProblem& problem) {
    QuotedTexts quoted = quotedTexts(line);
    const std::size_t paths = quoted.texts.size();
    if (!isStudyLine(quoted, mdm)) {
        problem.raiseAt(lineStart, "this study line holds " + std::to_string(quoted.quotes) +
                                       " double quotes; it must hold " + studyLineForm(mdm));
    }
    if (quoted.texts.back().empty()) {
        problem.raiseAt(lineStart, "this study line names no SDM (its last path is empty)");
    }
    if (quoted.textOutside && mdm.firstUnusedLine == 0) {
        mdm.firstUnusedLine = problem.lineAt(lineStart);
    }
    if (paths == 3) {
        mdm.extraFileStudies.push_back(mdm.functionalDataFiles.size());
        mdm.extraFiles.push_back(std::move(quoted.texts[0]));
    }
    mdm.functionalDataFiles.push_back(std::move(quoted.texts[paths - 2]));
    mdm.designMatrixFiles.push_back(std::move(quoted.texts[paths - 1]));
}

// As many study lines as "NrOfStudies:" announces; blank lines between them are passed over. A
// file that ends before them, or inside its last line, was cut short: reading on would drop
// studies without a word. Text after the last study line is kept in mind, as writing the file
// back would lose it.
void readStudyLines(MemoryInputStream& in, std::string_view content, MultiStudyDesignMatrix& mdm,
                    const MdmProblem& problem) {
    std::string line;
    const std::size_t restStart = in.position();
    std::getline(in, line); // the rest of the "NrOfStudies:" line
    if (!isBlank(line) && mdm.firstUnusedLine == 0) {
        mdm.firstUnusedLine = problem.lineAt(restStart);
    }
    // The count comes from the file: a large one ends with the input, it allocates nothing.
    for (std::int32_t j = 0; j < mdm.nrOfStudies;) {
        const std::size_t lineStart = in.position();
        if (!std::getline(in, line)) {
            problem.raise("the file ends after " + std::to_string(j) + " of the " +
                          std::to_string(mdm.nrOfStudies) +
                          " study lines that NrOfStudies announces");
        }
        line = lineWithoutCarriageReturn(std::move(line));
        if (isBlank(line)) {
            continue;
        }
        const bool lastLineWithoutEnd =
            in.position() == content.size() && (content.empty() || content.back() != '\n');
        if (lastLineWithoutEnd && !isStudyLine(quotedTexts(line), mdm)) {
            problem.raiseAt(lineStart, "the file ends inside study line " + std::to_string(j + 1) +
                                           " of " + std::to_string(mdm.nrOfStudies));
        }
        addStudy(line, lineStart, mdm, problem);
        ++j;
    }
    while (mdm.firstUnusedLine == 0 && in.position() < content.size()) {
        const std::size_t lineStart = in.position();
        std::getline(in, line);
        if (!isBlank(line)) {
            mdm.firstUnusedLine = problem.lineAt(lineStart);
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

// Characters of two paths that name the same thing: "/" and "\\" separate folders alike.
bool samePathCharacter(char a, char b) {
    return a == b || (isSeparator(a) && isSeparator(b));
}

bool samePathText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), samePathCharacter);
}

// A path that names no root: neither a leading separator nor a drive letter.
bool isRelative(const std::string& path) {
    return !path.empty() && !isSeparator(path[0]) && !(path.size() >= 2 && path[1] == ':');
}

// The separator the chosen path uses before its file name; none when it has no folder part.
std::optional<char> separatorOf(const std::string& path) {
    const auto last = path.find_last_of("/\\");
    return last == std::string::npos ? std::nullopt : std::optional<char>(path[last]);
}

// Names of files compared as the host's file system compares them, ignoring the case of letters.
bool sameFileName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// Where the paths of an MDM move when its first SDM was found elsewhere.
struct Relocation {
    std::string oldPrefix; // a folder, without its last separator
    std::string newPrefix;
    // The first SDM was a relative path found whole at the end of the chosen one: every relative
    // path moves into the chosen path's folder, `newPrefix`, which ends with its separator.
    bool ofRelativePaths = false;
    // Every moved path is written with the chosen path's separator, so that it opens on the
    // machine where the user chose it.
    std::optional<char> separator;

    // The path moves when it lies inside the old folder (or is the very path the prefixes were
    // taken from); any other path stays as it is.
    std::string apply(const std::string& path) const {
        if (ofRelativePaths) {
            return isRelative(path) ? newPrefix + withSeparator(path) : path;
        }
        const bool insideOldFolder =
            path.size() >= oldPrefix.size() &&
            samePathText(std::string_view(path).substr(0, oldPrefix.size()), oldPrefix) &&
            (path.size() == oldPrefix.size() || isSeparator(path[oldPrefix.size()]));
        return insideOldFolder ? newPrefix + withSeparator(path.substr(oldPrefix.size())) : path;
    }

private:
    std::string withSeparator(std::string rest) const {
        if (separator) {
            std::replace_if(rest.begin(), rest.end(), isSeparator, *separator);
        }
        return rest;
    }
};

// The common ending of the old and the chosen path, cut back to whole path components so that
// the prefixes name folders: "D:/a/b" + "/s1/run_3DMC.sdm" and "E:/c" + the same.
Relocation relocationFor(const std::string& oldPath, const std::string& newPath) {
    std::size_t common = 0;
    while (common < oldPath.size() && common < newPath.size() &&
           samePathCharacter(oldPath[oldPath.size() - 1 - common],
                             newPath[newPath.size() - 1 - common])) {
        ++common;
    }
    const std::optional<char> separator = separatorOf(newPath);
    if (common == oldPath.size() && isRelative(oldPath) &&
        (common == newPath.size() || isSeparator(newPath[newPath.size() - 1 - common]))) {
        return {"", newPath.substr(0, newPath.size() - common), true, separator};
    }
    while (common > 0 && !isSeparator(oldPath[oldPath.size() - common])) {
        --common;
    }
    return {oldPath.substr(0, oldPath.size() - common), newPath.substr(0, newPath.size() - common),
            false, separator};
}

} // namespace

MultiStudyDesignMatrix::MultiStudyDesignMatrix(std::string filePath) : path(std::move(filePath)) {
    const std::string content = readFileContent(path);
    const MdmProblem problem(path, content);
    MemoryInputStream in(content);
    readHeader(in, *this, problem);
    readStudyLines(in, content, *this, problem);
}

bool MultiStudyDesignMatrix::repairPaths(const FileChooser& chooseFile) {
    if (designMatrixFiles.empty()) {
        return true;
    }
    const std::string oldPath = designMatrixFiles.front();
    std::error_code notExamined;
    if (std::filesystem::exists(oldPath, notExamined) || notExamined) {
        return true; // there: any fault of the file is for its reader to report
    }
    if (firstUnusedLine != 0) {
        throw std::runtime_error("The first SDM that the MDM " + path + " lists, " + oldPath +
                                 ", is missing, but the MDM cannot be repaired: its line " +
                                 std::to_string(firstUnusedLine) +
                                 " holds text that rewriting the file would lose. Correct the "
                                 "paths in the MDM by hand.");
    }
    const std::string name = fileNamePart(oldPath);
    const std::string newPath =
        chooseFile("SDM not found. Select " + name + " manually.", directoryPart(path),
                   "Single Subject Desgin Matrix (" + name + ")");
    if (newPath.empty()) {
        return false;
    }
    if (!sameFileName(fileNamePart(newPath), name)) {
        throw std::runtime_error("The chosen file " + newPath + " is not " + name +
                                 ", the missing SDM that the MDM " + path +
                                 " lists first; the MDM was not changed.");
    }

    const Relocation relocation = relocationFor(oldPath, newPath);
    for (auto* files : {&designMatrixFiles, &functionalDataFiles, &extraFiles}) {
        for (auto& file : *files) {
            file = relocation.apply(file);
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
    // The count of the lines that follow: lines that held no study were not kept, and a count
    // that promised them would make the file unreadable.
    appendIntLine(out, "NrOfStudies:", static_cast<std::int32_t>(functionalDataFiles.size()), 1);

    const bool multiChannel = isMultiChannel(typeOfFunctionalData);
    std::size_t extra = 0;
    for (std::size_t i = 0; i < functionalDataFiles.size(); ++i) {
        // Only the studies whose line held three paths have an extra file to write.
        if (multiChannel && extra < extraFiles.size() && studyOfExtraFile(extra) == i) {
            appendQuoted(out, extraFiles[extra++]);
            out += "  ";
        }
        appendQuoted(out, functionalDataFiles[i]);
        out += "  ";
        appendQuoted(out, i < designMatrixFiles.size() ? designMatrixFiles[i] : std::string());
        appendLineEnds(out, 1);
    }
    return out;
}

std::size_t MultiStudyDesignMatrix::studyOfExtraFile(std::size_t extra) const {
    return extra < extraFileStudies.size() ? extraFileStudies[extra] : extra;
}

void MultiStudyDesignMatrix::save() const {
    writeFileAtomically(path, fileContent());
}

} // namespace qm
