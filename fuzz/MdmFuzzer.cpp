// The MDM reader on arbitrary bytes, without the path repair (which asks the user). A refusal
// must be a file error; an MDM that reads must write back to a file that reads again with the
// same header and the same study lists (the count of studies then being that of the lines that
// held one).
#include "FuzzSupport.h"
#include "MultiStudyDesignMatrix.h"

#include <optional>

namespace {

using qm::MultiStudyDesignMatrix;
using qm::fuzz::fail;

void expectSameMdm(const MultiStudyDesignMatrix& original, const MultiStudyDesignMatrix& back) {
    if (original.fileVersion != back.fileVersion ||
        original.typeOfFunctionalData != back.typeOfFunctionalData ||
        original.rfxGlm != back.rfxGlm || original.pscTransformation != back.pscTransformation ||
        original.zTransformation != back.zTransformation ||
        original.separatePredictors != back.separatePredictors ||
        back.nrOfStudies != static_cast<std::int32_t>(original.functionalDataFiles.size())) {
        fail("the MDM header changed on its way through the writer");
    }
    if (original.functionalDataFiles != back.functionalDataFiles ||
        original.designMatrixFiles != back.designMatrixFiles ||
        original.extraFiles != back.extraFiles ||
        original.extraFileStudies != back.extraFileStudies) {
        fail("the MDM study lines changed on their way through the writer");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const qm::fuzz::ScratchFolder scratch("mdm");
    const std::string input = scratch.write("input_3DMC.mdm", qm::fuzz::bytesOf(data, size));

    std::optional<MultiStudyDesignMatrix> mdm;
    if (!qm::fuzz::readingRefusesOnlyWithFileErrors([&] { mdm.emplace(input); })) {
        return 0;
    }
    MultiStudyDesignMatrix written = *mdm;
    written.path = scratch.path("written_3DMC.mdm");
    written.save();
    std::optional<MultiStudyDesignMatrix> back;
    try {
        back.emplace(written.path);
    } catch (const std::exception& error) {
        fail(std::string("the reader refuses what the writer wrote: ") + error.what());
    }
    expectSameMdm(*mdm, *back);
    return 0;
}
