#include "DesignMatrix.h"

#include "AtomicFileWriter.h"
#include "FileContent.h"
#include "FileErrors.h"
#include "FixedDecimalText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string_view>
#include <system_error>

namespace qm {
namespace {

constexpr std::string_view kLastHeaderKey = "FirstConfoundPredictor:";

// Reports what is wrong with an SDM so that the researcher can find the place in the file.
class SdmProblem {
public:
    explicit SdmProblem(const std::string& path) : path_(path) {}

    [[noreturn]] void raise(const std::string& problem) const {
        throw FileFormatError("Invalid SDM file " + path_ + ": " + problem);
    }
    [[noreturn]] void raise(std::size_t line, const std::string& problem) const {
        throw FileFormatError("Invalid SDM file " + path_ + ", line " + std::to_string(line) +
                              ": " + problem);
    }

private:
    const std::string& path_;
};

std::size_t lineNumberAt(std::string_view text, std::size_t offset) {
    const auto end = text.begin() + static_cast<std::ptrdiff_t>(std::min(offset, text.size()));
    return static_cast<std::size_t>(std::count(text.begin(), end, '\n')) + 1;
}

template <typename Field>
void readHeaderValue(MemoryInputStream& in, std::string_view content, const std::string& key,
                     Field& field, const SdmProblem& problem, const char* expected) {
    readHeaderField(in, key, field);
    if (in.fail()) {
        problem.raise(lineNumberAt(content, in.position()),
                      "the value of \"" + key + "\" " + expected);
    }
}

void readHeader(MemoryInputStream& in, std::string_view content, DesignMatrix& matrix,
                const SdmProblem& problem) {
    std::string token;
    while (token != kLastHeaderKey) {
        if (!(in >> token)) {
            problem.raise("the header ends before \"" + std::string(kLastHeaderKey) + "\"");
        }
        constexpr const char* kWholeNumber = "is not a whole number";
        if (token == "FileVersion:") {
            readHeaderValue(in, content, token, matrix.fileVersion, problem, kWholeNumber);
        } else if (token == "NrOfPredictors:") {
            readHeaderValue(in, content, token, matrix.nrOfPredictors, problem, kWholeNumber);
        } else if (token == "NrOfDataPoints:") {
            readHeaderValue(in, content, token, matrix.nrOfDataPoints, problem, kWholeNumber);
        } else if (token == "IncludesConstant:") {
            readHeaderValue(in, content, token, matrix.includesConstant, problem, "is not 0 or 1");
        } else if (token == kLastHeaderKey) {
            readHeaderValue(in, content, token, matrix.firstConfoundPredictor, problem,
                            kWholeNumber);
        }
    }
}

// The header's counts decide how much is allocated, so they must fit the file before anything
// is: every data line holds at least one character and a blank per value.
void checkCounts(const DesignMatrix& matrix, std::size_t fileSize, std::size_t bytesAfterHeader,
                 const SdmProblem& problem) {
    const std::int64_t predictors = matrix.nrOfPredictors.value;
    const std::int64_t dataPoints = matrix.nrOfDataPoints.value;
    if (predictors < 0) {
        problem.raise("NrOfPredictors is " + std::to_string(predictors) +
                      "; a count cannot be negative");
    }
    if (dataPoints < 0) {
        problem.raise("NrOfDataPoints is " + std::to_string(dataPoints) +
                      "; a count cannot be negative");
    }
    if (static_cast<std::uint64_t>(predictors) > fileSize) {
        problem.raise("NrOfPredictors is " + std::to_string(predictors) + ", more than a file of " +
                      std::to_string(fileSize) + " bytes can describe");
    }
    if (dataPoints > 0) {
        const auto bytesPerLine =
            static_cast<std::uint64_t>(std::max<std::int64_t>(2 * predictors, 1));
        const auto leastBytes = static_cast<std::uint64_t>(dataPoints) * bytesPerLine - 1;
        if (leastBytes > bytesAfterHeader) {
            problem.raise("NrOfDataPoints is " + std::to_string(dataPoints) + " with " +
                          std::to_string(predictors) + " predictors, more data lines than the " +
                          std::to_string(bytesAfterHeader) + " bytes after the header can hold");
        }
    }
}

// Colour triplets until n are read or the input stops being integers; in a well-formed file
// the read after the last triplet meets the name line's opening quote.
void readColours(MemoryInputStream& in, DesignMatrix& matrix) {
    const auto n = static_cast<std::size_t>(matrix.nrOfPredictors.value);
    matrix.red.assign(n, 0);
    matrix.green.assign(n, 0);
    matrix.blue.assign(n, 0);
    std::int32_t red = 0;
    in >> red;
    for (std::size_t i = 0; !in.fail() && i < n; ++i) {
        std::int32_t green = 0;
        std::int32_t blue = 0;
        in >> green >> blue;
        matrix.red[i] = red;
        matrix.green[i] = green;
        matrix.blue[i] = blue;
        in >> red;
    }
    in.clear();
}

// Names are the texts between pairs of double quotes; predictors without a pair keep "NoName".
void readNames(MemoryInputStream& in, DesignMatrix& matrix) {
    const auto n = static_cast<std::size_t>(matrix.nrOfPredictors.value);
    std::string line;
    std::getline(in, line);
    if (line.find('"') == std::string::npos) {
        line.clear();
        std::getline(in, line);
    }
    matrix.predictorNames.assign(n, "NoName");
    std::size_t searchFrom = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const auto open = line.find('"', searchFrom);
        const auto close = open == std::string::npos ? open : line.find('"', open + 1);
        if (close == std::string::npos) {
            break;
        }
        matrix.predictorNames[i] = line.substr(open + 1, close - open - 1);
        searchFrom = close + 1;
    }
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

float parseValue(std::string_view token, std::size_t line, const SdmProblem& problem) {
    std::string_view digits = token;
    if (digits.size() > 1 && digits.front() == '+' && digits[1] != '-') {
        digits.remove_prefix(1); // from_chars takes no plus sign
    }
    float value = 0.0F;
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        problem.raise(line, std::string(token) + " is outside the range of a 32-bit float");
    }
    if (result.ec != std::errc() || result.ptr != digits.data() + digits.size()) {
        // Appended piece by piece: GCC 12 at -O3 misreads the chained operator+ as an
        // overlapping copy (-Wrestrict).
        std::string message = "\"";
        message.append(token);
        message += "\" is not a number";
        problem.raise(line, message);
    }
    return value;
}

// A motion value that is not finite would turn every statistic computed from it into NaN, with
// no error to say so.
void checkFinite(float value, std::string_view token, std::size_t line, std::size_t predictor,
                 const DesignMatrix& matrix, const SdmProblem& problem) {
    if (!std::isfinite(value)) {
        std::string message = "the value \"";
        message.append(token);
        message += "\" of predictor " + std::to_string(predictor + 1) + " (\"" +
                   matrix.predictorNames[predictor] +
                   "\") is not a finite number; motion parameters must be finite";
        problem.raise(line, message);
    }
}

// One line per data point holding exactly one whitespace-separated number per predictor. Without
// predictors the lines are empty, and the colour read before them has passed over them: the file
// may end anywhere among them.
void readValues(std::string_view content, std::size_t position, DesignMatrix& matrix,
                SdmValues values, const SdmProblem& problem) {
    const auto n = static_cast<std::size_t>(matrix.nrOfPredictors.value);
    const auto dataPoints = static_cast<std::size_t>(matrix.nrOfDataPoints.value);
    matrix.columns.assign(n, std::vector<float>(dataPoints, 0.0F));
    std::size_t line = lineNumberAt(content, position);
    for (std::size_t t = 0; t < dataPoints; ++t, ++line) {
        if (position >= content.size()) {
            if (n == 0) {
                break; // a matrix without predictors has no values to miss
            }
            problem.raise(line, "the file ends after " + std::to_string(t) + " of the " +
                                    std::to_string(dataPoints) +
                                    " data lines that NrOfDataPoints announces");
        }
        const char* const lineStart = content.data() + position;
        const void* newline = std::memchr(lineStart, '\n', content.size() - position);
        const char* const lineEnd = newline != nullptr ? static_cast<const char*>(newline)
                                                       : content.data() + content.size();
        std::size_t count = 0;
        for (const char* cursor = lineStart;;) {
            while (cursor != lineEnd && isBlank(*cursor)) {
                ++cursor;
            }
            if (cursor == lineEnd) {
                break;
            }
            const char* const tokenStart = cursor;
            while (cursor != lineEnd && !isBlank(*cursor)) {
                ++cursor;
            }
            if (count < n) {
                const std::string_view token(tokenStart,
                                             static_cast<std::size_t>(cursor - tokenStart));
                const float value = parseValue(token, line, problem);
                if (values == SdmValues::FiniteOnly) {
                    checkFinite(value, token, line, count, matrix, problem);
                }
                matrix.columns[count][t] = value;
            }
            ++count;
        }
        if (count != n) {
            problem.raise(line, std::to_string(count) + " values where NrOfPredictors is " +
                                    std::to_string(n));
        }
        position = static_cast<std::size_t>(lineEnd - content.data()) + 1;
    }
}

// A broken invariant is a fault of the program, not of the user's data.
void checkShape(bool holds, int line, const char* condition) {
    if (!holds) {
        throw std::logic_error("assertion failure (DesignMatrix:" + std::to_string(line) +
                               "): " + condition);
    }
}

void appendInt(std::string& out, std::int32_t value) {
    char digits[16];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

// The longest text of one value with its separator and sign blank.
constexpr std::size_t kLongestValueText = 3 + kFixedSixDecimalsMaxLength;

// A separator, one more blank for a value that is not negative (-0.0 included), then the value
// widened to double in fixed notation with 6 decimals, correctly rounded and never through the
// locale. Needs kLongestValueText bytes at `out`; returns the end of the text.
char* writeValue(char* out, float value, bool first) {
    *out++ = ' ';
    if (!first) {
        *out++ = ' ';
    }
    if (value >= 0.0F) {
        *out++ = ' ';
    }
    return writeFixedSixDecimals(out, value);
}

} // namespace

DesignMatrix::DesignMatrix() {
    constexpr std::int32_t kDefaultWidth = 24;
    fileVersion.set("FileVersion", 1, kDefaultWidth);
    nrOfPredictors.set("NrOfPredictors", 0, kDefaultWidth);
    nrOfDataPoints.set("NrOfDataPoints", 0, kDefaultWidth);
    includesConstant.set("IncludesConstant", false, kDefaultWidth);
    firstConfoundPredictor.set("FirstConfoundPredictor", 0, kDefaultWidth);
}

DesignMatrix::DesignMatrix(std::string filePath, SdmValues values) : path(std::move(filePath)) {
    fileVersion.value = -1;
    const SdmProblem problem(path);
    const std::string content = readFileContent(path);
    MemoryInputStream in(content);
    readHeader(in, content, *this, problem);
    checkCounts(*this, content.size(), content.size() - in.position(), problem);
    readColours(in, *this);
    readNames(in, *this);
    readValues(content, in.position(), *this, values, problem);
}

std::string DesignMatrix::fileContent() const {
    const auto n = static_cast<std::size_t>(std::max(nrOfPredictors.value, 0));
    const auto dataPoints = static_cast<std::size_t>(std::max(nrOfDataPoints.value, 0));
    checkShape(red.size() >= n && green.size() >= n && blue.size() >= n, __LINE__,
               "red, green and blue have NrOfPredictors entries");
    checkShape(predictorNames.size() >= n, __LINE__, "predictorNames has NrOfPredictors entries");
    checkShape(columns.size() >= n, __LINE__, "columns has NrOfPredictors entries");
    for (std::size_t p = 0; p < n; ++p) {
        checkShape(columns[p].size() >= dataPoints, __LINE__,
                   "every column has NrOfDataPoints entries");
    }

    std::string out;
    out.reserve(256 + n * 32 + dataPoints * (n * 14 + 2));
    appendHeaderField(out, fileVersion, 2);
    appendHeaderField(out, nrOfPredictors, 1);
    appendHeaderField(out, nrOfDataPoints, 1);
    appendHeaderField(out, includesConstant, 1);
    appendHeaderField(out, firstConfoundPredictor, 2);

    for (std::size_t p = 0; p < n; ++p) {
        if (p > 0) {
            out += "   ";
        }
        appendInt(out, red[p]);
        out += ' ';
        appendInt(out, green[p]);
        out += ' ';
        appendInt(out, blue[p]);
    }
    out += kLineEnd;

    for (std::size_t p = 0; p < n; ++p) {
        if (p > 0) {
            out += ' ';
        }
        out += '"';
        out += predictorNames[p];
        out += '"';
    }
    out += kLineEnd;

    // Each data line is formatted into a buffer and appended whole.
    const std::string_view lineEnd = kLineEnd;
    std::vector<char> line(n * kLongestValueText + lineEnd.size());
    for (std::size_t t = 0; t < dataPoints; ++t) {
        char* cursor = line.data();
        for (std::size_t p = 0; p < n; ++p) {
            cursor = writeValue(cursor, columns[p][t], p == 0);
        }
        cursor = std::copy(lineEnd.begin(), lineEnd.end(), cursor);
        out.append(line.data(), cursor);
    }
    return out;
}

void DesignMatrix::save() const {
    writeFileAtomically(path, fileContent());
}

void DesignMatrix::saveAs(std::string newPath) {
    path = std::move(newPath);
    save();
}

} // namespace qm
