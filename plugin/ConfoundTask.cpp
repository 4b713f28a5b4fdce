// The "confound" task routine of quelmar: from each motion design matrix named by "sdmfile" it
// derives the confound families (detrended, derivative, squared, delayed by one and two volumes,
// squared-delayed) and the spike predictors, plots what the user asked for, and saves each
// requested family beside the motion file under its suffix.
#include "quelmar.h"

#include "DesignMatrix.h"
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
#include <string>
#include <vector>

namespace {

using qm::DesignMatrix;

struct ConfoundOptions {
    float spikeThreshold = 0.0F; // millimetres
    bool createDetrended = false;
    bool createDerivative = false;
    bool createSpikes = false;
    bool createSquared = false;
    bool createDelayed1 = false;
    bool createDelayed1Squared = false;
    bool createDelayed2 = false;
    bool createDelayed2Squared = false;
    bool plotRegular = false;
    bool plotDetrended = false;
    std::string sdmFile;
};

// The task's dialog parameters, read once, in the order the host's dialog lists them.
ConfoundOptions readConfoundOptions() {
    ConfoundOptions options;
    options.spikeThreshold = qm::hostFloatParameter("spike_threshold");
    options.createDetrended = qm::hostIntParameter("create_detrended") != 0;
    options.createDerivative = qm::hostIntParameter("create_derivative") != 0;
    options.createSpikes = qm::hostIntParameter("create_spikes") != 0;
    options.createSquared = qm::hostIntParameter("create_squared") != 0;
    options.createDelayed1 = qm::hostIntParameter("create_delayed1") != 0;
    options.createDelayed1Squared = qm::hostIntParameter("create_delayed1sq") != 0;
    options.createDelayed2 = qm::hostIntParameter("create_delayed2") != 0;
    options.createDelayed2Squared = qm::hostIntParameter("create_delayed2sq") != 0;
    options.plotRegular = qm::hostIntParameter("plot_regular") != 0;
    options.plotDetrended = qm::hostIntParameter("plot_detrended") != 0;
    options.sdmFile = qm::hostStringParameter("sdmfile");
    return options;
}

// The detrended predictors together with the displacement series and the spike threshold, so
// that the user sees which volumes cross it.
void plotDetrendedWithDisplacement(const DesignMatrix& detrended,
                                   const std::vector<float>& displacement, float threshold) {
    DesignMatrix plotted = detrended;
    plotted.path += " + Displacement for Spike Detection";
    qm::addPredictor(plotted, displacement, "relative RMS displacement", 250, 250, 250);
    const auto dataPoints = static_cast<std::size_t>(std::max(plotted.nrOfDataPoints.value, 0));
    qm::addPredictor(plotted, std::vector<float>(dataPoints, threshold), "Spike threshold", 150, 0,
                     0);
    qm::plotInHost(plotted);
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

    const std::vector<float> displacement = qm::computeRelativeRmsDisplacement(detrended);
    if (options.createSpikes) {
        qm::buildSpikePredictors(spikes, displacement, options.spikeThreshold, log);
    }
    if (options.plotDetrended) {
        plotDetrendedWithDisplacement(detrended, displacement, options.spikeThreshold);
    }

    qm::writeLogLine(log, ">  Saving SDMs");
    if (options.createSpikes && spikes.nrOfPredictors.value > 0) {
        spikes.saveAs(qm::suffixedPath(loaded.path, "_spikes")); // 0/1 columns, not standardised
    }

    struct Family {
        DesignMatrix& matrix;
        bool wanted;
        const char* suffix;
    };
    const Family families[] = {
        {detrended, options.createDetrended, "_detr"},
        {derivative, options.createDerivative, "_deriv"},
        {squared, options.createSquared, "_sqr"},
        {delayed1, options.createDelayed1, "_t1"},
        {delayed2, options.createDelayed2, "_t2"},
        {delayed1Squared, options.createDelayed1Squared, "_t1sqr"},
        {delayed2Squared, options.createDelayed2Squared, "_t2sqr"},
    };
    for (const Family& family : families) {
        qm::standardizePredictors(family.matrix);
        if (family.wanted) {
            family.matrix.saveAs(qm::suffixedPath(loaded.path, family.suffix));
        }
    }
}

} // namespace

void quelmar::runConfoundTask() {
    const ConfoundOptions options = readConfoundOptions();
    // All matrices are loaded before any is handled, so a missing SDM of an MDM stops the task
    // before a single file is written.
    const std::vector<DesignMatrix> motionMatrices =
        qm::loadMotionDesignMatrices(options.sdmFile, qm::chooseFileInHost);
    const qm::LogSink log{*logStream, qm::kPluginName};
    for (const DesignMatrix& motion : motionMatrices) {
        processMotionMatrix(motion, options, log);
    }
}
