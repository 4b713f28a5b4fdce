// Headless Chromium for the documentation tests: render a page to a PNG, or print the DOM a
// page's scripts leave behind.
#pragma once

#include <string>
#include <vector>

namespace qm::test {

struct ChromiumRun {
    int exitCode = -1;
    std::string out; // the DOM for --dump-dom
    std::string err;
};

// Path of the Chromium executable found at configure time; empty when there was none.
std::string chromiumExecutable();

// Runs Chromium headless on `url` with `arguments` added (such as --dump-dom or
// --screenshot=FILE), with a fresh profile folder, no network services and a time limit, as
// root-safe as a test needs (--no-sandbox).
ChromiumRun runChromium(const std::string& url, const std::vector<std::string>& arguments);

// The text content of <pre id="result"> in a DOM dump, with the HTML escapes undone.
std::string resultText(const std::string& dom);

} // namespace qm::test
