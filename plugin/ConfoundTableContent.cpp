#include "ConfoundTableContent.h"

#include "FramewiseDisplacement.h"
#include "PathHelpers.h"
#include "Pi.h"
#include "PluginTexts.h"

#include <array>
#include <charconv>
#include <cstddef>
#include <limits>
#include <string>
#include <string_view>

namespace qm {
namespace {

using Json = nlohmann::ordered_json;

constexpr float kNotDefined = std::numeric_limits<float>::quiet_NaN();
constexpr std::size_t kMotionParameters = 6;

struct MotionParameter {
    std::string_view column;   // the table's name
    std::string_view longName; // for people
    bool rotation;
};

// Columns 0 to 5 of a motion SDM, whatever their predictors are called in the file.
constexpr std::array<MotionParameter, kMotionParameters> kMotionParameterColumns = {{
    {"trans_x", "translation along x", false},
    {"trans_y", "translation along y", false},
    {"trans_z", "translation along z", false},
    {"rot_x", "rotation about x", true},
    {"rot_y", "rotation about y", true},
    {"rot_z", "rotation about z", true},
}};

struct FamilyNaming {
    std::string_view suffix;   // appended to the parameter's column name
    std::string_view longName; // appended to the parameter's long name
    bool derivative;
    unsigned lag;
    bool squared;
};

FamilyNaming namingOf(ConfoundFamily family) {
    switch (family) {
    case ConfoundFamily::Detrended:
        return {"_detrended", ", detrended", false, 0, false};
    case ConfoundFamily::Derivative:
        return {"_derivative", ", detrended, temporal derivative", true, 0, false};
    case ConfoundFamily::Squared:
        return {"_detrended_power2", ", detrended, squared", false, 0, true};
    case ConfoundFamily::Delayed1:
        return {"_lag1", ", detrended, delayed by 1 volume", false, 1, false};
    case ConfoundFamily::Delayed2:
        return {"_lag2", ", detrended, delayed by 2 volumes", false, 2, false};
    case ConfoundFamily::Delayed1Squared:
        return {"_lag1_power2", ", detrended, delayed by 1 volume, squared", false, 1, true};
    case ConfoundFamily::Delayed2Squared:
        return {"_lag2_power2", ", detrended, delayed by 2 volumes, squared", false, 2, true};
    }
    return {"", "", false, 0, false};
}

// A float as the shortest decimal that reads back as it (0.3F is 0.3, not 0.30000001192...).
double jsonNumber(float value) {
    char text[32];
    const auto written = std::to_chars(text, text + sizeof text, value);
    double number = 0.0;
    std::from_chars(text, written.ptr, number);
    return number;
}

std::string twoDigits(std::size_t number) {
    return (number < 10 ? "0" : "") + std::to_string(number);
}

std::string capitalised(std::string_view text) {
    std::string result(text);
    if (!result.empty() && result.front() >= 'a' && result.front() <= 'z') {
        result.front() = static_cast<char>(result.front() - 'a' + 'A');
    }
    return result;
}

// The first `volumes` values of a column (all of them in a matrix read from a file).
std::vector<float> firstValues(const std::vector<float>& column, std::size_t volumes) {
    const std::size_t count = volumes < column.size() ? volumes : column.size();
    return {column.begin(), column.begin() + static_cast<std::ptrdiff_t>(count)};
}

std::size_t volumesOf(const DesignMatrix& matrix) {
    return matrix.nrOfDataPoints.value > 0 ? static_cast<std::size_t>(matrix.nrOfDataPoints.value)
                                           : 0;
}

std::string predictorName(const DesignMatrix& matrix, std::size_t p) {
    return p < matrix.predictorNames.size() ? matrix.predictorNames[p] : std::string();
}

// The first volume has no earlier one to differ from.
std::vector<float> withoutFirstVolume(std::vector<float> series) {
    if (!series.empty()) {
        series.front() = kNotDefined;
    }
    return series;
}

// The table's name and wording for predictor p of the motion SDM: its position decides, since
// the names in a motion SDM may be anything.
struct ParameterColumn {
    std::string column;
    std::string longName;
    std::string unit; // of the values in the SDM: mm, degrees, or unknown
};

ParameterColumn parameterColumn(const DesignMatrix& loaded, std::size_t p) {
    if (p < kMotionParameters) {
        const MotionParameter& parameter = kMotionParameterColumns[p];
        return {std::string(parameter.column), std::string(parameter.longName),
                parameter.rotation ? "degrees" : "mm"};
    }
    return {"extra_" + std::to_string(p - kMotionParameters + 1),
            "predictor " + std::to_string(p + 1) + " (\"" + predictorName(loaded, p) + "\")", ""};
}

std::string sourceOf(const DesignMatrix& loaded, std::size_t p) {
    return "predictor " + std::to_string(p + 1) + " (\"" + predictorName(loaded, p) + "\") of " +
           fileNamePart(loaded.path);
}

// Units of a family column that was only centred: those of the motion values, per volume for a
// derivative, squared for a square.
std::string centredUnit(const std::string& unit, const FamilyNaming& naming) {
    if (unit.empty()) {
        return "as the motion SDM's values, transformed like them";
    }
    if (naming.derivative) {
        return unit + " per volume";
    }
    return naming.squared ? unit + "^2" : unit;
}

void addMotionColumns(const ConfoundTableInput& input, ConfoundTableContent& content) {
    const DesignMatrix& loaded = input.loaded;
    const std::size_t volumes = volumesOf(loaded);
    for (std::size_t p = 0; p < loaded.columns.size(); ++p) {
        const ParameterColumn parameter = parameterColumn(loaded, p);
        std::vector<float> values = firstValues(loaded.columns[p], volumes);
        Json description;
        if (p < kMotionParameters && kMotionParameterColumns[p].rotation) {
            for (float& value : values) {
                value = degreesToRadians(value);
            }
            description["LongName"] = capitalised(parameter.longName);
            description["Description"] =
                capitalised(parameter.longName) +
                " estimated by 3D motion correction: " + sourceOf(loaded, p) +
                ", as loaded, converted from degrees to radians.";
            description["Units"] = "rad";
        } else if (p < kMotionParameters) {
            description["LongName"] = capitalised(parameter.longName);
            description["Description"] =
                capitalised(parameter.longName) +
                " estimated by 3D motion correction: " + sourceOf(loaded, p) + ", as loaded.";
            description["Units"] = "mm";
        } else {
            description["LongName"] = "Further predictor of the motion SDM";
            description["Description"] =
                "The " + sourceOf(loaded, p) +
                ", as loaded. The motion SDM holds more predictors than the six motion "
                "parameters; the task treats every predictor alike, and the table names those "
                "after the sixth extra_1, extra_2, ... in their order.";
            description["Units"] = "as in the motion SDM";
        }
        content.columns.push_back({parameter.column, std::move(values)});
        content.sidecar[parameter.column] = std::move(description);
    }
}

void addDisplacementColumns(const ConfoundTableInput& input, ConfoundTableContent& content) {
    const bool relativeRmsFindsSpikes = input.spikeMeasure == 0;
    const std::string spikeUse =
        input.spikes == nullptr
            ? std::string("")
            : std::string(" Spike detection compared ") +
                  (relativeRmsFindsSpikes ? "this series" : "framewise_displacement") +
                  " with the threshold.";
    content.columns.push_back({"relative_rms", withoutFirstVolume(input.relativeRms)});
    content.sidecar["relative_rms"] = {
        {"LongName", "Relative RMS displacement"},
        {"Description",
         "Root-mean-square displacement, between the rigid transforms of the previous volume and "
         "this one, of the points of a solid ball of radius HeadRadius about the origin of the "
         "motion frame (the centre of the volume). Computed from the detrended motion "
         "parameters; n/a for the first volume." +
             spikeUse},
        {"Units", "mm"},
        {"HeadRadius", jsonNumber(input.headRadius)},
        {"ComputedFrom", "detrended motion parameters"},
    };
    content.columns.push_back({"framewise_displacement", withoutFirstVolume(input.framewise)});
    content.sidecar["framewise_displacement"] = {
        {"LongName", "Framewise displacement"},
        {"Description",
         "Sum of the absolute volume-to-volume differences of the three translations and of the "
         "three rotations in radians times RotationRadius (the arcs on a sphere of that radius). "
         "Computed from the detrended motion parameters, like relative_rms, so that either can "
         "be compared with the spike threshold; n/a for the first volume."},
        {"Units", "mm"},
        {"RotationRadius", jsonNumber(kFramewiseRotationRadius)},
        {"ComputedFrom", "detrended motion parameters"},
    };
}

void addFamilyColumns(const ConfoundTableInput& input, ConfoundTableContent& content) {
    for (const TableFamily& family : input.families) {
        const FamilyNaming naming = namingOf(family.family);
        for (std::size_t p = 0; p < family.saved.columns.size(); ++p) {
            const ParameterColumn parameter = parameterColumn(input.loaded, p);
            const std::string name = parameter.column + std::string(naming.suffix);
            const bool scaled = p < family.scaled.size() && family.scaled[p];
            content.columns.push_back(
                {name, firstValues(family.saved.columns[p], volumesOf(family.saved))});

            Json method = {{"Detrending", "least-squares straight line over the volume index "
                                          "removed from the motion parameter as loaded"}};
            if (naming.derivative) {
                method["Derivative"] =
                    "central difference (x[t+1] - x[t-1]) / 2, 0 at the first and last volume";
            }
            if (naming.lag > 0) {
                method["Lag"] = naming.lag;
                method["LagFill"] = "0 for the first volumes";
            }
            if (naming.squared) {
                method["Power"] = 2;
            }
            method["Standardized"] = scaled;
            content.sidecar[name] = {
                {"LongName", capitalised(parameter.longName) + std::string(naming.longName)},
                {"Description",
                 capitalised(parameter.longName) + std::string(naming.longName) +
                     (scaled ? ", standardised to mean 0 and sample standard deviation 1"
                             : ", centred to mean 0 (its standard deviation was below 0.0001, "
                               "so it was not scaled)") +
                     ". The values of predictor " + std::to_string(p + 1) + " of " +
                     family.sdmFile +
                     "; computed from the motion parameter in the motion SDM's "
                     "own units (degrees for rotations)."},
                {"Units", scaled ? "standard deviations" : centredUnit(parameter.unit, naming)},
                {"Method", std::move(method)},
            };
        }
    }
}

void addOutlierColumns(const ConfoundTableInput& input, ConfoundTableContent& content) {
    if (input.spikes == nullptr) {
        return;
    }
    const TableSpikes& spikes = *input.spikes;
    const std::size_t volumes = volumesOf(spikes.predictors);
    for (std::size_t k = 0; k < spikes.flagged.size() && k < spikes.predictors.columns.size();
         ++k) {
        const FlaggedVolume& flagged = spikes.flagged[k];
        const std::string name = "motion_outlier" + twoDigits(k);
        content.columns.push_back({name, firstValues(spikes.predictors.columns[k], volumes)});
        const bool isSpike = flagged.spike == flagged.volume;
        const std::string volume = std::to_string(flagged.volume);
        content.sidecar[name] = {
            {"LongName", isSpike ? "Spike volume " + volume
                                 : "Volume " + volume + " next to the spike at volume " +
                                       std::to_string(flagged.spike)},
            {"Description",
             "1 at volume " + volume + " (counted from 0), 0 at every other: " +
                 (isSpike ? std::string("a spike, whose displacement exceeded the threshold")
                          : "flagged with the spike at volume " + std::to_string(flagged.spike) +
                                " (spikes_before, spikes_after)") +
                 ". The predictor \"" + predictorName(spikes.predictors, k) + "\" of " +
                 spikes.sdmFile + "."},
            {"Units", "dimensionless (0 or 1)"},
            {"Levels", {{"0", "volume kept"}, {"1", "volume censored"}}},
            {"Volume", flagged.volume},
            {"Spike", flagged.spike},
        };
    }
}

void addProvenance(const ConfoundTableInput& input, ConfoundTableContent& content) {
    content.sidecar["Sources"] = Json::array({fileNamePart(input.loaded.path)});
    content.sidecar["ColumnNames"] =
        "Predictors 1 to 6 of the motion SDM are trans_x, trans_y, trans_z, rot_x, rot_y, rot_z "
        "by their position, whatever the SDM calls them; further predictors are extra_1, "
        "extra_2, ... Derived columns are <parameter>_<family>.";
    content.sidecar["Parameters"] = {
        {"create_spikes", input.spikes != nullptr ? 1 : 0},
        {"spike_threshold", jsonNumber(input.spikeThreshold)},
        {"spike_measure", input.spikeMeasure},
        {"head_radius", jsonNumber(input.headRadius)},
        {"spikes_before", input.neighbours.before},
        {"spikes_after", input.neighbours.after},
    };
    content.sidecar["GeneratedBy"] = Json::array({{
        {"Name", kPluginName},
        {"Version", kPluginVersion},
        {"Description", kPluginDescription},
    }});
}

} // namespace

ConfoundTableContent confoundTableContent(const ConfoundTableInput& input) {
    ConfoundTableContent content;
    content.sidecar = Json::object();
    addMotionColumns(input, content);
    addDisplacementColumns(input, content);
    addFamilyColumns(input, content);
    addOutlierColumns(input, content);
    addProvenance(input, content);
    return content;
}

} // namespace qm
