// The help page the host opens, "HelpFolder/index.html" beside the library: every link and
// picture resolves inside the folder, every dialog parameter is documented with the default of
// the parameter list, and Chromium renders it, pictures included.
#include "Chromium.h"
#include "TaskParameters.h"
#include "TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace qm::test {
namespace {

namespace fs = std::filesystem;

const fs::path kHelpFolder = fs::path(QUELMAR_BIN_DIR) / "HelpFolder";

std::set<std::string> idsIn(const std::string& markup) {
    std::set<std::string> ids;
    const std::regex id(R"re(\bid\s*=\s*"([^"]+)")re");
    for (auto it = std::sregex_iterator(markup.begin(), markup.end(), id);
         it != std::sregex_iterator(); ++it) {
        ids.insert((*it)[1]);
    }
    return ids;
}

// Every reference a browser would follow or load: href, src and CSS url(...).
std::vector<std::string> referencesIn(const std::string& markup) {
    std::vector<std::string> references;
    for (const std::regex& pattern : {std::regex(R"re(\b(?:href|src)\s*=\s*"([^"]*)")re"),
                                      std::regex(R"re(\b(?:href|src)\s*=\s*'([^']*)')re"),
                                      std::regex(R"re(url\(\s*['"]?([^'")]+))re")}) {
        for (auto it = std::sregex_iterator(markup.begin(), markup.end(), pattern);
             it != std::sregex_iterator(); ++it) {
            references.push_back((*it)[1]);
        }
    }
    return references;
}

// Why `reference`, found in `file` of the help folder, does not resolve; empty when it does.
std::string problemWith(const std::string& reference, const fs::path& file) {
    if (reference.empty()) {
        return "an empty reference";
    }
    const auto colon = reference.find(':');
    if (reference.starts_with("//") ||
        (colon != std::string::npos && colon < reference.find_first_of("/#"))) {
        return "an external or scheme URL; the page must work offline";
    }
    const auto hash = reference.find('#');
    const std::string target = reference.substr(0, hash);
    const std::string fragment = hash == std::string::npos ? "" : reference.substr(hash + 1);
    fs::path targetFile = file;
    if (!target.empty()) {
        if (target.starts_with("/") || target.find("..") != std::string::npos) {
            return "leaves the help folder";
        }
        targetFile = kHelpFolder / target;
        if (!fs::is_regular_file(targetFile)) {
            return "names a missing file";
        }
    }
    if (!fragment.empty() && !idsIn(readFile(targetFile.string())).contains(fragment)) {
        return "names a missing anchor";
    }
    return {};
}

TEST(HelpPage, EveryLinkAndPictureResolvesInsideTheFolder) {
    ASSERT_TRUE(fs::is_regular_file(kHelpFolder / "index.html"));
    int checked = 0;
    for (const auto& entry : fs::directory_iterator(kHelpFolder)) {
        const auto extension = entry.path().extension();
        if (extension != ".html" && extension != ".svg") {
            continue;
        }
        for (const std::string& reference : referencesIn(readFile(entry.path().string()))) {
            EXPECT_EQ(problemWith(reference, entry.path()), "")
                << entry.path().filename() << ": \"" << reference << "\"";
            ++checked;
        }
    }
    EXPECT_GT(checked, 20) << "the page links its sections and shows pictures";
}

TEST(HelpPage, TheLinkCheckRefusesWhatABrowserCouldNotResolve) {
    const fs::path page = kHelpFolder / "index.html";
    EXPECT_EQ(problemWith("https://example.org/x.png", page),
              "an external or scheme URL; the page must work offline");
    EXPECT_EQ(problemWith("//cdn.example.org/x.css", page),
              "an external or scheme URL; the page must work offline");
    EXPECT_EQ(problemWith("#no-such-section", page), "names a missing anchor");
    EXPECT_EQ(problemWith("missing.svg", page), "names a missing file");
    EXPECT_EQ(problemWith("../Quelmar.js", page), "leaves the help folder");
    EXPECT_EQ(problemWith("#formulas", page), "");
}

// Each row of the option tables carries the task, the parameter and its default, so the page
// can be held against the one parameter list.
TEST(HelpPage, EveryParameterIsDocumentedWithItsShippedDefault) {
    const std::string page = readFile((kHelpFolder / "index.html").string());
    const std::regex row(
        R"re(<tr id="p-([a-z0-9_]+)-([a-z0-9_]+)" data-task="([^"]*)" data-parameter="([^"]*)" data-default="([^"]*)">)re");
    std::set<std::string> documented;
    for (auto it = std::sregex_iterator(page.begin(), page.end(), row);
         it != std::sregex_iterator(); ++it) {
        const auto& match = *it;
        EXPECT_EQ(match[1], match[3]) << match[0];
        EXPECT_EQ(match[2], match[4]) << match[0];
        documented.insert(std::string(match[3]) + "/" + std::string(match[4]) + "=" +
                          std::string(match[5]));
    }
    std::set<std::string> listed;
    for (const TaskParameter& parameter : kTaskParameters) {
        listed.insert(std::string(parameter.task) + "/" + std::string(parameter.name) + "=" +
                      std::string(parameter.defaultValue));
    }
    EXPECT_EQ(documented, listed);
}

TEST(HelpPage, ChromiumRendersItToAScreenshot) {
    const std::string screenshot = QUELMAR_HELP_SCREENSHOT;
    fs::remove(screenshot);
    const auto run = runChromium("file://" + (kHelpFolder / "index.html").string(),
                                 {"--window-size=1100,1600", "--screenshot=" + screenshot});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ASSERT_TRUE(fs::is_regular_file(screenshot)) << run.err;
    std::cout << "screenshot of the help page: " << screenshot << '\n';

    const std::string png = readFile(screenshot);
    ASSERT_GT(png.size(), 24U);
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    const auto bigEndian = [&png](std::size_t at) {
        return (static_cast<unsigned char>(png[at]) << 24) |
               (static_cast<unsigned char>(png[at + 1]) << 16) |
               (static_cast<unsigned char>(png[at + 2]) << 8) |
               static_cast<unsigned char>(png[at + 3]);
    };
    EXPECT_EQ(bigEndian(16), 1100U);
    EXPECT_EQ(bigEndian(20), 1600U);
    // A blank page compresses to a few kilobytes; text, tables and pictures do not.
    EXPECT_GT(png.size(), 50000U);
}

// A page beside index.html that opens it in a frame and reports, from inside the browser,
// whether every picture decoded and every in-page link has its target.
constexpr const char* kHarness = R"html(<!DOCTYPE html>
<html><body>
<pre id="result">not loaded</pre>
<iframe id="page" src="index.html" style="width:1100px;height:900px"></iframe>
<script>
document.getElementById("page").addEventListener("load", function () {
    var doc = this.contentDocument;
    var report = function (value) {
        document.getElementById("result").textContent = JSON.stringify(value);
    };
    if (!doc) { report({error: "no access to the page"}); return; }
    var pictures = Array.prototype.map.call(doc.images, function (img) {
        return img.decode().then(
            function () { return {src: img.getAttribute("src"), width: img.naturalWidth}; },
            function () { return {src: img.getAttribute("src"), width: 0}; });
    });
    Promise.all(pictures).then(function (images) {
        var missing = [];
        doc.querySelectorAll("a[href^='#']").forEach(function (a) {
            var id = a.getAttribute("href").slice(1);
            if (!doc.getElementById(id)) { missing.push(id); }
        });
        report({title: doc.title, heading: doc.querySelector("h1").textContent,
                images: images, inlineSvgs: doc.querySelectorAll("svg").length,
                links: doc.querySelectorAll("a[href^='#']").length, missingTargets: missing});
    });
});
</script>
</body></html>
)html";

TEST(HelpPage, InChromiumEveryPictureDecodesAndEveryLinkHasItsTarget) {
    TempDir dir;
    const fs::path copy = dir.path() / "HelpFolder";
    fs::copy(kHelpFolder, copy, fs::copy_options::recursive);
    writeFile((copy / "harness.html").string(), kHarness);
    const auto run = runChromium(
        "file://" + (copy / "harness.html").string(),
        {"--allow-file-access-from-files", "--virtual-time-budget=20000", "--dump-dom"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string text = resultText(run.out);
    ASSERT_FALSE(text.empty()) << run.out;
    const auto result = nlohmann::json::parse(text, nullptr, false);
    ASSERT_FALSE(result.is_discarded()) << text;
    ASSERT_FALSE(result.contains("error")) << text;

    EXPECT_NE(result["title"].get<std::string>().find("Quelmar"), std::string::npos);
    EXPECT_NE(result["heading"].get<std::string>().find("Quelmar"), std::string::npos);
    ASSERT_GE(result["images"].size(), 2U) << text;
    for (const auto& image : result["images"]) {
        EXPECT_GT(image["width"].get<int>(), 0) << image["src"] << " did not decode";
    }
    EXPECT_GE(result["inlineSvgs"].get<int>(), 1);
    EXPECT_GT(result["links"].get<int>(), 10);
    EXPECT_TRUE(result["missingTargets"].empty()) << result["missingTargets"];
}

} // namespace
} // namespace qm::test
