// The FMR project reader with its STC slice data. An input is the FMR text, a NUL byte, then
// the bytes of the STC file (which the FMR's "Prefix:" names). Three STC parts stand for files
// that are no regular file: a NUL byte followed by "pipe", "zero" or "folder" makes the STC a
// named pipe, a link to /dev/zero or a folder, which must be refused without waiting or reading
// without end.
//
// Volume 0 read with the promise that the file holds it must be refused before any memory is
// taken when it does not, whatever sizes the header gives. Beyond that, runs whose header
// describes more than kMaxSamples samples are passed over, so one input stays small; within
// that, every size and every file length must read or be refused with a file error, the whole
// run as well as its first and last volume alone.
#include "FmrProject.h"
#include "FuzzSupport.h"

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <optional>

namespace {

constexpr std::uint64_t kMaxSamples = 1U << 16;

// Puts an STC of the kind `stcBytes` asks for at `path`; false for the bytes of a regular file.
bool placeSpecialStc(const std::string& path, std::string_view stcBytes) {
    using namespace std::string_view_literals;
    std::error_code ignored;
    if (stcBytes == "\0pipe"sv) {
        static_cast<void>(::mkfifo(path.c_str(), 0644));
        return true;
    }
    if (stcBytes == "\0zero"sv) {
        std::filesystem::create_symlink("/dev/zero", path, ignored);
        return true;
    }
    if (stcBytes == "\0folder"sv) {
        std::filesystem::create_directory(path, ignored);
        return true;
    }
    return false;
}

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
    if (isPlainFileName(header->prefix.value) && split != std::string_view::npos &&
        !placeSpecialStc(scratch.path(header->prefix.value + ".stc"), stcBytes)) {
        static_cast<void>(scratch.tryWrite(header->prefix.value + ".stc", stcBytes));
    }
    // Safe at any size: the file, which is as small as the input, must hold the volume first.
    qm::fuzz::readingRefusesOnlyWithFileErrors(
        [&] { static_cast<void>(header->readVolume(0, qm::ShortStcFile::Refuse)); });
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
