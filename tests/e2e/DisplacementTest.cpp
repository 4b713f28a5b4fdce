// The "displacement" task as a user of Halvorn.exe sees it, on generated runs: which map files
// appear, what the log says, the plots, the refusals, and what the saved NIfTI files hold.
#include "FmrProject.h"
#include "HostRun.h"
#include "SyntheticRun.h"
#include "TempDir.h"

#include <gtest/gtest.h>
#include <nifti2_io.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace qm::test {
namespace {

namespace fs = std::filesystem;

struct MapOption {
    const char* parameter;
    const char* suffix; // of the path the plug-in gives the host

    // The file Halvorn.exe writes for it: NAME.nii for NAME.map.
    std::string file() const {
        const std::string name = std::string("run_3DMC") + suffix;
        return name.substr(0, name.size() - 4) + ".nii";
    }
};
// In the order the task saves them.
constexpr MapOption kMapOptions[] = {
    {"map_max_abs", "_MaxAbsolute.map"},    {"map_mean_abs", "_MeanAbsolute.map"},
    {"map_mean_rel", "_MeanRelative.map"},  {"map_max_rel", "_MaxRelative.map"},
    {"map_max_abs_x", "_MaxAbsoluteX.map"}, {"map_max_abs_y", "_MaxAbsoluteY.map"},
    {"map_max_abs_z", "_MaxAbsoluteZ.map"},
};

// A NIfTI file as a reader sees it.
struct NiftiMap {
    std::vector<std::int64_t> dim; // dim[0] .. dim[dim[0]]
    std::vector<double> voxelSize;
    double calMin = 0.0;
    double calMax = 0.0;
    std::string description;
    std::vector<float> values;
};

NiftiMap readNiftiMap(const std::string& path) {
    nifti_image* image = nifti_image_read(path.c_str(), 1);
    if (image == nullptr) {
        ADD_FAILURE() << "no NIfTI reader accepts " << path;
        return {};
    }
    NiftiMap map;
    map.dim.assign(image->dim, image->dim + image->dim[0] + 1);
    map.voxelSize = {image->dx, image->dy, image->dz};
    map.calMin = image->cal_min;
    map.calMax = image->cal_max;
    map.description = image->descrip;
    EXPECT_EQ(image->datatype, NIFTI_TYPE_FLOAT32);
    EXPECT_EQ(image->nifti_type, NIFTI_FTYPE_NIFTI1_1);
    const auto* values = static_cast<const float*>(image->data);
    map.values.assign(values, values + image->nvox);
    nifti_image_free(image);
    return map;
}

// The files in `folder` whose names end in ".map", ".nii" or ".nii.gz".
std::set<std::string> mapFiles(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.ends_with(".map") || name.ends_with(".nii") || name.ends_with(".nii.gz")) {
            names.insert(name);
        }
    }
    return names;
}

bool contains(const std::vector<std::string>& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

class DisplacementTask : public ::testing::Test {
protected:
    void SetUp() override {
        spec.directory = dir.path().string();
        spec.sizeX = 10;
        spec.sizeY = 9;
        spec.sizeZ = 6;
        spec.volumes = 12;
        spec.voxelX = spec.voxelY = spec.voxelZ = 3.0F;
        spec.jumps = 2;
        spec.seed = 11;
    }

    void generate() { files = tools::writeSyntheticRun(spec); }

    // Halvorn.exe with the generated run as its document, "sdmfile" set to its SDM, the brain
    // threshold of the generated image, and the given parameters and options.
    HostRun displacement(const std::vector<std::string>& settings,
                         const std::vector<std::string>& options = {}) {
        std::vector<std::string> arguments = {
            "displacement",         "--document", files.fmr,          "--set",
            "sdmfile=" + files.sdm, "--set",      "fmr_threshold=150"};
        for (const auto& setting : settings) {
            arguments.push_back("--set");
            arguments.push_back(setting);
        }
        arguments.insert(arguments.end(), options.begin(), options.end());
        return runHalvorn(arguments, dir.path().string());
    }

    std::vector<std::string> everyMap() const {
        std::vector<std::string> settings;
        for (const MapOption& option : kMapOptions) {
            settings.push_back(std::string(option.parameter) + "=1");
        }
        return settings;
    }

    TempDir dir;
    tools::RunSpec spec;
    tools::RunFiles files;
};

TEST_F(DisplacementTask, EveryMapOptionAloneGivesExactlyItsFile) {
    generate();
    for (const MapOption& option : kMapOptions) {
        for (const auto& name : mapFiles(dir.path())) {
            fs::remove(dir.path() / name);
        }
        const HostRun result = displacement({std::string(option.parameter) + "=1"});
        EXPECT_EQ(result.exitCode, 0) << option.parameter << "\n" << result.err;
        EXPECT_EQ(mapFiles(dir.path()), std::set<std::string>{option.file()}) << option.parameter;
        const auto saves = result.calls("ztSaveMAPsOfCurrentFMR");
        ASSERT_EQ(saves.size(), 1U) << option.parameter;
        EXPECT_EQ(saves[0]["path"], dir.file(std::string("run_3DMC") + option.suffix));
        EXPECT_EQ(saves[0]["file"], dir.file(option.file())) << "the transcript names the file";
    }
}

TEST_F(DisplacementTask, AllMapsAreSavedInTheirOrderEachWithTheDisplayRangeOfItsValues) {
    generate();
    const HostRun result = displacement(everyMap());
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const auto saves = result.calls("ztSaveMAPsOfCurrentFMR");
    const auto parameters = result.calls("ztSetMAPParametersOfCurrentFMR");
    ASSERT_EQ(saves.size(), 7U);
    ASSERT_EQ(parameters.size(), 7U);
    for (std::size_t i = 0; i < 7; ++i) {
        const std::string path = dir.file(kMapOptions[i].file());
        EXPECT_EQ(saves[i]["path"], dir.file(std::string("run_3DMC") + kMapOptions[i].suffix));
        EXPECT_EQ(saves[i]["file"], path);
        EXPECT_EQ(saves[i]["maps"], 1) << "each save writes the one map created since the last";
        EXPECT_EQ(parameters[i]["mapKind"], 1);
        EXPECT_EQ(parameters[i]["lowerValue"].get<float>(), 0.01F);
        EXPECT_EQ(parameters[i]["field28"], 0);
        const NiftiMap map = readNiftiMap(path);
        EXPECT_EQ(map.dim, (std::vector<std::int64_t>{3, 10, 9, 6}));
        EXPECT_EQ(map.voxelSize, (std::vector<double>{3.0, 3.0, 3.0}));
        const float largest = *std::max_element(map.values.begin(), map.values.end());
        EXPECT_EQ(parameters[i]["upperValue"].get<float>(), largest) << path;
        EXPECT_EQ(map.calMax, static_cast<double>(largest)) << path;
        EXPECT_FLOAT_EQ(static_cast<float>(map.calMin), 0.01F);
        EXPECT_GT(largest, 0.0F) << "the generated head moves";
        EXPECT_EQ(map.description, kMapOptions[i].file());
    }
}

TEST_F(DisplacementTask, WithEverythingOffItLogsItsThreeLinesAndSavesNothing) {
    generate();
    const HostRun result = displacement({});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(result.messageBoxes().empty());
    const auto log = result.logTexts();
    EXPECT_TRUE(contains(log, "Quelmar>  FMR size voxels: 10 x 9 x 6"));
    EXPECT_TRUE(contains(log, "Quelmar>  Start calculating voxel specific motion in 12 volumes"));
    EXPECT_TRUE(contains(log, "Quelmar>  Saving Maps"));
    EXPECT_TRUE(mapFiles(dir.path()).empty());
    EXPECT_TRUE(result.calls("ztCreateMAPForCurrentFMR").empty());
    EXPECT_TRUE(result.calls("ztPlotLine").empty());

    std::vector<std::string> read;
    for (const auto& entry : result.transcript) {
        if (entry.contains("call") && entry.contains("name") &&
            std::string(entry["call"]).rfind("ztGet", 0) == 0 && entry["name"] != "task") {
            read.push_back(entry["name"]);
        }
    }
    EXPECT_EQ(read, (std::vector<std::string>{"fmr_threshold", "map_max_abs", "map_mean_abs",
                                              "map_max_rel", "map_mean_rel", "map_max_abs_x",
                                              "map_max_abs_y", "map_max_abs_z", "plot_regular",
                                              "plot_detrended", "sdmfile", "threads"}));
}

// Maps of zeros would look like a run without motion.
TEST_F(DisplacementTask, AThresholdAboveEveryIntensityIsRefusedGivingTheRange) {
    generate();
    std::vector<std::string> settings = everyMap();
    settings.push_back("fmr_threshold=100000");
    const HostRun result = displacement(settings);
    EXPECT_EQ(result.exitCode, 1);
    ASSERT_EQ(result.messageBoxes().size(), 1U);
    const std::string message = result.messageBoxes()[0];
    EXPECT_EQ(message.rfind("Error: The brain mask is empty: no voxel of volume 0 of " + files.fmr +
                                " is brighter than \"fmr_threshold\" 100000; its intensities "
                                "range from ",
                            0),
              0U)
        << message;
    EXPECT_NE(message.find(". Choose a threshold below the brain's intensities."),
              std::string::npos)
        << message;
    EXPECT_TRUE(mapFiles(dir.path()).empty());
    EXPECT_TRUE(result.calls("ztCreateMAPForCurrentFMR").empty());
}

TEST_F(DisplacementTask, PureTranslationMovesEveryBrainVoxelByItsAmountAndNothingElse) {
    spec.constantMotion = tools::MotionParameters{1.0F, 0.0F, 0.0F, 0.0F, 0.0F, 0.0F};
    generate();
    const HostRun result =
        displacement({"map_max_abs=1", "map_mean_rel=1", "map_max_abs_x=1", "map_max_abs_y=1"});
    ASSERT_EQ(result.exitCode, 0) << result.err;

    const Volume first = FmrProject(files.fmr, false).readVolume(0).volume;
    std::vector<float> inside(first.data.size());
    for (std::size_t i = 0; i < inside.size(); ++i) {
        inside[i] = first.data[i] > 150.0F ? 1.0F : 0.0F;
    }
    ASSERT_GT(std::count(inside.begin(), inside.end(), 1.0F), 50);
    ASSERT_GT(std::count(inside.begin(), inside.end(), 0.0F), 50);

    const NiftiMap maxAbsolute = readNiftiMap(dir.file("run_3DMC_MaxAbsolute.nii"));
    EXPECT_EQ(maxAbsolute.values, inside) << "1 mm inside the mask, 0 outside";
    EXPECT_EQ(maxAbsolute.calMax, 1.0);
    EXPECT_EQ(readNiftiMap(dir.file("run_3DMC_MaxAbsoluteX.nii")).values, inside);
    const NiftiMap maxY = readNiftiMap(dir.file("run_3DMC_MaxAbsoluteY.nii"));
    EXPECT_EQ(maxY.values, std::vector<float>(inside.size(), 0.0F));
    const NiftiMap meanRelative = readNiftiMap(dir.file("run_3DMC_MeanRelative.nii"));
    for (std::size_t i = 0; i < inside.size(); ++i) {
        // Only volume 0 moves relative to its predecessor, the unmoved grid.
        EXPECT_FLOAT_EQ(meanRelative.values[i], inside[i] / 12.0F) << i;
    }
}

TEST_F(DisplacementTask, AnMdmOfTwoSdmsGivesEachItsOwnMapsBesideIt) {
    fs::create_directories(dir.path() / "a");
    fs::create_directories(dir.path() / "b");
    spec.directory = (dir.path() / "a").string();
    const tools::RunFiles first = tools::writeSyntheticRun(spec);
    spec.directory = (dir.path() / "b").string();
    spec.seed = 12;
    spec.volumes = 9;
    const tools::RunFiles second = tools::writeSyntheticRun(spec);
    writeFile(dir.file("runs_3DMC.mdm"),
              "\r\nFileVersion:          1\r\nTypeOfFunctionalData: FMR\r\n\r\n"
              "RFX-GLM:              0\r\n\r\nPSCTransformation:    0\r\n"
              "zTransformation:      0\r\nSeparatePredictors:   0\r\n\r\n"
              "NrOfStudies:          2\r\n\"" +
                  first.fmr + "\" \"" + first.sdm + "\"\r\n\"" + second.fmr + "\" \"" + second.sdm +
                  "\"\r\n");
    files = first;
    files.sdm = dir.file("runs_3DMC.mdm");

    const HostRun result = displacement({"map_max_abs=1", "map_mean_rel=1", "plot_regular=1"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(mapFiles(dir.path() / "a"),
              (std::set<std::string>{"run_3DMC_MaxAbsolute.nii", "run_3DMC_MeanRelative.nii"}));
    EXPECT_EQ(mapFiles(dir.path() / "b"),
              (std::set<std::string>{"run_3DMC_MaxAbsolute.nii", "run_3DMC_MeanRelative.nii"}));
    EXPECT_TRUE(mapFiles(dir.path()).empty());
    const auto log = result.logTexts();
    EXPECT_TRUE(contains(log, "Quelmar>  Start calculating voxel specific motion in 12 volumes"));
    EXPECT_TRUE(contains(log, "Quelmar>  Start calculating voxel specific motion in 9 volumes"));
    EXPECT_EQ(result.calls("ztPlotLine").size(), 2U) << "one plot per listed SDM";
    // Both runs are computed on the current document's grid and mask.
    const NiftiMap a = readNiftiMap((dir.path() / "a" / "run_3DMC_MaxAbsolute.nii").string());
    const NiftiMap b = readNiftiMap((dir.path() / "b" / "run_3DMC_MaxAbsolute.nii").string());
    for (std::size_t i = 0; i < a.values.size(); ++i) {
        EXPECT_EQ(a.values[i] > 0.0F, b.values[i] > 0.0F) << i;
    }
}

TEST_F(DisplacementTask, BothPlotsComeBeforeTheCalculationStarts) {
    generate();
    const HostRun result = displacement({"plot_regular=1", "plot_detrended=1"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    std::vector<std::string> sequence;
    for (const auto& entry : result.transcript) {
        if (!entry.contains("call")) {
            continue;
        }
        if (entry["call"] == "ztSetPlotTitle") {
            sequence.push_back("plot: " + entry["title"].get<std::string>());
        } else if (entry["call"] == "ztLogText") {
            sequence.push_back(entry["text"]);
        }
    }
    const auto start = std::find(sequence.begin(), sequence.end(),
                                 "Quelmar>  Start calculating voxel specific motion in 12 volumes");
    ASSERT_NE(start, sequence.end());
    EXPECT_EQ(*(start - 2), "plot: run_3DMC.sdm");
    EXPECT_EQ(*(start - 1), "plot: run_3DMC.sdm detrended  + relative RMS displacement");
    const auto lines = result.calls("ztAddLineToPlot");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back()["name"], "relative RMS displacement");
}

TEST_F(DisplacementTask, MapsOfOtherDimensionsThanTheVolumeAreRefusedAxisByAxis) {
    generate();
    const std::pair<const char*, const char*> cases[] = {
        {"10,9,7", "Error: assertion failure (quelmar:53): dim.z == header.DimZ"},
        {"10,8,6", "Error: assertion failure (quelmar:54): dim.y == header.DimY"},
        {"11,9,6", "Error: assertion failure (quelmar:55): dim.x == header.DimX"},
        {"9,8,7", "Error: assertion failure (quelmar:53): dim.z == header.DimZ"},
    };
    for (const auto& [dimensions, message] : cases) {
        const HostRun result =
            displacement({"map_max_abs=1", "map_mean_abs=1"}, {"--map-dimensions", dimensions});
        EXPECT_EQ(result.exitCode, 1) << dimensions;
        EXPECT_EQ(result.messageBoxes(), std::vector<std::string>{message}) << dimensions;
        EXPECT_TRUE(result.calls("ztSaveMAPsOfCurrentFMR").empty()) << dimensions;
        EXPECT_EQ(result.calls("ztCreateMAPForCurrentFMR").size(), 1U)
            << "the task stops at the first map";
        EXPECT_TRUE(mapFiles(dir.path()).empty()) << dimensions;
    }
}

TEST_F(DisplacementTask, MapDimensionsMustBeThreeNumbers) {
    generate();
    for (const std::string dimensions : {"10,9", "10,9,6,1", "10;9;6", "x,9,6"}) {
        const HostRun result = displacement({}, {"--map-dimensions", dimensions});
        EXPECT_EQ(result.exitCode, 2) << dimensions;
        EXPECT_NE(result.err.find("map dimensions must be X,Y,Z, got \"" + dimensions + "\""),
                  std::string::npos)
            << result.err;
    }
}

TEST_F(DisplacementTask, AMotionMatrixWithoutVolumesIsRefusedWithoutMaps) {
    generate();
    writeFile(files.sdm, "FileVersion:            1\r\n\r\nNrOfPredictors:         6\r\n"
                         "NrOfDataPoints:         0\r\nIncludesConstant:       0\r\n"
                         "FirstConfoundPredictor: 1\r\n\r\n"
                         "255 0 0   0 255 0   0 0 255   255 255 0   255 0 255   0 255 255\r\n"
                         "\"Tx\" \"Ty\" \"Tz\" \"Rx\" \"Ry\" \"Rz\"\r\n");
    const HostRun result = displacement(everyMap());
    EXPECT_EQ(result.exitCode, 1);
    ASSERT_EQ(result.messageBoxes().size(), 1U);
    const std::string message = result.messageBoxes()[0];
    EXPECT_EQ(message.rfind("Error: ", 0), 0U) << message;
    EXPECT_NE(message.find(files.sdm), std::string::npos) << message;
    EXPECT_NE(message.find("holds 0 data points"), std::string::npos) << message;
    EXPECT_TRUE(mapFiles(dir.path()).empty());
}

TEST_F(DisplacementTask, AShortStcThatHoldsVolumeZeroIsUsedAndTheLogSaysSo) {
    generate();
    // Slice-major: the last slice of volume 0 starts after five slices of all twelve volumes.
    const int sliceBytes = 10 * 9 * 2;
    const int volumeZeroEnd = (5 * 12 + 1) * sliceBytes;
    fs::resize_file(files.stc, volumeZeroEnd);
    const HostRun result = displacement({"map_max_abs=1"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(contains(result.logTexts(),
                         "Quelmar>  Warning: the STC file " + files.stc + " holds " +
                             std::to_string(volumeZeroEnd) + " of the " +
                             std::to_string(10 * 9 * 6 * 12 * 2) +
                             " bytes its FMR project describes; volume 0, from which the brain "
                             "mask is made, is complete."));
    EXPECT_EQ(mapFiles(dir.path()), std::set<std::string>{"run_3DMC_MaxAbsolute.nii"});
}

TEST_F(DisplacementTask, AHeaderWithoutAVolumeSizeIsRefusedNamingTheFmr) {
    generate();
    std::string fmr = readFile(files.fmr);
    fmr.replace(fmr.find("ResolutionX:"), 12, "Resolution_X");
    writeFile(files.fmr, fmr);
    const HostRun result = displacement(everyMap());
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.messageBoxes(),
              std::vector<std::string>{"Error: The FMR project " + files.fmr +
                                       " has no \"ResolutionX:\" entry, so its slice data cannot "
                                       "be read."});
    EXPECT_TRUE(contains(result.logTexts(), "Quelmar>  FMR size voxels: 0 x 9 x 6"));
    EXPECT_TRUE(result.calls("ztCreateMAPForCurrentFMR").empty());
}

TEST_F(DisplacementTask, AMissingStcIsNamed) {
    generate();
    fs::remove(files.stc);
    const HostRun result = displacement({"map_max_abs=1"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.messageBoxes(),
              std::vector<std::string>{"Error: Failed opening STC for reading: " + files.stc});
}

} // namespace
} // namespace qm::test

namespace qm::test {
namespace {

// ---- Where the maps lie

// `text` with the value of the FMR entry "KEY:" replaced.
std::string withFmrEntry(std::string text, const std::string& key, const std::string& value) {
    const auto start = text.find("\n" + key + ":");
    EXPECT_NE(start, std::string::npos) << key;
    const auto valueStart = text.find_first_not_of(' ', start + key.size() + 2);
    const auto end = text.find("\r\n", valueStart);
    return text.replace(valueStart, end - valueStart, value);
}

std::string decimal(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.9g", value);
    return buffer;
}

using Point = std::array<double, 3>;

Point voxelCentre(const nifti_dmat44& matrix, double i, double j, double k) {
    Point world{};
    for (int axis = 0; axis < 3; ++axis) {
        world[static_cast<std::size_t>(axis)] = matrix.m[axis][0] * i + matrix.m[axis][1] * j +
                                                matrix.m[axis][2] * k + matrix.m[axis][3];
    }
    return world;
}

struct Placement {
    int qformCode = 0;
    int sformCode = 0;
    nifti_dmat44 qform{};
    nifti_dmat44 sform{};
};

Placement placementOf(const std::string& path) {
    nifti_image* image = nifti_image_read(path.c_str(), 0);
    if (image == nullptr) {
        ADD_FAILURE() << "no NIfTI reader accepts " << path;
        return {};
    }
    const Placement placement{image->qform_code, image->sform_code, image->qto_xyz, image->sto_xyz};
    nifti_image_free(image);
    return placement;
}

// A run whose slices are turned 30 degrees about the scanner's z axis, tilted 20 degrees and
// moved away from the scanner's centre: every voxel centre of the maps, through the NIfTI
// library's own qform and sform matrices, lies where the FMR's position information puts it
// (LPS in the FMR, RAS in the map).
TEST_F(DisplacementTask, TheMapsLieWhereTheFmrPutsItsSlices) {
    generate();
    const double turn = 30.0 * 3.14159265358979323846 / 180.0;
    const double tilt = 20.0 * 3.14159265358979323846 / 180.0;
    const Point row = {std::cos(turn), std::sin(turn), 0.0};
    const Point column = {-std::sin(turn) * std::cos(tilt), std::cos(turn) * std::cos(tilt),
                          std::sin(tilt)};
    const Point normal = {row[1] * column[2] - row[2] * column[1],
                          row[2] * column[0] - row[0] * column[2],
                          row[0] * column[1] - row[1] * column[0]};
    const Point first = {12.5, -30.0, 7.0};
    const double sliceDistance = 3.0; // thickness 3, no gap
    Point last{};
    for (std::size_t axis = 0; axis < 3; ++axis) {
        last[axis] = first[axis] + 5 * sliceDistance * normal[axis]; // 6 slices
    }
    std::string fmr = readFile(files.fmr);
    const char* axes = "XYZ";
    for (std::size_t axis = 0; axis < 3; ++axis) {
        const std::string letter(1, axes[axis]);
        fmr = withFmrEntry(fmr, "Slice1Center" + letter, decimal(first[axis]));
        fmr = withFmrEntry(fmr, "SliceNCenter" + letter, decimal(last[axis]));
        fmr = withFmrEntry(fmr, "RowDir" + letter, decimal(row[axis]));
        fmr = withFmrEntry(fmr, "ColDir" + letter, decimal(column[axis]));
    }
    writeFile(files.fmr, fmr);

    const HostRun result = displacement({"map_max_abs=1"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const Placement placement = placementOf(dir.file("run_3DMC_MaxAbsolute.nii"));
    EXPECT_EQ(placement.qformCode, NIFTI_XFORM_SCANNER_ANAT);
    EXPECT_EQ(placement.sformCode, NIFTI_XFORM_SCANNER_ANAT);
    // Grid of 10 x 9 x 6 voxels of 3 mm.
    for (const auto& [i, j, k] : std::vector<Point>{
             {0, 0, 0}, {9, 0, 0}, {0, 8, 0}, {0, 0, 5}, {9, 8, 5}, {4.5, 4, 0}, {4.5, 4, 5}}) {
        Point lps{};
        for (std::size_t axis = 0; axis < 3; ++axis) {
            lps[axis] = first[axis] + (i - 4.5) * 3.0 * row[axis] + (j - 4.0) * 3.0 * column[axis] +
                        k * (last[axis] - first[axis]) / 5.0;
        }
        const Point ras = {-lps[0], -lps[1], lps[2]};
        const Point bySform = voxelCentre(placement.sform, i, j, k);
        const Point byQform = voxelCentre(placement.qform, i, j, k);
        for (std::size_t axis = 0; axis < 3; ++axis) {
            // The header holds single-precision numbers.
            EXPECT_NEAR(bySform[axis], ras[axis], 1e-4) << i << " " << j << " " << k;
            EXPECT_NEAR(byQform[axis], ras[axis], 1e-4) << i << " " << j << " " << k;
        }
    }
}

TEST_F(DisplacementTask, TheGeneratedAxialRunIsCentredOnTheScannerInRas) {
    generate();
    const HostRun result = displacement({"map_max_abs=1"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const Placement placement = placementOf(dir.file("run_3DMC_MaxAbsolute.nii"));
    EXPECT_EQ(placement.qformCode, NIFTI_XFORM_SCANNER_ANAT);
    // RowDir +x and ColDir +y in LPS point left and back: x and y fall in RAS.
    const Point origin = voxelCentre(placement.qform, 0, 0, 0);
    EXPECT_NEAR(origin[0], 4.5 * 3.0, 1e-5);
    EXPECT_NEAR(origin[1], 4.0 * 3.0, 1e-5);
    EXPECT_NEAR(origin[2], -2.5 * 3.0, 1e-5);
    const Point far = voxelCentre(placement.sform, 9, 8, 5);
    EXPECT_NEAR(far[0], -4.5 * 3.0, 1e-5);
    EXPECT_NEAR(far[1], -4.0 * 3.0, 1e-5);
    EXPECT_NEAR(far[2], 2.5 * 3.0, 1e-5);
}

// The header used to say scanner space for a grid merely centred on the origin.
TEST_F(DisplacementTask, WithoutUsablePositionInformationThePlacementIsUnknown) {
    generate();
    const std::string generated = readFile(files.fmr);
    const auto blockStart = generated.find("PositionInformationFromImageHeaders");
    const auto blockEnd = generated.find("\r\n", generated.find("GapThickness:"));
    const std::string withoutBlock =
        generated.substr(0, blockStart) + generated.substr(blockEnd + 2);
    const std::string parallel = withFmrEntry(
        withFmrEntry(withFmrEntry(generated, "ColDirX", "1"), "ColDirY", "0"), "ColDirZ", "0");
    const std::pair<std::string, std::string> cases[] = {
        {withoutBlock, ""},
        {parallel, "Halvorn.exe: warning: the position information of the document " + files.fmr +
                       " cannot place its slices (\"RowDir\" and \"ColDir\" are parallel), so "
                       "maps are saved without a position in the scanner\n"},
    };
    for (const auto& [fmr, warning] : cases) {
        writeFile(files.fmr, fmr);
        const HostRun result = displacement({"map_max_abs=1"});
        ASSERT_EQ(result.exitCode, 0) << result.err;
        if (warning.empty()) {
            EXPECT_EQ(result.err.find("position information"), std::string::npos) << result.err;
        } else {
            EXPECT_EQ(result.err.rfind(warning, 0), 0U) << result.err;
        }
        const Placement placement = placementOf(dir.file("run_3DMC_MaxAbsolute.nii"));
        EXPECT_EQ(placement.qformCode, NIFTI_XFORM_UNKNOWN);
        EXPECT_EQ(placement.sformCode, NIFTI_XFORM_UNKNOWN);
    }
}

// Readers and viewers go by the extension: NAME.map was refused, NAME.nii is opened.
TEST_F(DisplacementTask, WithGzipMapsTheMapsAreCompressedNiftiFilesWhereTheBuildCanCompress) {
    generate();
    const HostRun plain = displacement({"map_max_abs=1", "map_mean_rel=1"});
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    const HostRun compressed = displacement({"map_max_abs=1", "map_mean_rel=1"}, {"--gzip-maps"});
    if (runsUnderLauncher()) {
        // The Windows build writes maps with its built-in writer, which has no compression.
        EXPECT_EQ(compressed.exitCode, 2);
        EXPECT_EQ(compressed.err,
                  "Halvorn.exe: error: --gzip-maps needs the NIfTI library's compression, which "
                  "this build of Halvorn.exe does not have; without the option maps are saved as "
                  "NAME.nii\n");
        EXPECT_TRUE(compressed.calls("ztLogText").empty());
        return;
    }
    ASSERT_EQ(compressed.exitCode, 0) << compressed.err;
    EXPECT_EQ(mapFiles(dir.path()),
              (std::set<std::string>{"run_3DMC_MaxAbsolute.nii", "run_3DMC_MaxAbsolute.nii.gz",
                                     "run_3DMC_MeanRelative.nii", "run_3DMC_MeanRelative.nii.gz"}));
    const auto saves = compressed.calls("ztSaveMAPsOfCurrentFMR");
    ASSERT_EQ(saves.size(), 2U);
    EXPECT_EQ(saves[0]["file"], dir.file("run_3DMC_MaxAbsolute.nii.gz"));
    for (const std::string name : {"run_3DMC_MaxAbsolute", "run_3DMC_MeanRelative"}) {
        const std::string gz = readFile(dir.file(name + ".nii.gz"));
        ASSERT_GE(gz.size(), 2U);
        EXPECT_EQ(gz.substr(0, 2), "\x1f\x8b") << "a gzip stream";
        EXPECT_LT(gz.size(), fs::file_size(dir.file(name + ".nii")));
        const NiftiMap fromGz = readNiftiMap(dir.file(name + ".nii.gz"));
        const NiftiMap fromNii = readNiftiMap(dir.file(name + ".nii"));
        EXPECT_EQ(fromGz.values, fromNii.values) << name;
        EXPECT_EQ(fromGz.dim, fromNii.dim) << name;
        EXPECT_EQ(fromGz.calMax, fromNii.calMax) << name;
        EXPECT_EQ(fromGz.description, name + ".nii.gz");
    }
}

TEST_F(DisplacementTask, AMapThatCannotBeSavedIsAnErrorAndLeavesNoTemporaryFile) {
    generate();
    // Something that is not a file stands where the map belongs: renaming over it fails, for
    // root too.
    fs::create_directory(dir.path() / "run_3DMC_MaxAbsolute.nii");
    const HostRun result = displacement({"map_max_abs=1", "map_mean_abs=1"});
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_NE(result.err.find("Error: cannot save maps to " + dir.file("run_3DMC_MaxAbsolute.nii") +
                              ": "),
              std::string::npos)
        << result.err;
    EXPECT_EQ(mapFiles(dir.path()),
              (std::set<std::string>{"run_3DMC_MaxAbsolute.nii", "run_3DMC_MeanAbsolute.nii"}))
        << "nothing else, no temporary file";
    EXPECT_TRUE(fs::is_directory(dir.path() / "run_3DMC_MaxAbsolute.nii"));
    // The failed save took its map along: the next file holds its own map only, not a 4-D
    // image whose first volume is the map that could not be saved.
    const NiftiMap next = readNiftiMap(dir.file("run_3DMC_MeanAbsolute.nii"));
    EXPECT_EQ(next.dim, (std::vector<std::int64_t>{3, 10, 9, 6}));
    EXPECT_EQ(next.description, "run_3DMC_MeanAbsolute.nii");
    const auto saves = result.calls("ztSaveMAPsOfCurrentFMR");
    ASSERT_EQ(saves.size(), 2U);
    EXPECT_EQ(saves[0]["maps"], 1);
    EXPECT_EQ(saves[0]["result"], 0);
    EXPECT_TRUE(saves[0]["file"].is_null());
    EXPECT_EQ(saves[1]["maps"], 1);
    EXPECT_EQ(saves[1]["result"], 1);
}

} // namespace
} // namespace qm::test
