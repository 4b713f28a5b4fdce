// The generated dialog script "Quelmar.js", run in Chromium against a stand-in host and a
// stand-in widget toolkit: it must build one section per task with a widget per parameter of
// the list, and each button must store that section's values, set "task" and run the plug-in.
#include "Chromium.h"
#include "TaskParameters.h"
#include "TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <string>

namespace qm::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr const char* kChosenPath = "C:/data/run1_3DMC.sdm";

// Presses every button once, in dialog order, after the user turned "_sqr" off and typed a
// spike threshold of 0.3; records every host call and every widget.
constexpr const char* kHarness = R"html(<!DOCTYPE html>
<html><body>
<pre id="result">not run</pre>
<script src="Quelmar.js"></script>
<script>
var result = {};
try {
    var calls = [];
    var store = {};
    var host = {
        setStringParameter: function (name, text) { calls.push(["string", name, text]); store[name] = text; },
        setIntParameter: function (name, value) { calls.push(["int", name, value]); store[name] = value; },
        setFloatParameter: function (name, value) { calls.push(["float", name, value]); store[name] = value; },
        getStringParameter: function (name) { return store[name] === undefined ? "" : String(store[name]); },
        runPlugin: function () {
            calls.push(["run", store.task]);
            if (store.task === "select_3dmcsdm") { store.sdmfile = "C:/data/run1_3DMC.sdm"; }
        }
    };
    var widgets = [], buttons = [], changes = {}, fields = [], section = "";
    var ui = {
        beginSection: function (title, summary) { section = title; widgets.push(["section", title]); },
        addCheckBox: function (label, checked, onChange) {
            widgets.push(["check", label, checked]); changes[section + "/" + label] = onChange;
        },
        addNumberField: function (label, value, onChange) {
            widgets.push(["number", label, value]); changes[section + "/" + label] = onChange;
        },
        addTextField: function (label, text) {
            var field = {text: text, setText: function (t) { this.text = t; }};
            fields.push(field); widgets.push(["text", label]); return field;
        },
        addButton: function (label, onClick) { widgets.push(["button", label]); buttons.push(onClick); },
        endSection: function () { widgets.push(["end"]); }
    };
    quelmarCreateDialog(host, ui);
    result.widgets = widgets;
    result.pressed = [];
    changes["Confound models/Squared (_sqr)"](false);
    changes["Confound models/Spike threshold (mm)"]("0.3");
    buttons.forEach(function (press) {
        press();
        result.pressed.push(calls.splice(0));
    });
    result.fields = fields.map(function (field) { return field.text; });
    try { quelmarRunTask(host, "Confound"); result.unknownTask = "accepted"; }
    catch (e) { result.unknownTask = e.message; }
} catch (e) {
    result.error = String(e) + (e.stack ? "\n" + e.stack : "");
}
document.getElementById("result").textContent = JSON.stringify(result);
</script>
</body></html>
)html";

class DialogScript : public ::testing::Test {
protected:
    void SetUp() override {
        fs::copy_file(fs::path(QUELMAR_BIN_DIR) / "Quelmar.js", dir.path() / "Quelmar.js");
        writeFile(dir.file("harness.html"), kHarness);
        const auto run = runChromium("file://" + dir.file("harness.html"),
                                     {"--allow-file-access-from-files", "--dump-dom"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const std::string text = resultText(run.out);
        result = json::parse(text, nullptr, false);
        ASSERT_FALSE(result.is_discarded()) << run.out;
        ASSERT_FALSE(result.contains("error")) << result["error"].get<std::string>();
    }
    TempDir dir;
    json result;
};

TEST_F(DialogScript, EachTaskGetsASectionWithAWidgetPerParameterAndItsButton) {
    json expected = json::array();
    for (const TaskDescription& task : kTaskDescriptions) {
        expected.push_back({"section", task.title});
        for (const TaskParameter& parameter : kTaskParameters) {
            if (parameter.task != task.name) {
                continue;
            }
            if (parameter.kind == ParameterKind::String ||
                parameter.access == ParameterAccess::Written) {
                expected.push_back({"text", parameter.label});
            } else if (parameter.kind == ParameterKind::Int &&
                       parameter.intControl == IntControl::Switch) {
                expected.push_back({"check", parameter.label, parameter.defaultValue != "0"});
            } else {
                expected.push_back(
                    {"number", parameter.label, std::stod(std::string(parameter.defaultValue))});
            }
        }
        expected.push_back({"button", task.button});
        expected.push_back({"end"});
    }
    EXPECT_EQ(result["widgets"], expected);
}

TEST_F(DialogScript, EachButtonStoresItsSectionsValuesSetsTaskAndRuns) {
    ASSERT_EQ(result["pressed"].size(), kTaskDescriptions.size());
    for (std::size_t i = 0; i < kTaskDescriptions.size(); ++i) {
        const TaskDescription& task = kTaskDescriptions[i];
        json expected = json::array();
        for (const TaskParameter& parameter : kTaskParameters) {
            if (parameter.task != task.name || parameter.access != ParameterAccess::Read ||
                parameter.kind == ParameterKind::String) {
                continue; // the motion file's path is the selection task's to store
            }
            std::string value(parameter.defaultValue);
            if (task.name == kConfoundTask && parameter.name == "create_squared") {
                value = "0";
            }
            if (task.name == kConfoundTask && parameter.name == "spike_threshold") {
                value = "0.3";
            }
            expected.push_back({parameter.kind == ParameterKind::Int ? "int" : "float",
                                parameter.name, json::parse(value)});
        }
        expected.push_back({"string", "task", task.name});
        expected.push_back({"run", task.name});
        EXPECT_EQ(result["pressed"][i], expected) << task.name;
    }
}

TEST_F(DialogScript, TheChosenMotionFileIsShownInEverySection) {
    EXPECT_EQ(result["fields"], json::array({kChosenPath, kChosenPath, kChosenPath}));
}

TEST_F(DialogScript, AnUnknownTaskIsRefusedByName) {
    EXPECT_EQ(result["unknownTask"], "Quelmar.js: unknown task \"Confound\"");
}

} // namespace
} // namespace qm::test
