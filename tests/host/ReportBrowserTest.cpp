// The report page in headless Chromium: every picture loads and decodes, every link resolves,
// and a screenshot of the page lands in the test's build folder for a person to look at.
#include "Chromium.h"
#include "ReportRun.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <string>

namespace qm::test {
namespace {

namespace fs = std::filesystem;

TEST(ReportInBrowser, ChromiumRendersThePageToAScreenshot) {
    const ReportedRun run;
    ASSERT_EQ(run.host.exitCode, 0) << run.host.err;
    const std::string screenshot = QUELMAR_REPORT_SCREENSHOT;
    fs::remove(screenshot);
    const auto chromium = runChromium("file://" + (run.reportFolder() / "index.html").string(),
                                      {"--window-size=1280,2000", "--screenshot=" + screenshot});
    ASSERT_EQ(chromium.exitCode, 0) << chromium.err;
    ASSERT_TRUE(isPngFile(screenshot)) << chromium.err;
    std::cout << "screenshot of the report: " << screenshot << '\n';
    // A blank page compresses to a few kilobytes; plots and maps do not.
    EXPECT_GT(fs::file_size(screenshot), 50'000U);
}

// A page beside the report loads it in a frame and, once everything has loaded, writes how many
// pictures decoded to a real size and which links lead nowhere: a file link is fetched (file
// pages may read each other only with --allow-file-access-from-files), an anchor must name an
// element of the page. The harness's own transcript is removed once the run has been read.
TEST(ReportInBrowser, EveryPictureLoadsAndEveryLinkResolves) {
    const ReportedRun run;
    const fs::path probe = run.dir.path() / "probe.html";
    writeFile(probe.string(), R"(<!DOCTYPE html><html><body><pre id="result">pending</pre>
<iframe id="report" src="report/index.html" style="width:1280px;height:900px"></iframe>
<script>
window.addEventListener('load', () => {
  const page = document.getElementById('report').contentDocument;
  const images = [...page.images];
  const broken = images.filter(image => !image.complete || image.naturalWidth === 0)
                       .map(image => image.getAttribute('src'));
  const links = [...page.querySelectorAll('a[href]')];
  const dead = links.filter(link => {
    const target = link.getAttribute('href');
    if (target.startsWith('#')) {
      return page.getElementById(decodeURIComponent(target.substring(1))) === null;
    }
    if (target.endsWith('.halvorn-transcript.jsonl')) {
      return false;
    }
    try {
      const request = new XMLHttpRequest();
      request.open('GET', link.href, false);
      request.send();
      return false;
    } catch (error) {
      return true;
    }
  }).map(link => link.getAttribute('href'));
  document.getElementById('result').textContent =
      images.length + ' pictures, broken: ' + (broken.join(' ') || 'none') + '; ' +
      links.length + ' links, dead: ' + (dead.join(' ') || 'none');
});
</script></body></html>
)");
    const auto chromium =
        runChromium("file://" + probe.string(), {"--allow-file-access-from-files", "--dump-dom"});
    ASSERT_EQ(chromium.exitCode, 0) << chromium.err;
    // Three plots, three motion panels, seven maps; the links: the files written and the
    // transcript.
    const std::string result = resultText(chromium.out);
    EXPECT_THAT(result, ::testing::StartsWith("13 pictures, broken: none; ")) << chromium.err;
    EXPECT_THAT(result, ::testing::EndsWith(" links, dead: none")) << chromium.err;
}

} // namespace
} // namespace qm::test
