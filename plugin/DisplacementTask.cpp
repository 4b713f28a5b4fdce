// The "displacement" task routine of quelmar: for the current FMR document and each motion
// design matrix named by "sdmfile" it plots the motion if asked, computes how far every brain
// voxel moved, and saves the requested statistics as maps beside the motion file.
#include "quelmar.h"

#include "BrainMask.h"
#include "DesignMatrix.h"
#include "FmrProject.h"
#include "HostPlotWindows.h"
#include "HostServices.h"
#include "MapOutput.h"
#include "MotionLoader.h"
#include "PathHelpers.h"
#include "PredictorTransforms.h"
#include "RelativeRmsDisplacement.h"
#include "VoxelDisplacement.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using qm::DesignMatrix;
using qm::MaskedDisplacement;

// Lower end of every map's display range.
constexpr float kMapLowerValue = 0.01F;

// More threads than this only add buffers and stacks: no machine the host runs on has the cores.
constexpr int kMostThreads = 256;

struct DisplacementOptions {
    float fmrThreshold = 0.0F;
    bool mapMaxAbsolute = false;
    bool mapMeanAbsolute = false;
    bool mapMaxRelative = false;
    bool mapMeanRelative = false;
    bool mapMaxAbsoluteX = false;
    bool mapMaxAbsoluteY = false;
    bool mapMaxAbsoluteZ = false;
    bool plotRegular = false;
    bool plotDetrended = false;
    std::string sdmFile;
    std::size_t threads = 1;
};

// "threads": 0 and 1 both mean the host's own thread alone.
std::size_t readThreads() {
    const int threads = qm::hostIntParameter("threads");
    if (threads < 0 || threads > kMostThreads) {
        throw std::runtime_error("The parameter \"threads\" is " + std::to_string(threads) +
                                 ": give the number of threads for the displacement, from 0 to " +
                                 std::to_string(kMostThreads) + " (0 or 1: one thread).");
    }
    return threads == 0 ? 1 : static_cast<std::size_t>(threads);
}

// The task's dialog parameters, read once, in the order the host's dialog lists them.
DisplacementOptions readDisplacementOptions() {
    DisplacementOptions options;
    options.fmrThreshold = qm::hostFloatParameter("fmr_threshold");
    options.mapMaxAbsolute = qm::hostIntParameter("map_max_abs") != 0;
    options.mapMeanAbsolute = qm::hostIntParameter("map_mean_abs") != 0;
    options.mapMaxRelative = qm::hostIntParameter("map_max_rel") != 0;
    options.mapMeanRelative = qm::hostIntParameter("map_mean_rel") != 0;
    options.mapMaxAbsoluteX = qm::hostIntParameter("map_max_abs_x") != 0;
    options.mapMaxAbsoluteY = qm::hostIntParameter("map_max_abs_y") != 0;
    options.mapMaxAbsoluteZ = qm::hostIntParameter("map_max_abs_z") != 0;
    options.plotRegular = qm::hostIntParameter("plot_regular") != 0;
    options.plotDetrended = qm::hostIntParameter("plot_detrended") != 0;
    options.sdmFile = qm::hostStringParameter("sdmfile");
    options.threads = readThreads();
    return options;
}

// The detrended predictors together with the relative RMS displacement of the motion as
// loaded, so that the user sees when the head moved.
void plotDetrendedWithDisplacement(const DesignMatrix& motion) {
    std::vector<float> displacement = qm::computeRelativeRmsDisplacement(motion);
    DesignMatrix plotted = motion;
    qm::detrendPredictors(plotted);
    plotted.path += " detrended  + relative RMS displacement";
    qm::addPredictor(plotted, std::move(displacement), "relative RMS displacement", 250, 250, 250);
    qm::plotInHost(plotted);
}

// Hands each requested statistic to the host as a map, written straight from the masked voxels'
// values, and releases each array as soon as it is no longer needed.
void saveRequestedMaps(MaskedDisplacement& maps, const DisplacementOptions& options,
                       const qm::VolumeDimensions& grid,
                       const std::vector<std::int32_t>& maskIndices,
                       const std::string& motionPath) {
    struct MapChoice {
        bool wanted;
        std::vector<float>& values;
        const char* suffix;
    };
    // The mean relative map comes before the maximum relative one, unlike the absolute pair.
    MapChoice choices[] = {
        {options.mapMaxAbsolute, maps.maxAbsolute, "_MaxAbsolute.map"},
        {options.mapMeanAbsolute, maps.meanAbsolute, "_MeanAbsolute.map"},
        {options.mapMeanRelative, maps.meanRelative, "_MeanRelative.map"},
        {options.mapMaxRelative, maps.maxRelative, "_MaxRelative.map"},
        {options.mapMaxAbsoluteX, maps.maxAbsoluteX, "_MaxAbsoluteX.map"},
        {options.mapMaxAbsoluteY, maps.maxAbsoluteY, "_MaxAbsoluteY.map"},
        {options.mapMaxAbsoluteZ, maps.maxAbsoluteZ, "_MaxAbsoluteZ.map"},
    };
    for (MapChoice& choice : choices) {
        if (!choice.wanted) {
            choice.values = std::vector<float>();
        }
    }
    const std::string base = qm::pathWithoutExtension(motionPath);
    const std::size_t voxels = qm::elementCount(grid);
    for (MapChoice& choice : choices) {
        if (choice.wanted) {
            qm::saveMaskedValuesAsMap(grid, maskIndices, choice.values, kMapLowerValue,
                                      qm::largestMaskedElement(choice.values, maskIndices, voxels),
                                      base + choice.suffix);
            choice.values = std::vector<float>();
        }
    }
}

} // namespace

void quelmar::runDisplacementTask() {
    const DisplacementOptions options = readDisplacementOptions();
    const std::vector<DesignMatrix> motionMatrices =
        qm::loadMotionDesignMatrices(options.sdmFile, qm::chooseFileInHost);
    const FmrDocumentHeader header = qm::currentFmrHeader();
    const qm::VolumeDimensions grid{header.dimX, header.dimY, header.dimZ};
    log(">  FMR size voxels: " + std::to_string(grid.x) + " x " + std::to_string(grid.y) + " x " +
        std::to_string(grid.z));

    // The mask needs the first volume only: reading it alone keeps the memory of the task
    // independent of the length of the run.
    std::vector<std::int32_t> maskIndices;
    {
        const qm::FmrProject project(header.fmrPath, false);
        qm::requireMaskFitsDocument(project.path, project.volumeDimensions(), grid);
        // A file without the whole of volume 0 would give a mask of zeros: maps of nothing.
        const qm::StcVolume first = project.readVolume(0, qm::ShortStcFile::Refuse);
        if (first.fileIsShort()) {
            log(">  Warning: the STC file " + project.stcPath() + " holds " +
                std::to_string(first.fileBytes) + " of the " + std::to_string(first.expectedBytes) +
                " bytes its FMR project describes; volume 0, from which the brain mask is made, "
                "is complete.");
        }
        maskIndices = qm::brainMaskIndices(first.volume, options.fmrThreshold);
        qm::requireBrainVoxels(maskIndices, first.volume, options.fmrThreshold, project.path);
    }

    const qm::VoxelSize voxelSize{header.voxelSizeX, header.voxelSizeY, header.voxelSizeZ};
    for (const DesignMatrix& motion : motionMatrices) {
        if (options.plotRegular) {
            qm::plotInHost(motion);
        }
        if (options.plotDetrended) {
            plotDetrendedWithDisplacement(motion);
        }
        log(">  Start calculating voxel specific motion in " +
            std::to_string(motion.nrOfDataPoints.value) + " volumes");
        MaskedDisplacement maps =
            qm::computeMaskedDisplacement(grid, voxelSize, maskIndices, motion, options.threads);
        log(">  Saving Maps");
        saveRequestedMaps(maps, options, grid, maskIndices, motion.path);
    }
}
