// The parameter list in plugin/TaskParameters.h against what the tasks really do: each task,
// run through Halvorn.exe on a generated run, must ask the host for exactly the parameters the
// list gives it, in the list's order and with the getter of the listed kind, and store exactly
// the parameters the list says it writes.
#include "TaskParameters.h"
#include "HostRun.h"
#include "SyntheticRun.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace qm::test {
namespace {

struct ParameterUse {
    std::string name;
    std::string call; // ztGetIntParameter, ztGetFloatParameter, ztGetStringParameter, ztSet...
    bool operator==(const ParameterUse&) const = default;
};

std::ostream& operator<<(std::ostream& out, const ParameterUse& use) {
    return out << use.name << " (" << use.call << ")";
}

std::string getterOf(ParameterKind kind) {
    switch (kind) {
    case ParameterKind::Int:
        return "ztGetIntParameter";
    case ParameterKind::Float:
        return "ztGetFloatParameter";
    case ParameterKind::String:
        return "ztGetStringParameter";
    }
    return {};
}

// The list's entries for `task`, as the calls the task should make.
std::vector<ParameterUse> listedUses(std::string_view task, ParameterAccess access) {
    std::vector<ParameterUse> uses;
    for (const TaskParameter& parameter : kTaskParameters) {
        if (parameter.task == task && parameter.access == access) {
            uses.push_back({std::string(parameter.name), access == ParameterAccess::Read
                                                             ? getterOf(parameter.kind)
                                                             : "ztSetStringParameter"});
        }
    }
    return uses;
}

class TaskParameters : public ::testing::TestWithParam<std::string_view> {
protected:
    void SetUp() override {
        tools::RunSpec spec;
        spec.directory = dir.path().string();
        spec.sizeX = 8;
        spec.sizeY = 8;
        spec.sizeZ = 4;
        spec.volumes = 12;
        tools::writeSyntheticRun(spec);
    }

    // Runs `task` with every listed parameter at its shipped default, so that the task goes
    // all the way through; the selection task gets the run's motion file from its dialog.
    HostRun runTask(std::string_view task) {
        const std::string defaults =
            (std::filesystem::path(halvornExecutable()).parent_path() / "quelmar-defaults.params")
                .string();
        std::vector<std::string> arguments = {"--document", "run.fmr",  "--params",
                                              defaults,     "--choose", "run_3DMC.sdm"};
        if (task != kSelectSdmTask) {
            arguments.insert(arguments.end(), {"--set", "sdmfile=run_3DMC.sdm"});
        }
        arguments.emplace_back(task);
        return runHalvorn(arguments, dir.path().string());
    }

    // The parameter calls of the run in order, "task" left out, each name once (its first use).
    static std::vector<ParameterUse> usesIn(const HostRun& run, bool reads) {
        std::vector<ParameterUse> uses;
        for (const auto& entry : run.transcript) {
            if (!entry.contains("call") || !entry.contains("name")) {
                continue;
            }
            const std::string call = entry["call"];
            const std::string name = entry["name"];
            const bool isRead = call == "ztGetIntParameter" || call == "ztGetFloatParameter" ||
                                call == "ztGetStringParameter";
            const bool isWrite = call == "ztSetStringParameter";
            if (name == "task" || !(reads ? isRead : isWrite)) {
                continue;
            }
            bool seen = false;
            for (const auto& use : uses) {
                seen = seen || use.name == name;
            }
            if (!seen) {
                uses.push_back({name, call});
            }
        }
        return uses;
    }

    TempDir dir;
};

TEST_P(TaskParameters, TheTaskReadsAndWritesExactlyTheListedParameters) {
    const std::string_view task = GetParam();
    const HostRun run = runTask(task);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(run.messageBoxes().empty()) << run.err;

    const auto read = usesIn(run, true);
    EXPECT_EQ(read, listedUses(task, ParameterAccess::Read))
        << "the parameters \"" << task << "\" reads differ from plugin/TaskParameters.h";
    EXPECT_EQ(usesIn(run, false), listedUses(task, ParameterAccess::Written))
        << "the parameters \"" << task << "\" stores differ from plugin/TaskParameters.h";
}

INSTANTIATE_TEST_SUITE_P(EveryTask, TaskParameters,
                         ::testing::Values(kSelectSdmTask, kConfoundTask, kDisplacementTask),
                         [](const auto& info) { return std::string(info.param); });

TEST(TaskParameterList, NamesEveryTaskOfTheDialog) {
    std::vector<std::string_view> tasks;
    for (const TaskDescription& task : kTaskDescriptions) {
        tasks.push_back(task.name);
    }
    EXPECT_EQ(tasks,
              (std::vector<std::string_view>{kSelectSdmTask, kConfoundTask, kDisplacementTask}));
}

} // namespace
} // namespace qm::test
