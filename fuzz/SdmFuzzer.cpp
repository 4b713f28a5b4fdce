// The SDM reader on arbitrary bytes. Every input is written to a file and read as a design
// matrix; a refusal must be a file error naming the file. A matrix that reads must survive the
// trip through the writer: the written file reads back with the same header, colours and names,
// and every value as the writer rounded it to 6 decimals.
#include "DesignMatrix.h"
#include "FuzzSupport.h"

#include <charconv>
#include <cmath>
#include <optional>

namespace {

using qm::DesignMatrix;
using qm::fuzz::fail;

// The float that a value reads back as after the writer printed it with 6 decimals.
float writtenAndReadBack(float value) {
    char text[80];
    const auto printed = std::to_chars(text, text + sizeof text, static_cast<double>(value),
                                       std::chars_format::fixed, 6);
    float back = 0.0F;
    std::from_chars(text, printed.ptr, back);
    return back;
}

// The writer keeps a field's value column, and puts at least one blank after the colon.
template <typename Field> std::int32_t writtenWidth(const Field& field) {
    const auto keyLength = static_cast<std::int32_t>(field.name.size()) + 1;
    return field.width > keyLength ? field.width : keyLength + 1;
}

template <typename Field>
void expectSameField(const Field& original, const Field& back, const char* what) {
    if (original.present != back.present ||
        (original.present && (original.value != back.value || original.name != back.name ||
                              writtenWidth(original) != back.width))) {
        fail(std::string("the header field ") + what + " changed on its way through the writer");
    }
}

void expectSameMatrix(const DesignMatrix& original, const DesignMatrix& back) {
    expectSameField(original.fileVersion, back.fileVersion, "FileVersion");
    expectSameField(original.nrOfPredictors, back.nrOfPredictors, "NrOfPredictors");
    expectSameField(original.nrOfDataPoints, back.nrOfDataPoints, "NrOfDataPoints");
    expectSameField(original.includesConstant, back.includesConstant, "IncludesConstant");
    expectSameField(original.firstConfoundPredictor, back.firstConfoundPredictor,
                    "FirstConfoundPredictor");
    if (original.red != back.red || original.green != back.green || original.blue != back.blue) {
        fail("the colours changed on their way through the writer");
    }
    if (original.predictorNames != back.predictorNames) {
        fail("the predictor names changed on their way through the writer");
    }
    if (original.columns.size() != back.columns.size()) {
        fail("the number of columns changed on its way through the writer");
    }
    for (std::size_t p = 0; p < original.columns.size(); ++p) {
        if (original.columns[p].size() != back.columns[p].size()) {
            fail("a column's length changed on its way through the writer");
        }
        for (std::size_t t = 0; t < original.columns[p].size(); ++t) {
            const float expected = writtenAndReadBack(original.columns[p][t]);
            const float got = back.columns[p][t];
            if (!(got == expected || (std::isnan(got) && std::isnan(expected)))) {
                fail("value " + std::to_string(t) + " of predictor " + std::to_string(p) +
                     " changed on its way through the writer");
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const qm::fuzz::ScratchFolder scratch("sdm");
    const std::string input = scratch.write("input_3DMC.sdm", qm::fuzz::bytesOf(data, size));

    std::optional<DesignMatrix> matrix;
    if (!qm::fuzz::readingRefusesOnlyWithFileErrors([&] { matrix.emplace(input); })) {
        return 0;
    }
    DesignMatrix written = *matrix;
    written.saveAs(scratch.path("written_3DMC.sdm"));
    std::optional<DesignMatrix> back;
    try {
        back.emplace(written.path);
    } catch (const std::exception& error) {
        fail(std::string("the reader refuses what the writer wrote: ") + error.what());
    }
    expectSameMatrix(*matrix, *back);
    return 0;
}
