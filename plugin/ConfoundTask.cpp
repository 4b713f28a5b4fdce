// The "confound" task routine of quelmar: from each motion design matrix named by "sdmfile" it
// derives the confound families (detrended, derivative, squared, delayed by one and two volumes,
// squared-delayed) and the spike predictors, plots what the user asked for, and saves each
// requested family beside the motion file under its suffix, and, when asked, all of it as one
// confound table for other analysis packages.
#include "quelmar.h"

#include "ConfoundTable.h"
#include "ConfoundTableContent.h"
#include "DesignMatrix.h"
#include "FramewiseDisplacement.h"
#include "HostPlotWindows.h"
#include "HostServices.h"
#include "LogLine.h"
#include "MotionLoader.h"
#include "PathHelpers.h"
#include "PluginTexts.h"
#include "PredictorTransforms.h"
#include "RelativeRmsDisplacement.h"
#include "SpikeDetection.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using qm::DesignMatrix;

// The values of "spike_measure": which series the spike threshold is compared with.
constexpr std::int32_t kRelativeRmsMeasure = 0;
constexpr std::int32_t kFramewiseMeasure = 1;

// A head radius beyond this many millimetres is a slip (metres for millimetres, say); it also keeps
// the radius's square far from the float range.
constexpr float kLargestHeadRadius = 1000.0F;

struct ConfoundOptions {
    float spikeThreshold = 0.0F; // millimetres
    std::int32_t spikeMeasure = kRelativeRmsMeasure;
    float headRadius = 0.0F; // millimetres; 0 for the 65 mm of kSphereRadius
    qm::SpikeNeighbours spikeNeighbours;
    bool createDetrended = false;
    bool createDerivative = false;
    bool createSpikes = false;
    bool createSquared = false;
    bool createDelayed1 = false;
    bool createDelayed1Squared = false;
    bool createDelayed2 = false;
    bool createDelayed2Squared = false;
    bool createTable = false;
    bool plotRegular = false;
    bool plotDetrended = false;
    std::string sdmFile;
};

// The task's dialog parameters, read once, in the order the host's dialog lists them.
ConfoundOptions readConfoundOptions() {
    ConfoundOptions options;
    options.spikeThreshold = qm::hostFloatParameter("spike_threshold");
    options.spikeMeasure = qm::hostIntParameter("spike_measure");
    options.headRadius = qm::hostFloatParameter("head_radius");
    options.spikeNeighbours.before = qm::hostIntParameter("spikes_before");
    options.spikeNeighbours.after = qm::hostIntParameter("spikes_after");
    options.createDetrended = qm::hostIntParameter("create_detrended") != 0;
    options.createDerivative = qm::hostIntParameter("create_derivative") != 0;
    options.createSpikes = qm::hostIntParameter("create_spikes") != 0;
    options.createSquared = qm::hostIntParameter("create_squared") != 0;
    options.createDelayed1 = qm::hostIntParameter("create_delayed1") != 0;
    options.createDelayed1Squared = qm::hostIntParameter("create_delayed1sq") != 0;
    options.createDelayed2 = qm::hostIntParameter("create_delayed2") != 0;
    options.createDelayed2Squared = qm::hostIntParameter("create_delayed2sq") != 0;
    options.createTable = qm::hostIntParameter("create_table") != 0;
    options.plotRegular = qm::hostIntParameter("plot_regular") != 0;
    options.plotDetrended = qm::hostIntParameter("plot_detrended") != 0;
    options.sdmFile = qm::hostStringParameter("sdmfile");
    return options;
}

std::string numberText(float value) {
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

[[noreturn]] void refuseParameter(const char* name, const std::string& value,
                                  const char* expected) {
    throw std::runtime_error(std::string("The parameter \"") + name + "\" is " + value + ": " +
                             expected);
}

// The options that a number out of range would turn into a wrong result are refused before any
// file is read or written.
void checkConfoundOptions(const ConfoundOptions& options) {
    if (options.spikeMeasure != kRelativeRmsMeasure && options.spikeMeasure != kFramewiseMeasure) {
        refuseParameter("spike_measure", std::to_string(options.spikeMeasure),
                        "give 0 to compare the spike threshold with the relative RMS "
                        "displacement, or 1 for the framewise displacement.");
    }
    if (!(options.headRadius >= 0.0F && options.headRadius <= kLargestHeadRadius)) {
        refuseParameter("head_radius", numberText(options.headRadius),
                        "give the head radius in millimetres, more than 0 and at most 1000, or 0 "
                        "for 65 mm.");
    }
    if (options.spikeNeighbours.before < 0) {
        refuseParameter("spikes_before", std::to_string(options.spikeNeighbours.before),
                        "give a number of volumes, 0 or more.");
    }
    if (options.spikeNeighbours.after < 0) {
        refuseParameter("spikes_after", std::to_string(options.spikeNeighbours.after),
                        "give a number of volumes, 0 or more.");
    }
}

float headRadiusOf(const ConfoundOptions& options) {
    return options.headRadius == 0.0F ? qm::kSphereRadius : options.headRadius;
}

// The detrended predictors together with the displacement series the spikes are found on and the
// spike threshold, so that the user sees which volumes cross it.
void plotDetrendedWithDisplacement(const DesignMatrix& detrended,
                                   const std::vector<float>& displacement,
                                   const char* displacementName, float threshold) {
    DesignMatrix plotted = detrended;
    plotted.path += " + Displacement for Spike Detection";
    qm::addPredictor(plotted, displacement, displacementName, 250, 250, 250);
    const auto dataPoints = static_cast<std::size_t>(std::max(plotted.nrOfDataPoints.value, 0));
    qm::addPredictor(plotted, std::vector<float>(dataPoints, threshold), "Spike threshold", 150, 0,
                     0);
    qm::plotInHost(plotted);
}

// For each column, whether standardising will scale it (or only centre it).
std::vector<bool> scaledColumns(const DesignMatrix& matrix) {
    std::vector<bool> scaled;
    for (const std::vector<float>& column : matrix.columns) {
        scaled.push_back(qm::standardizationScales(column));
    }
    return scaled;
}

void processMotionMatrix(const DesignMatrix& motion, const ConfoundOptions& options,
                         const qm::LogSink& log) {
    const DesignMatrix loaded = motion;
    if (options.plotRegular) {
        qm::plotInHost(loaded);
    }

    // Every family derives from the detrended values before any of them is standardised.
    DesignMatrix detrended = loaded;
    qm::detrendPredictors(detrended);
    DesignMatrix derivative = detrended;
    qm::differentiatePredictors(derivative);
    DesignMatrix delayed1 = detrended;
    qm::delayPredictors(delayed1, 1);
    DesignMatrix delayed2 = detrended;
    qm::delayPredictors(delayed2, 2);
    DesignMatrix squared = detrended;
    qm::squarePredictors(squared);
    DesignMatrix delayed1Squared = delayed1;
    qm::squarePredictors(delayed1Squared);
    DesignMatrix delayed2Squared = delayed2;
    qm::squarePredictors(delayed2Squared);
    DesignMatrix spikes = loaded;

    const std::vector<float> displacement =
        qm::computeRelativeRmsDisplacement(detrended, headRadiusOf(options));
    const bool framewiseFindsSpikes = options.spikeMeasure == kFramewiseMeasure;
    std::vector<float> framewise;
    if (framewiseFindsSpikes || options.createTable) {
        framewise = qm::computeFramewiseDisplacement(detrended);
    }
    const std::vector<float>& spikeSeries = framewiseFindsSpikes ? framewise : displacement;
    std::vector<qm::FlaggedVolume> flagged;
    if (options.createSpikes) {
        flagged = qm::buildSpikePredictors(spikes, spikeSeries, options.spikeThreshold, log,
                                           options.spikeNeighbours);
    }
    if (options.plotDetrended) {
        plotDetrendedWithDisplacement(detrended, spikeSeries,
                                      framewiseFindsSpikes ? "framewise displacement"
                                                           : "relative RMS displacement",
                                      options.spikeThreshold);
    }

    qm::writeLogLine(log, ">  Saving SDMs");
    if (options.createSpikes && spikes.nrOfPredictors.value > 0) {
        spikes.saveAs(qm::suffixedPath(loaded.path, "_spikes")); // 0/1 columns, not standardised
    }

    struct Family {
        DesignMatrix& matrix;
        bool wanted;
        const char* suffix;
        qm::ConfoundFamily kind;
    };
    const Family families[] = {
        {detrended, options.createDetrended, "_detr", qm::ConfoundFamily::Detrended},
        {derivative, options.createDerivative, "_deriv", qm::ConfoundFamily::Derivative},
        {squared, options.createSquared, "_sqr", qm::ConfoundFamily::Squared},
        {delayed1, options.createDelayed1, "_t1", qm::ConfoundFamily::Delayed1},
        {delayed2, options.createDelayed2, "_t2", qm::ConfoundFamily::Delayed2},
        {delayed1Squared, options.createDelayed1Squared, "_t1sqr",
         qm::ConfoundFamily::Delayed1Squared},
        {delayed2Squared, options.createDelayed2Squared, "_t2sqr",
         qm::ConfoundFamily::Delayed2Squared},
    };
    std::vector<qm::TableFamily> tableFamilies;
    for (const Family& family : families) {
        if (options.createTable && family.wanted) {
            tableFamilies.push_back({family.kind, family.matrix,
                                     qm::fileNamePart(qm::suffixedPath(loaded.path, family.suffix)),
                                     scaledColumns(family.matrix)});
        }
        qm::standardizePredictors(family.matrix);
        if (family.wanted) {
            family.matrix.saveAs(qm::suffixedPath(loaded.path, family.suffix));
        }
    }

    if (options.createTable) {
        const qm::TableSpikes tableSpikes{
            spikes, flagged, qm::fileNamePart(qm::suffixedPath(loaded.path, "_spikes"))};
        qm::ConfoundTableInput input{loaded, displacement, framewise, std::move(tableFamilies)};
        input.spikes = options.createSpikes ? &tableSpikes : nullptr;
        input.spikeThreshold = options.spikeThreshold;
        input.spikeMeasure = options.spikeMeasure;
        input.headRadius = headRadiusOf(options);
        input.neighbours = options.spikeNeighbours;
        const qm::ConfoundTableContent table = qm::confoundTableContent(input);
        qm::writeConfoundTable(qm::confoundTableFiles(loaded.path), table.columns, table.sidecar);
    }
}

} // namespace

void quelmar::runConfoundTask() {
    const ConfoundOptions options = readConfoundOptions();
    checkConfoundOptions(options);
    // All matrices are loaded before any is handled, so a missing SDM of an MDM stops the task
    // before a single file is written.
    const std::vector<DesignMatrix> motionMatrices =
        qm::loadMotionDesignMatrices(options.sdmFile, qm::chooseFileInHost);
    const qm::LogSink log{*logStream, qm::kPluginName};
    for (const DesignMatrix& motion : motionMatrices) {
        processMotionMatrix(motion, options, log);
    }
}
