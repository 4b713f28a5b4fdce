// Reading the STC slice data of an FMR project: samples only, slice-major, then volume, row,
// column; 32-bit floats for DataType 2, 16-bit signed integers otherwise, little-endian.
//
// Every size comes from the FMR header and is checked before anything is allocated or opened:
// a header that lost a key or holds nonsense must give a message that names the file, not an
// allocation failure or a crash.
#include "FileContent.h"
#include "FileErrors.h"
#include "FmrProject.h"

#include <cstring>
#include <fstream>
#include <limits>
#include <string>

namespace qm {
namespace {

constexpr std::uint64_t kMaxCount = std::numeric_limits<std::int32_t>::max();

// Memory that a header may demand beyond what its STC file holds: a short file reads as zeros,
// but a header of absurd sizes over a small file must not make the host's process allocate and
// clear gigabytes. No functional run comes near this per volume.
constexpr std::uint64_t kUnbackedBytesAllowed = 256ULL * 1024 * 1024;

FileFormatError headerError(const FmrProject& project, const std::string& problem) {
    return FileFormatError("The FMR project " + project.path + " " + problem);
}

// A count from the header that must be present and not negative.
std::int32_t requiredCount(const FmrProject& project, const IntField& field, const char* key) {
    if (!field.present) {
        throw headerError(project, std::string("has no \"") + key +
                                       "\" entry, so its slice data cannot be read.");
    }
    if (field.value < 0) {
        throw headerError(project, std::string("gives \"") + key + " " +
                                       std::to_string(field.value) +
                                       "\"; sizes and counts cannot be negative.");
    }
    return field.value;
}

std::string sizeText(const VolumeDimensions& dim) {
    return std::to_string(dim.x) + " x " + std::to_string(dim.y) + " x " + std::to_string(dim.z);
}

// Where the samples of a run lie in its STC file.
struct StcLayout {
    VolumeDimensions dim;
    std::uint64_t volumes = 0;
    std::uint64_t sliceSamples = 0; // columns x rows
    std::uint64_t sampleSize = 2;   // bytes
    bool floatSamples = false;

    std::uint64_t sliceOffset(std::int32_t z, std::int32_t v) const {
        return ((static_cast<std::uint64_t>(z) * volumes + static_cast<std::uint64_t>(v)) *
                sliceSamples) *
               sampleSize;
    }
    // At most (2^31 - 1)^2 samples of 4 bytes: this fits 64 bits.
    std::uint64_t fileBytes() const {
        return sliceSamples * static_cast<std::uint64_t>(dim.z) * volumes * sampleSize;
    }
};

StcLayout stcLayout(const FmrProject& project) {
    StcLayout layout;
    layout.dim = project.volumeDimensions();
    layout.volumes =
        static_cast<std::uint64_t>(requiredCount(project, project.nrOfVolumes, "NrOfVolumes:"));
    if (!project.prefix.present) {
        throw headerError(project, "has no \"Prefix:\" entry naming its STC file.");
    }
    layout.sliceSamples =
        static_cast<std::uint64_t>(layout.dim.x) * static_cast<std::uint64_t>(layout.dim.y);
    layout.floatSamples = project.dataType.present && project.dataType.value == 2;
    layout.sampleSize = layout.floatSamples ? 4 : 2;
    return layout;
}

std::ifstream openStc(const FmrProject& project) {
    const std::string stcFile = project.stcPath();
    return openFileForReading(stcFile, std::ios::binary, "Failed opening STC for reading: ");
}

std::uint64_t sizeOfOpenFile(std::ifstream& in) {
    in.seekg(0, std::ios::end);
    const std::streamoff end = in.tellg();
    in.clear();
    in.seekg(0);
    return end > 0 ? static_cast<std::uint64_t>(end) : 0;
}

// Refuses to hold `samples` samples in memory when that is far more than the STC file can fill.
void checkMemoryIsBackedByFile(const FmrProject& project, std::uint64_t samples,
                               const StcLayout& layout, std::uint64_t fileBytes) {
    const std::uint64_t memoryBytes = samples * sizeof(float);
    if (memoryBytes > kUnbackedBytesAllowed && fileBytes < samples * layout.sampleSize) {
        throw headerError(project, "describes " + std::to_string(samples) +
                                       " samples in volumes of " + sizeText(layout.dim) +
                                       " voxels, but its STC file " + project.stcPath() +
                                       " holds only " + std::to_string(fileBytes) + " bytes.");
    }
}

// Converts `count` little-endian samples to floats; a 16-bit sample keeps its integer value.
void decodeSamples(const unsigned char* bytes, std::size_t count, bool floatSamples,
                   float* target) {
    for (std::size_t i = 0; i < count; ++i) {
        if (floatSamples) {
            const unsigned char* sample = bytes + i * 4;
            const std::uint32_t bits = static_cast<std::uint32_t>(sample[0]) |
                                       static_cast<std::uint32_t>(sample[1]) << 8 |
                                       static_cast<std::uint32_t>(sample[2]) << 16 |
                                       static_cast<std::uint32_t>(sample[3]) << 24;
            std::memcpy(&target[i], &bits, sizeof bits);
        } else {
            const unsigned char* sample = bytes + i * 2;
            const auto bits = static_cast<std::uint16_t>(sample[0] | sample[1] << 8);
            target[i] = static_cast<float>(static_cast<std::int16_t>(bits));
        }
    }
}

// Reads up to `samples` samples at the stream's position into `target`; returns how many
// were there.
std::uint64_t readSamples(std::ifstream& in, const StcLayout& layout, std::uint64_t samples,
                          std::vector<unsigned char>& bytes, float* target) {
    bytes.resize(static_cast<std::size_t>(samples * layout.sampleSize));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    const auto got = static_cast<std::uint64_t>(in.gcount()) / layout.sampleSize;
    decodeSamples(bytes.data(), static_cast<std::size_t>(got), layout.floatSamples, target);
    return got;
}

// A size of the grid from the header: a grid without columns, rows or slices holds no voxel to
// measure, and every later step would have nothing to work on.
std::int32_t requiredSize(const FmrProject& project, const IntField& field, const char* key,
                          const char* unit) {
    const std::int32_t size = requiredCount(project, field, key);
    if (size == 0) {
        throw headerError(project, std::string("gives \"") + key +
                                       " 0\": a run needs at least one " + unit +
                                       " in every volume.");
    }
    return size;
}

} // namespace

VolumeDimensions FmrProject::volumeDimensions() const {
    const VolumeDimensions dim{requiredSize(*this, resolutionX, "ResolutionX:", "column"),
                               requiredSize(*this, resolutionY, "ResolutionY:", "row"),
                               requiredSize(*this, nrOfSlices, "NrOfSlices:", "slice")};
    const std::uint64_t voxels = static_cast<std::uint64_t>(dim.x) *
                                 static_cast<std::uint64_t>(dim.y) *
                                 static_cast<std::uint64_t>(dim.z);
    if (voxels > kMaxCount) {
        throw headerError(*this, "describes volumes of " + sizeText(dim) +
                                     " voxels, more than the 2147483647 one volume can hold.");
    }
    return dim;
}

void FmrProject::readSliceData() {
    const StcLayout layout = stcLayout(*this);
    const std::uint64_t samples = layout.sliceSamples * static_cast<std::uint64_t>(layout.dim.z);
    if (samples * layout.volumes > kMaxCount) {
        throw headerError(*this, "describes " + std::to_string(layout.volumes) + " volumes of " +
                                     sizeText(layout.dim) +
                                     " voxels, more than the 2147483647 samples that can be "
                                     "held in memory at once.");
    }
    std::ifstream in = openStc(*this);
    checkMemoryIsBackedByFile(*this, samples * layout.volumes, layout, sizeOfOpenFile(in));
    std::vector<Volume> read;
    read.reserve(static_cast<std::size_t>(layout.volumes));
    for (std::uint64_t v = 0; v < layout.volumes; ++v) {
        read.emplace_back(layout.dim); // every element 0: a short file leaves zeros
    }
    std::vector<unsigned char> bytes;
    // Slices without a sample have nothing to read, however many there are.
    for (std::int32_t z = 0; layout.sliceSamples > 0 && z < layout.dim.z; ++z) {
        for (auto& volume : read) {
            float* slice = volume.data.data() + layout.sliceSamples * static_cast<std::uint64_t>(z);
            readSamples(in, layout, layout.sliceSamples, bytes, slice);
        }
    }
    volumes = std::move(read);
}

StcVolume FmrProject::readVolume(std::int32_t index, ShortStcFile shortFile) const {
    const StcLayout layout = stcLayout(*this);
    if (layout.volumes == 0) {
        throw headerError(*this, "holds no volumes (\"NrOfVolumes: 0\").");
    }
    if (index < 0 || static_cast<std::uint64_t>(index) >= layout.volumes) {
        throw headerError(*this, "holds " + std::to_string(layout.volumes) +
                                     " volumes; there is no volume " + std::to_string(index) + ".");
    }
    std::ifstream in = openStc(*this);
    StcVolume result;
    result.fileBytes = sizeOfOpenFile(in);
    result.expectedBytes = layout.fileBytes();
    // The volume's last sample lies in its last slice, the furthest into the file.
    const std::uint64_t volumeEnd =
        layout.sliceOffset(layout.dim.z - 1, index) + layout.sliceSamples * layout.sampleSize;
    if (shortFile == ShortStcFile::Refuse && result.fileBytes < volumeEnd) {
        throw headerError(*this, "describes volumes of " + sizeText(layout.dim) + " voxels of " +
                                     (layout.floatSamples ? "32-bit float" : "16-bit") +
                                     " samples, but its STC file " + stcPath() + " holds " +
                                     std::to_string(result.fileBytes) + " bytes; volume " +
                                     std::to_string(index) + " needs " + std::to_string(volumeEnd) +
                                     ".");
    }
    checkMemoryIsBackedByFile(*this, layout.sliceSamples * static_cast<std::uint64_t>(layout.dim.z),
                              layout, result.fileBytes);
    result.volume = Volume(layout.dim);

    std::vector<unsigned char> bytes;
    // Slices without a sample have nothing to read, however many there are.
    for (std::int32_t z = 0; layout.sliceSamples > 0 && z < layout.dim.z; ++z) {
        float* slice =
            result.volume.data.data() + layout.sliceSamples * static_cast<std::uint64_t>(z);
        const std::uint64_t offset = layout.sliceOffset(z, index);
        std::uint64_t got = 0;
        if (offset < result.fileBytes) {
            in.clear();
            in.seekg(static_cast<std::streamoff>(offset));
            got = readSamples(in, layout, layout.sliceSamples, bytes, slice);
        }
        result.missingSamples += layout.sliceSamples - got;
    }
    return result;
}

} // namespace qm
