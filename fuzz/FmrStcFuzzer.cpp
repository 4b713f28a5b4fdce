// The FMR project reader with its STC slice data. An input is the FMR text, a NUL byte, then
// the bytes of the STC file (which the FMR's "Prefix:" names). Runs whose header describes more
// than kMaxSamples samples are passed over, so one input stays small; within that, every size
// and every file length must read or be refused with a file error, the whole run as well as its
// first and last volume alone.
#include "FmrProject.h"
#include "FuzzSupport.h"

#include <cstdint>
#include <optional>

namespace {

constexpr std::uint64_t kMaxSamples = 1U << 16;

// The STC is written only under a plain file name inside the scratch folder.
bool isPlainFileName(const std::string& name) {
    return !name.empty() && name.find_first_of("/\\") == std::string::npos && name != "." &&
           name != "..";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const qm::fuzz::ScratchFolder scratch("fmr-stc");
    scratch.clear();
    const std::string_view input = qm::fuzz::bytesOf(data, size);
    const std::size_t split = input.find('\0');
    const std::string_view fmrText = input.substr(0, split);
    const std::string_view stcBytes =
        split == std::string_view::npos ? std::string_view() : input.substr(split + 1);
    const std::string fmrPath = scratch.write("run.fmr", fmrText);

    std::optional<qm::FmrProject> header;
    if (!qm::fuzz::readingRefusesOnlyWithFileErrors([&] { header.emplace(fmrPath, false); })) {
        return 0;
    }
    if (isPlainFileName(header->prefix.value) && split != std::string_view::npos) {
        static_cast<void>(scratch.tryWrite(header->prefix.value + ".stc", stcBytes));
    }
    std::uint64_t samples = 0;
    if (!qm::fuzz::readingRefusesOnlyWithFileErrors([&] {
            const qm::VolumeDimensions dim = header->volumeDimensions();
            samples = static_cast<std::uint64_t>(dim.x) * static_cast<std::uint64_t>(dim.y) *
                      static_cast<std::uint64_t>(dim.z) *
                      static_cast<std::uint64_t>(std::max(header->nrOfVolumes.value, 1));
        }) ||
        samples > kMaxSamples) {
        return 0;
    }

    qm::fuzz::readingRefusesOnlyWithFileErrors([&] {
        const qm::FmrProject run(fmrPath, true);
        if (run.volumes.size() != static_cast<std::size_t>(run.nrOfVolumes.value)) {
            qm::fuzz::fail("the run holds another number of volumes than its header announces");
        }
    });
    qm::fuzz::readingRefusesOnlyWithFileErrors([&] {
        static_cast<void>(header->readVolume(0));
        static_cast<void>(header->readVolume(header->nrOfVolumes.value - 1));
    });
    return 0;
}
