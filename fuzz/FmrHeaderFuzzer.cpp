// The FMR project reader on arbitrary bytes, header only (no slice data). A refusal must be a
// file error; a header that reads must answer for its STC file name and its volume size
// without any other failure.
#include "FmrProject.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const qm::fuzz::ScratchFolder scratch("fmr");
    const std::string input = scratch.write("run.fmr", qm::fuzz::bytesOf(data, size));
    qm::fuzz::readingRefusesOnlyWithFileErrors([&] {
        const qm::FmrProject project(input, false);
        static_cast<void>(project.stcPath());
        static_cast<void>(project.volumeDimensions());
    });
    return 0;
}
