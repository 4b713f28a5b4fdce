// A generated run put through all three tasks with every option on and --report, as the demo
// does, at a size a test can afford; and what a browser would load from the page.
#pragma once

#include "HostRun.h"
#include "SyntheticRun.h"
#include "TempDir.h"

#include <filesystem>
#include <string>
#include <vector>

namespace qm::test {

class ReportedRun {
public:
    // Writes the run into a fresh folder and runs Halvorn.exe there with `extraArguments` added
    // (such as --plots DIR); the report goes to the folder "report".
    explicit ReportedRun(const std::vector<std::string>& extraArguments = {});

    std::filesystem::path reportFolder() const { return dir.path() / "report"; }
    std::string page() const { return readFile((reportFolder() / "index.html").string()); }

    TempDir dir;
    tools::RunFiles files;
    HostRun host;
};

// The dialog parameters of the demo: every family, spikes above 0.5 mm, the confound table, every
// map, both plots.
std::vector<std::string> everyOptionOn();

// Every src and href of the page, in order.
std::vector<std::string> imageSources(const std::string& page);
std::vector<std::string> linkTargets(const std::string& page);

// A %XX-escaped relative URL back as a path.
std::string pathFromUrl(const std::string& url);

// The text as it stands inside the page's markup.
std::string escapedForHtml(const std::string& text);

// A small generated run (8 x 8 x 4 voxels, 20 volumes) in `folder`.
tools::RunFiles writeSmallRun(const std::filesystem::path& folder);

// True when the file starts with the PNG signature and holds more than it.
bool isPngFile(const std::filesystem::path& path);

} // namespace qm::test
