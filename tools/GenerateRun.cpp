// generate_run: writes a synthetic functional run (FMR, STC, 3DMC SDM) for tests, demos and
// benchmarks. Everything it writes is fixed by --seed.
#include "SyntheticRun.h"

#include <CLI/CLI.hpp>

#include <charconv>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// "A,B,C" (or a single "A" where `allowSingle`) into numbers.
template <typename Number>
std::vector<Number> parseList(const std::string& text, std::size_t count, bool allowSingle) {
    std::vector<Number> values;
    const char* cursor = text.data();
    const char* end = text.data() + text.size();
    while (cursor <= end) {
        Number value{};
        const auto result = std::from_chars(cursor, end, value);
        if (result.ec != std::errc() || (result.ptr != end && *result.ptr != ',')) {
            throw std::invalid_argument("cannot read \"" + text + "\" as a list of numbers");
        }
        values.push_back(value);
        cursor = result.ptr + 1;
    }
    if (values.size() == 1 && allowSingle) {
        values.assign(count, values.front());
    }
    if (values.size() != count) {
        throw std::invalid_argument("\"" + text + "\" must hold " + std::to_string(count) +
                                    " numbers separated by commas");
    }
    return values;
}

} // namespace

int main(int argc, char** argv) {
    qm::tools::RunSpec spec;
    std::string size = "64,64,30";
    std::string voxel = "3";
    std::string dataType = "16";
    std::string constantMotion;
    CLI::App app("generate_run - writes a synthetic functional run: NAME.fmr, NAME.stc (a "
                 "head-shaped bright ellipsoid over a dark noisy background) and NAME_3DMC.sdm "
                 "(six motion parameters per volume with a slow drift and sudden jumps). The "
                 "same options and seed always give the same files.",
                 "generate_run");
    app.add_option("--dir", spec.directory, "Folder to write into (must exist; default .)");
    app.add_option("--name", spec.name, "Base name of the files (default run)");
    app.add_option("--size", size, "Columns,rows,slices (default 64,64,30)");
    app.add_option("--volumes", spec.volumes, "Number of volumes (default 100)");
    app.add_option("--voxel", voxel, "Voxel size in mm: one value, or x,y,z (default 3)");
    app.add_option("--data-type", dataType, "STC samples: 16 (16-bit integers) or float")
        ->check(CLI::IsMember({"16", "float"}));
    app.add_option("--seed", spec.seed, "Seed of every random choice (default 1)");
    app.add_option("--jumps", spec.jumps, "Number of sudden head movements (default 3)");
    app.add_option("--constant-motion", constantMotion,
                   "Give every volume these motion parameters instead: tx,ty,tz (mm),rx,ry,rz "
                   "(degrees)");
    CLI11_PARSE(app, argc, argv);

    try {
        const auto dimensions = parseList<std::int32_t>(size, 3, false);
        spec.sizeX = dimensions[0];
        spec.sizeY = dimensions[1];
        spec.sizeZ = dimensions[2];
        const auto voxelSizes = parseList<float>(voxel, 3, true);
        spec.voxelX = voxelSizes[0];
        spec.voxelY = voxelSizes[1];
        spec.voxelZ = voxelSizes[2];
        spec.sampleType =
            dataType == "float" ? qm::tools::SampleType::Float32 : qm::tools::SampleType::Int16;
        if (!constantMotion.empty()) {
            const auto motion = parseList<float>(constantMotion, 6, false);
            spec.constantMotion.emplace();
            std::copy(motion.begin(), motion.end(), spec.constantMotion->begin());
        }
        const auto files = qm::tools::writeSyntheticRun(spec);
        std::cout << files.fmr << '\n' << files.stc << '\n' << files.sdm << '\n';
    } catch (const std::exception& error) {
        std::cerr << "generate_run: " << error.what() << '\n';
        return 1;
    }
    return 0;
}
