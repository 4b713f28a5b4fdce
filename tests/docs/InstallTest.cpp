// `cmake --install` into a fresh prefix: the library, its dialog script, its help folder and the
// default parameters lie together in <prefix>/lib/quelmar/, and the installed Halvorn.exe,
// started through <prefix>/bin, finds the plug-in beside itself and runs every task.
#include "SyntheticRun.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace qm::test {
namespace {

namespace fs = std::filesystem;

std::string quoted(const std::string& text) {
    return "'" + text + "'";
}

TEST(Install, PutsEverythingTheHostLoadsBesideTheLibraryAndHalvornRunsFromBin) {
    TempDir prefix;
    const std::string log = prefix.file("install.log");
    const std::string install = quoted(QUELMAR_CMAKE_COMMAND) + " --install " +
                                quoted(QUELMAR_BUILD_DIR) + " --prefix " +
                                quoted(prefix.path().string()) + " > " + quoted(log) + " 2>&1";
    ASSERT_EQ(std::system(install.c_str()), 0) << readFile(log);

    const fs::path folder = prefix.path() / QUELMAR_INSTALL_DIR;
    for (const char* file : {"Quelmar.so", "Quelmar.js", "quelmar-defaults.params",
                             "HelpFolder/index.html", "HelpFolder/workflow.svg", "Halvorn.exe"}) {
        EXPECT_TRUE(fs::is_regular_file(folder / file)) << file << "\n" << readFile(log);
    }
    const fs::path link = prefix.path() / "bin" / "Halvorn.exe";
    ASSERT_TRUE(fs::is_symlink(link)) << readFile(log);
    EXPECT_TRUE(fs::read_symlink(link).is_relative()) << "the installed tree can be moved";

    TempDir work;
    tools::RunSpec spec;
    spec.directory = work.path().string();
    spec.sizeX = 8;
    spec.sizeY = 8;
    spec.sizeZ = 4;
    spec.volumes = 12;
    tools::writeSyntheticRun(spec);
    const std::string out = work.file("out.txt");
    const std::string err = work.file("err.txt");
    const std::string run = "cd " + quoted(work.path().string()) + " && " + quoted(link.string()) +
                            " --document run.fmr --params " +
                            quoted((folder / "quelmar-defaults.params").string()) +
                            " --choose run_3DMC.sdm select_3dmcsdm confound displacement > " +
                            quoted(out) + " 2> " + quoted(err);
    ASSERT_EQ(std::system(run.c_str()), 0) << readFile(err);
    EXPECT_EQ(readFile(err), "") << "the shipped defaults cover every parameter the tasks read";
    EXPECT_NE(readFile(out).find("Quelmar>  Saving Maps"), std::string::npos) << readFile(out);
    EXPECT_TRUE(fs::is_regular_file(work.path() / "run_3DMC_detr.sdm"));
    EXPECT_TRUE(fs::is_regular_file(work.path() / "run_3DMC_MeanRelative.nii"));
}

} // namespace
} // namespace qm::test
