// Every dialog parameter of Quelmar's three tasks, in one list: the name exactly as the task
// reads it from the host, its kind, the default the project ships, what it does and why that
// default. The dialog script "Quelmar.js" and the parameter file "quelmar-defaults.params" are
// generated from this list (tools/WriteDialogFiles.cpp), and an end-to-end test compares it
// with the parameters the tasks actually read, so the three can never disagree.
//
// The order within a task is the order in which the task reads its parameters, which is also
// the order of the dialog. "task" itself is set by the host's buttons and is not listed.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace qm {

enum class ParameterKind { Int, Float, String };

// Read: the task reads the parameter. Written: the task stores it for the later tasks.
enum class ParameterAccess { Read, Written };

// How the dialog edits an Int parameter: a check box (a switch, on when not 0) or a field for a
// whole number (a count of volumes, a choice among several values).
enum class IntControl { Switch, Number };

struct TaskParameter {
    std::string_view task;
    std::string_view name;
    ParameterKind kind;
    ParameterAccess access;
    std::string_view defaultValue;              // as the host's parameter text: "1", "0.5", ""
    std::string_view label;                     // the dialog's label
    std::string_view meaning;                   // one line
    std::string_view whyDefault;                // one line
    IntControl intControl = IntControl::Switch; // Int parameters only
};

struct TaskDescription {
    std::string_view name;   // the value of "task"
    std::string_view title;  // the dialog section
    std::string_view button; // the button that runs it
    std::string_view summary;
};

inline constexpr std::string_view kSelectSdmTask = "select_3dmcsdm";
inline constexpr std::string_view kConfoundTask = "confound";
inline constexpr std::string_view kDisplacementTask = "displacement";

inline constexpr std::array kTaskDescriptions{
    TaskDescription{kSelectSdmTask, "Motion design matrix", "Choose 3DMC SDM...",
                    "Pick the *_3DMC.sdm (or *_3DMC.mdm) that 3D motion correction wrote for "
                    "this run; both analysis tasks use it."},
    TaskDescription{kConfoundTask, "Confound models", "Create confound SDMs",
                    "Write detrended, derivative, squared and delayed motion predictors and "
                    "spike predictors as new SDM files beside the motion SDM."},
    TaskDescription{kDisplacementTask, "Voxel-specific displacement", "Create displacement maps",
                    "Compute how far every brain voxel moved and save the statistics as maps "
                    "of the current FMR."},
};

namespace task_parameter_texts {

inline constexpr std::string_view kOnSwitch =
    "On: the output is cheap, and you still decide which files enter your model.";
inline constexpr std::string_view kMapSwitch =
    "On: all seven maps come from one computation, so each extra map costs only its file.";
inline constexpr std::string_view kPlotRegularMeaning =
    "Plot the six motion parameters as 3D motion correction estimated them.";
inline constexpr std::string_view kPlotRegularWhy =
    "On: look at the motion before you model it; a glance finds jumps and drifts.";
inline constexpr std::string_view kSdmFileMeaning =
    "Path of the motion SDM or MDM, stored by the \"select_3dmcsdm\" task.";
inline constexpr std::string_view kSdmFileWhy = "No default: it names your run's own motion file.";
inline constexpr std::string_view kSpikeNeighboursWhy =
    "0: only the volume that moved, as before; censoring also 1 before and 2 after, as Power et "
    "al. (2012) did, catches the spread of a sudden movement.";

} // namespace task_parameter_texts

inline constexpr std::array kTaskParameters{
    // The selection task reads nothing but writes the path for the two analysis tasks.
    TaskParameter{kSelectSdmTask, "sdmfile", ParameterKind::String, ParameterAccess::Written, "",
                  "Motion SDM/MDM", task_parameter_texts::kSdmFileMeaning,
                  task_parameter_texts::kSdmFileWhy},

    TaskParameter{kConfoundTask, "spike_threshold", ParameterKind::Float, ParameterAccess::Read,
                  "0.5", "Spike threshold (mm)",
                  "A volume whose relative RMS displacement (or, with spike_measure 1, framewise "
                  "displacement) from the previous volume exceeds this many millimetres gets a "
                  "spike predictor.",
                  "0.5 mm is the cut most often used for volume-to-volume displacement; it flags "
                  "clear jerks, not the slow drift the other families model."},
    TaskParameter{kConfoundTask, "spike_measure", ParameterKind::Int, ParameterAccess::Read, "0",
                  "Spikes by framewise displacement (off: relative RMS)",
                  "Which series the spike threshold is compared with: 0 the relative RMS "
                  "displacement, 1 the framewise displacement (sum of absolute differences).",
                  "0: the relative RMS displacement, as before, so a threshold keeps its meaning; "
                  "1 to apply a framewise-displacement cut from the literature."},
    TaskParameter{kConfoundTask, "head_radius", ParameterKind::Float, ParameterAccess::Read, "65",
                  "Head radius (mm; 0 = 65)",
                  "Radius of the ball whose RMS displacement is the relative RMS displacement, for "
                  "spike detection, the plot and the confound table; 0 means 65 mm.",
                  "65 mm is about the size of an adult head around the centre of the volume; "
                  "smaller heads move less at the same rotation, so choose their own radius."},
    TaskParameter{kConfoundTask, "spikes_before", ParameterKind::Int, ParameterAccess::Read, "0",
                  "Also flag volumes before each spike",
                  "Flag this many volumes before each spike too, each with its own spike "
                  "predictor.",
                  task_parameter_texts::kSpikeNeighboursWhy, IntControl::Number},
    TaskParameter{kConfoundTask, "spikes_after", ParameterKind::Int, ParameterAccess::Read, "0",
                  "Also flag volumes after each spike",
                  "Flag this many volumes after each spike too, each with its own spike predictor.",
                  task_parameter_texts::kSpikeNeighboursWhy, IntControl::Number},
    TaskParameter{kConfoundTask, "create_detrended", ParameterKind::Int, ParameterAccess::Read, "1",
                  "Detrended (_detr)",
                  "Save the six motion parameters, linearly detrended and standardised.",
                  "On: the basic six-parameter motion model; every other family builds on it."},
    TaskParameter{kConfoundTask, "create_derivative", ParameterKind::Int, ParameterAccess::Read,
                  "1", "Derivative (_deriv)",
                  "Save the temporal derivatives (central differences) of the detrended "
                  "parameters.",
                  task_parameter_texts::kOnSwitch},
    TaskParameter{kConfoundTask, "create_spikes", ParameterKind::Int, ParameterAccess::Read, "1",
                  "Spikes (_spikes)", "Detect spike volumes and save one 0/1 predictor per spike.",
                  "On: a spike file is written only when a volume exceeds the threshold."},
    TaskParameter{kConfoundTask, "create_squared", ParameterKind::Int, ParameterAccess::Read, "1",
                  "Squared (_sqr)", "Save the squares of the detrended parameters.",
                  task_parameter_texts::kOnSwitch},
    TaskParameter{kConfoundTask, "create_delayed1", ParameterKind::Int, ParameterAccess::Read, "1",
                  "Delayed by 1 volume (_t1)",
                  "Save the detrended parameters delayed by one volume.",
                  task_parameter_texts::kOnSwitch},
    TaskParameter{kConfoundTask, "create_delayed1sq", ParameterKind::Int, ParameterAccess::Read,
                  "1", "Delayed by 1 volume, squared (_t1sqr)",
                  "Save the squares of the parameters delayed by one volume.",
                  task_parameter_texts::kOnSwitch},
    TaskParameter{kConfoundTask, "create_delayed2", ParameterKind::Int, ParameterAccess::Read, "1",
                  "Delayed by 2 volumes (_t2)",
                  "Save the detrended parameters delayed by two volumes.",
                  task_parameter_texts::kOnSwitch},
    TaskParameter{kConfoundTask, "create_delayed2sq", ParameterKind::Int, ParameterAccess::Read,
                  "1", "Delayed by 2 volumes, squared (_t2sqr)",
                  "Save the squares of the parameters delayed by two volumes.",
                  task_parameter_texts::kOnSwitch},
    TaskParameter{kConfoundTask, "create_table", ParameterKind::Int, ParameterAccess::Read, "1",
                  "Confound table (_desc-confounds_timeseries.tsv, .json)",
                  "Save the motion, both displacement series, the families switched on and the "
                  "spikes as one tab-separated table with a JSON sidecar, for other packages.",
                  "On: two small files that let any analysis package take the same confounds."},
    TaskParameter{kConfoundTask, "plot_regular", ParameterKind::Int, ParameterAccess::Read, "1",
                  "Plot motion parameters", task_parameter_texts::kPlotRegularMeaning,
                  task_parameter_texts::kPlotRegularWhy},
    TaskParameter{kConfoundTask, "plot_detrended", ParameterKind::Int, ParameterAccess::Read, "1",
                  "Plot detrended parameters and displacement",
                  "Plot the detrended parameters with the displacement series spike detection "
                  "uses and the spike threshold line.",
                  "On: shows which volumes cross the threshold, so you can judge the threshold."},
    TaskParameter{kConfoundTask, "sdmfile", ParameterKind::String, ParameterAccess::Read, "",
                  "Motion SDM/MDM", task_parameter_texts::kSdmFileMeaning,
                  task_parameter_texts::kSdmFileWhy},

    TaskParameter{kDisplacementTask, "fmr_threshold", ParameterKind::Float, ParameterAccess::Read,
                  "100", "Brain mask threshold (intensity)",
                  "Voxels of the first volume brighter than this intensity form the brain mask; "
                  "only they get displacement values.",
                  "100 lies well above the noise of the air around the head and well below the "
                  "brain in typical 16-bit EPI images."},
    TaskParameter{kDisplacementTask, "map_max_abs", ParameterKind::Int, ParameterAccess::Read, "1",
                  "Maximum absolute displacement",
                  "Save the map of each voxel's largest distance from its unmoved position.",
                  task_parameter_texts::kMapSwitch},
    TaskParameter{kDisplacementTask, "map_mean_abs", ParameterKind::Int, ParameterAccess::Read, "1",
                  "Mean absolute displacement",
                  "Save the map of each voxel's mean distance from its unmoved position.",
                  task_parameter_texts::kMapSwitch},
    TaskParameter{kDisplacementTask, "map_max_rel", ParameterKind::Int, ParameterAccess::Read, "1",
                  "Maximum relative displacement",
                  "Save the map of each voxel's largest volume-to-volume movement.",
                  task_parameter_texts::kMapSwitch},
    TaskParameter{kDisplacementTask, "map_mean_rel", ParameterKind::Int, ParameterAccess::Read, "1",
                  "Mean relative displacement",
                  "Save the map of each voxel's mean volume-to-volume movement.",
                  task_parameter_texts::kMapSwitch},
    TaskParameter{kDisplacementTask, "map_max_abs_x", ParameterKind::Int, ParameterAccess::Read,
                  "1", "Maximum absolute x displacement",
                  "Save the map of each voxel's largest displacement along x.",
                  task_parameter_texts::kMapSwitch},
    TaskParameter{kDisplacementTask, "map_max_abs_y", ParameterKind::Int, ParameterAccess::Read,
                  "1", "Maximum absolute y displacement",
                  "Save the map of each voxel's largest displacement along y.",
                  task_parameter_texts::kMapSwitch},
    TaskParameter{kDisplacementTask, "map_max_abs_z", ParameterKind::Int, ParameterAccess::Read,
                  "1", "Maximum absolute z displacement",
                  "Save the map of each voxel's largest displacement along z.",
                  task_parameter_texts::kMapSwitch},
    TaskParameter{kDisplacementTask, "plot_regular", ParameterKind::Int, ParameterAccess::Read, "1",
                  "Plot motion parameters", task_parameter_texts::kPlotRegularMeaning,
                  task_parameter_texts::kPlotRegularWhy},
    TaskParameter{kDisplacementTask, "plot_detrended", ParameterKind::Int, ParameterAccess::Read,
                  "1", "Plot detrended parameters and displacement",
                  "Plot the detrended parameters with the relative RMS displacement of the "
                  "motion as loaded.",
                  "On: the displacement line shows when the head moved; the maps show where."},
    TaskParameter{kDisplacementTask, "sdmfile", ParameterKind::String, ParameterAccess::Read, "",
                  "Motion SDM/MDM", task_parameter_texts::kSdmFileMeaning,
                  task_parameter_texts::kSdmFileWhy},
    TaskParameter{kDisplacementTask, "threads", ParameterKind::Int, ParameterAccess::Read, "1",
                  "Threads for the displacement (0 or 1: one)",
                  "How many threads share the voxel displacement computation; 0 and 1 both mean "
                  "one, the same maps come out for any number.",
                  "1: the host runs the plug-in on a thread of its own and expects it to take no "
                  "other; give more only on a machine with cores to spare, for long runs.",
                  IntControl::Number},
};

// A parameter that several tasks share is one entry of the host's parameter store, so it must
// have one kind and one default wherever it is listed.
constexpr bool sharedParametersAgree() {
    for (std::size_t i = 0; i < kTaskParameters.size(); ++i) {
        for (std::size_t j = i + 1; j < kTaskParameters.size(); ++j) {
            const TaskParameter& a = kTaskParameters[i];
            const TaskParameter& b = kTaskParameters[j];
            if (a.name == b.name && (a.kind != b.kind || a.defaultValue != b.defaultValue)) {
                return false;
            }
        }
    }
    return true;
}
static_assert(sharedParametersAgree(), "a shared parameter has two kinds or two defaults");

constexpr bool everyParameterBelongsToATask() {
    for (const TaskParameter& parameter : kTaskParameters) {
        bool known = false;
        for (const TaskDescription& task : kTaskDescriptions) {
            known = known || task.name == parameter.task;
        }
        if (!known || parameter.name == "task") {
            return false;
        }
    }
    return true;
}
static_assert(everyParameterBelongsToATask(), "a parameter names an unknown task, or is \"task\"");

} // namespace qm
