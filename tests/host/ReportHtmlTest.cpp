// The report page's markup: escaping, links, sizes, and what the spike section says for each
// outcome of a spike search.
#include "ReportHtml.h"
#include "ReportUrl.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace halvorn_host {
namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

struct UrlCase {
    std::string path;
    std::string url;
};

TEST(ReportHtml, RelativePathsBecomeUrls) {
    const std::vector<UrlCase> cases = {
        {"../run_3DMC_detr.sdm", "../run_3DMC_detr.sdm"},
        {"my runs/a+b#1.sdm", "my%20runs/a%2Bb%231.sdm"},
        {"100%/x~y.png", "100%25/x~y.png"},
        {"\xC3\xA9.png", "%C3%A9.png"},
        {"a?b&c=\"d\".png", "a%3Fb%26c%3D%22d%22.png"},
    };
    for (const auto& [path, url] : cases) {
        EXPECT_EQ(urlFromRelativePath(path), url) << path;
    }
}

TEST(ReportHtml, SizesInPowersOfAThousand) {
    EXPECT_EQ(readableSize(0), "0 B");
    EXPECT_EQ(readableSize(999), "999 B");
    EXPECT_EQ(readableSize(1000), "1.0 kB");
    EXPECT_EQ(readableSize(13745), "13.7 kB");
    EXPECT_EQ(readableSize(999960), "1.0 MB");
    EXPECT_EQ(readableSize(49152000), "49.2 MB");
}

PageRun runWithSpikes(std::vector<SpikeRow> spikes) {
    PageRun run;
    run.anchor = "run-1";
    run.name = "run_3DMC.sdm";
    run.sdmPath = "data/run_3DMC.sdm";
    run.spikeSearch = SpikeSearch{"0.5", std::move(spikes)};
    return run;
}

TEST(ReportHtml, SpikeRowsShowVolumeDisplacementAndThreshold) {
    ReportPage page;
    page.runs.push_back(runWithSpikes({{105, "1.16497"}, {140, "2.02191"}}));
    page.runs[0].spikeFileName = "run_3DMC_spikes.sdm";
    const std::string html = renderReportHtml(page);
    EXPECT_TRUE(contains(html, "<td class=\"num\">105</td><td class=\"num\">1.16497</td>"
                               "<td class=\"num\">0.5</td>"));
    EXPECT_TRUE(contains(html, "<td class=\"num\">140</td><td class=\"num\">2.02191</td>"
                               "<td class=\"num\">0.5</td>"));
    EXPECT_TRUE(contains(html, "2 volumes moved more than 0.5 mm"));
    EXPECT_TRUE(contains(html, "<code>run_3DMC_spikes.sdm</code>"));
    // The plots count volumes from 1.
    EXPECT_TRUE(contains(html, "volume 105 stands at 106 there"));
}

TEST(ReportHtml, EachOutcomeOfTheSpikeSearchIsSaidInWords) {
    ReportPage page;
    page.runs.push_back(runWithSpikes({}));
    page.runs.push_back(runWithSpikes({}));
    page.runs[1].spikeSearch.reset();
    const std::string html = renderReportHtml(page);
    EXPECT_TRUE(contains(html, "No volume moved more than 0.5 mm"));
    EXPECT_TRUE(contains(html, "No spike search"));
}

TEST(ReportHtml, ThePageLoadsNothingFromTheNetwork) {
    ReportPage page;
    page.pluginName = "Quelmar";
    page.runs.push_back(runWithSpikes({{3, "0.9"}}));
    page.runs[0].plots.push_back({"plot-01-a.png", "a", 800, 350});
    page.runs[0].files.push_back({"../a_detr.sdm", "../a_detr.sdm", "detrended", 13805});
    const std::string html = renderReportHtml(page);
    EXPECT_FALSE(contains(html, "http:"));
    EXPECT_FALSE(contains(html, "https:"));
    EXPECT_FALSE(contains(html, "<script"));
    EXPECT_FALSE(contains(html, "<link"));
    EXPECT_TRUE(contains(html, "<style>"));
    EXPECT_TRUE(contains(html, "src=\"plot-01-a.png\""));
    EXPECT_TRUE(contains(html, "href=\"../a_detr.sdm\""));
    EXPECT_TRUE(contains(html, "13.8 kB"));
}

TEST(ReportHtml, NamesFromFilesAreEscaped) {
    ReportPage page;
    page.fmrPath = "<b>run</b>.fmr";
    page.log.push_back({ReportLogEntry::Kind::MessageBox, "confound", "Error: <oops> & more"});
    page.runs.push_back(runWithSpikes({}));
    page.runs[0].name = "a\"><script>x</script>'.sdm";
    page.runs[0].files.push_back({"it's \"<here>\".sdm", "x\" onclick=\"y", "a", 1});
    const std::string html = renderReportHtml(page);
    EXPECT_TRUE(contains(html, "&lt;b&gt;run&lt;/b&gt;.fmr"));
    EXPECT_TRUE(contains(html, "[message box] Error: &lt;oops&gt; &amp; more"));
    EXPECT_FALSE(contains(html, "<oops>"));
    EXPECT_FALSE(contains(html, "<script>"));
    EXPECT_TRUE(contains(html, "<h2>a&quot;&gt;&lt;script&gt;x&lt;/script&gt;&apos;.sdm</h2>"));
    // Attribute values cannot be left early.
    EXPECT_TRUE(contains(html, "href=\"x&quot; onclick=&quot;y\""));
    EXPECT_TRUE(contains(html, "<code>it&apos;s &quot;&lt;here&gt;&quot;.sdm</code>"));
}

TEST(ReportHtml, ThePageStartsWithItsDoctypeAndEndsWithItsClosingTag) {
    const std::string html = renderReportHtml(ReportPage{});
    EXPECT_TRUE(html.starts_with("<!DOCTYPE html>\n<html lang=\"en\">\n"));
    EXPECT_TRUE(html.ends_with("</body>\n</html>\n"));
    EXPECT_TRUE(contains(html, "<span class=\"chip\">no task ran</span>"));
    EXPECT_TRUE(contains(html, "No motion design matrix was analysed"));
    EXPECT_TRUE(contains(html, "<pre class=\"log\">(nothing was logged)\n</pre>"));
}

} // namespace
} // namespace halvorn_host
