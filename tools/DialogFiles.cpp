#include "DialogFiles.h"

#include "PluginTexts.h"
#include "TaskParameters.h"

#include <set>
#include <sstream>
#include <string_view>

namespace qm::tools {
namespace {

std::string_view kindName(ParameterKind kind) {
    switch (kind) {
    case ParameterKind::Int:
        return "int";
    case ParameterKind::Float:
        return "float";
    case ParameterKind::String:
        return "string";
    }
    return "string";
}

// A JavaScript string literal; the texts are plain ASCII apart from what is escaped here.
std::string jsString(std::string_view text) {
    std::string literal = "\"";
    for (const char c : text) {
        switch (c) {
        case '"':
            literal += "\\\"";
            break;
        case '\\':
            literal += "\\\\";
            break;
        case '\n':
            literal += "\\n";
            break;
        default:
            literal += c;
        }
    }
    return literal + "\"";
}

// The dialog edits numbers and switches; "sdmfile" belongs to the selection task, which sets
// it through the host's file dialog, so the dialog only shows it.
bool editable(const TaskParameter& parameter) {
    return parameter.access == ParameterAccess::Read && parameter.kind != ParameterKind::String;
}

// The widget that edits the parameter: "text" (shown only), "checkbox" for a switch, "number" for
// a threshold, a radius or a count.
std::string_view controlName(const TaskParameter& parameter) {
    if (!editable(parameter)) {
        return "text";
    }
    if (parameter.kind == ParameterKind::Int && parameter.intControl == IntControl::Switch) {
        return "checkbox";
    }
    return "number";
}

// The default as a JavaScript value: numbers for int and float, text for strings.
std::string jsDefault(const TaskParameter& parameter) {
    return parameter.kind == ParameterKind::String ? jsString(parameter.defaultValue)
                                                   : std::string(parameter.defaultValue);
}

void writeParameterObject(std::ostringstream& out, const TaskParameter& parameter) {
    out << "                {\n"
        << "                    name: " << jsString(parameter.name) << ",\n"
        << "                    kind: " << jsString(kindName(parameter.kind)) << ",\n"
        << "                    access: "
        << jsString(parameter.access == ParameterAccess::Read ? "read" : "written") << ",\n"
        << "                    editable: " << (editable(parameter) ? "true" : "false") << ",\n"
        << "                    control: " << jsString(controlName(parameter)) << ",\n"
        << "                    defaultValue: " << jsDefault(parameter) << ",\n"
        << "                    label: " << jsString(parameter.label) << ",\n"
        << "                    meaning: " << jsString(parameter.meaning) << ",\n"
        << "                    whyDefault: " << jsString(parameter.whyDefault) << "\n"
        << "                }";
}

void writeSections(std::ostringstream& out) {
    out << "    sections: [\n";
    bool firstSection = true;
    for (const TaskDescription& task : kTaskDescriptions) {
        out << (firstSection ? "" : ",\n") << "        {\n"
            << "            task: " << jsString(task.name) << ",\n"
            << "            title: " << jsString(task.title) << ",\n"
            << "            button: " << jsString(task.button) << ",\n"
            << "            summary: " << jsString(task.summary) << ",\n"
            << "            parameters: [\n";
        firstSection = false;
        bool firstParameter = true;
        for (const TaskParameter& parameter : kTaskParameters) {
            if (parameter.task == task.name) {
                out << (firstParameter ? "" : ",\n");
                writeParameterObject(out, parameter);
                firstParameter = false;
            }
        }
        out << "\n            ]\n        }";
    }
    out << "\n    ]\n";
}

// The functions below the data do not depend on the list; they are the same in every build.
constexpr std::string_view kScriptHead =
    R"js(// Quelmar.js: the dialog of the Quelmar plug-in for the HalvornZT host.
//
// Generated at build time by tools/write_dialog_files from the parameter list in
// plugin/TaskParameters.h. Edit that list, not this file: the plug-in, this script, the
// parameter file quelmar-defaults.params and the help page are all checked against it.
//
// The dialog is described as data (QUELMAR_DIALOG): one section per task, with every parameter
// that task reads, under the exact name the task asks the host for, and its shipped default.
// The host's scripting interface is reached through two objects only, so that the script is
// easy to adapt:
//
//   host  the parameter store and the plug-in:
//           host.setStringParameter(name, text)
//           host.setIntParameter(name, integer)
//           host.setFloatParameter(name, number)
//           host.getStringParameter(name)       -> text (reads back "sdmfile")
//           host.runPlugin()                    calls the plug-in's execute()
//   ui    the widgets of the dialog window:
//           ui.beginSection(title, summary)
//           ui.addCheckBox(label, checked, onChange(checked))
//           ui.addNumberField(label, value, onChange(value))
//           ui.addTextField(label, text)        -> field with setText(text); read-only
//           ui.addButton(label, onClick())
//           ui.endSection()
//
// quelmarCreateDialog(host, ui) builds the window; each section's button stores that section's
// values and sets "task" before it runs the plug-in. quelmarRunTask(host, task, values) does the
// same without a window, for scripted batch runs.
"use strict";

)js";

constexpr std::string_view kScriptFunctions = R"js(
// The section of a task, or null.
function quelmarSection(task) {
    for (var i = 0; i < QUELMAR_DIALOG.sections.length; ++i) {
        if (QUELMAR_DIALOG.sections[i].task === task) {
            return QUELMAR_DIALOG.sections[i];
        }
    }
    return null;
}

// The dialog's starting values: for each task, every parameter it lets the user edit, at its
// shipped default. Shared names (plot_regular, plot_detrended) are kept per task, because each
// section's button stores its own section's values.
function quelmarDefaultValues() {
    var values = {};
    QUELMAR_DIALOG.sections.forEach(function (section) {
        values[section.task] = {};
        section.parameters.forEach(function (parameter) {
            if (parameter.editable) {
                values[section.task][parameter.name] = parameter.defaultValue;
            }
        });
    });
    return values;
}

// Stores one value in the host with the setter of the parameter's kind. Switches are stored as
// 1 or 0, because the plug-in reads them as integers ("on when not 0").
function quelmarStoreParameter(host, parameter, value) {
    if (parameter.kind === "int") {
        host.setIntParameter(parameter.name, value === true ? 1 : value === false ? 0 : Math.round(Number(value)));
    } else if (parameter.kind === "float") {
        host.setFloatParameter(parameter.name, Number(value));
    } else {
        host.setStringParameter(parameter.name, String(value));
    }
}

// Stores the editable parameters of `task` (from `values`, else the defaults), sets "task" and
// runs the plug-in. Throws for a task the dialog does not know.
function quelmarRunTask(host, task, values) {
    var section = quelmarSection(task);
    if (section === null) {
        throw new Error("Quelmar.js: unknown task \"" + task + "\"");
    }
    var given = (values && values[task]) || {};
    section.parameters.forEach(function (parameter) {
        if (parameter.editable) {
            var value = Object.prototype.hasOwnProperty.call(given, parameter.name)
                ? given[parameter.name] : parameter.defaultValue;
            quelmarStoreParameter(host, parameter, value);
        }
    });
    host.setStringParameter("task", task);
    host.runPlugin();
}

// Builds the dialog window: one section per task, a check box per switch, a number field per
// threshold, radius or count, the chosen motion file as read-only text, and the task's button at
// the end.
function quelmarCreateDialog(host, ui) {
    var values = quelmarDefaultValues();
    var fileFields = [];
    var showChosenFile = function () {
        var path = host.getStringParameter("sdmfile") || "";
        fileFields.forEach(function (field) { field.setText(path); });
    };
    QUELMAR_DIALOG.sections.forEach(function (section) {
        ui.beginSection(section.title, section.summary);
        section.parameters.forEach(function (parameter) {
            var sectionValues = values[section.task];
            if (parameter.control === "text") {
                fileFields.push(ui.addTextField(parameter.label, ""));
            } else if (parameter.control === "checkbox") {
                ui.addCheckBox(parameter.label, sectionValues[parameter.name] !== 0, function (checked) {
                    sectionValues[parameter.name] = checked ? 1 : 0;
                });
            } else {
                ui.addNumberField(parameter.label, sectionValues[parameter.name], function (value) {
                    sectionValues[parameter.name] = Number(value);
                });
            }
        });
        ui.addButton(section.button, function () {
            quelmarRunTask(host, section.task, values);
            showChosenFile();
        });
        ui.endSection();
    });
    showChosenFile();
    return values;
}
)js";

// `text` as "# " comment lines of at most kCommentWidth characters, broken at blanks;
// continuation lines are indented so each note reads as one item.
std::string commentLines(const std::string& text) {
    constexpr std::size_t kCommentWidth = 96;
    std::string lines;
    std::string line = "#";
    std::istringstream words(text);
    std::string word;
    while (words >> word) {
        if (line.size() > 2 && line.size() + 1 + word.size() > kCommentWidth) {
            lines += line + "\n";
            line = "#  ";
        }
        line += " " + word;
    }
    return lines + line + "\n";
}

// The tasks that read `name`, comma-separated, in task order.
std::string readersOf(std::string_view name) {
    std::string readers;
    for (const TaskParameter& parameter : kTaskParameters) {
        if (parameter.name == name && parameter.access == ParameterAccess::Read) {
            readers += (readers.empty() ? "" : ", ") + std::string(parameter.task);
        }
    }
    return readers;
}

} // namespace

std::string dialogScript() {
    std::ostringstream out;
    out << kScriptHead;
    out << "var QUELMAR_DIALOG = {\n"
        << "    plugin: " << jsString(kPluginName) << ",\n"
        << "    version: " << jsString(kPluginVersion) << ",\n"
        << "    helpFile: " << jsString(kHelpFile) << ",\n";
    writeSections(out);
    out << "};\n";
    out << kScriptFunctions;
    return out.str();
}

std::string defaultParameterFile() {
    std::ostringstream out;
    out << "# quelmar-defaults.params: the shipped defaults of every dialog parameter of the\n"
        << "# Quelmar plug-in, for Halvorn.exe --params FILE (NAME=VALUE lines, # comments).\n"
        << "# Generated at build time from plugin/TaskParameters.h; the help page\n"
        << "# (HelpFolder/index.html) explains each option in full.\n"
        << "# Switches are on when not 0. A later --set NAME=VALUE overrides a line here.\n";
    std::set<std::string_view> written;
    for (const TaskDescription& task : kTaskDescriptions) {
        out << "\n# ---- task \"" << task.name << "\": " << task.title << "\n";
        for (const TaskParameter& parameter : kTaskParameters) {
            if (parameter.task != task.name || !written.insert(parameter.name).second) {
                continue;
            }
            out << "\n"
                << commentLines(std::string(parameter.name) + " (" +
                                std::string(kindName(parameter.kind)) +
                                "): " + std::string(parameter.meaning))
                << commentLines("Why this default: " + std::string(parameter.whyDefault))
                << commentLines("Read by: " + readersOf(parameter.name));
            if (parameter.kind == ParameterKind::String && parameter.defaultValue.empty()) {
                // An empty path would only hide the one the selection task stores.
                out << "# Set by \"" << kSelectSdmTask
                    << "\"; give it here only when you skip that task:\n"
                    << "#" << parameter.name << "=\n";
            } else {
                out << parameter.name << "=" << parameter.defaultValue << "\n";
            }
        }
    }
    return out.str();
}

} // namespace qm::tools
