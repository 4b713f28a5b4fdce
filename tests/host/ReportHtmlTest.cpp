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
    run.spikeSearch = SpikeSearch{"0.5", "", std::move(spikes)};
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
    EXPECT_TRUE(contains(html, "2 volumes are flagged in the confound table"));
    EXPECT_TRUE(contains(html, "spike threshold of 0.5 mm (relative RMS displacement"));
    EXPECT_TRUE(contains(html, "<code>run_3DMC_spikes.sdm</code>"));
    // The plots count volumes from 1.
    EXPECT_TRUE(contains(html, "volume 105 stands at 106 there"));
}

TEST(ReportHtml, EachOutcomeOfTheSpikeSearchIsSaidInWords) {
    ReportPage page;
    page.runs.push_back(runWithSpikes({}));
    page.runs.push_back(runWithSpikes({}));
    page.runs[1].spikeSearch.reset();
    page.runs.push_back(runWithSpikes({}));
    page.runs[2].spikeSearch.reset();
    page.runs[2].noConfoundTable = true;
    page.runs.push_back(runWithSpikes({{7, "0.8"}}));
    page.runs[3].spikeSearch->measure = "1";
    const std::string html = renderReportHtml(page);
    EXPECT_TRUE(contains(html, "No volume is flagged in the confound table: none moved more than "
                               "0.5 mm (relative RMS displacement"));
    EXPECT_TRUE(contains(html, "No spike search"));
    EXPECT_TRUE(contains(html, "No confound table: the spikes are read from it"));
    EXPECT_TRUE(contains(html, "1 volume is flagged in the confound table"));
    EXPECT_TRUE(contains(html, "0.5 mm (framewise displacement from the previous volume)"));
    EXPECT_FALSE(contains(html, "worked on several design matrices"));
    page.runs[0].sharedLogTasks = {"confound", "displacement"};
    EXPECT_TRUE(contains(renderReportHtml(page),
                         "The log of the confound and the displacement tasks, which worked on "
                         "several design matrices at once, is in the whole log below."));
}

TEST(ReportHtml, PlotsOfNoOneDesignMatrixStandWithTheWholeRun) {
    ReportPage page;
    EXPECT_FALSE(contains(renderReportHtml(page), "could not be shared out"));
    page.sessionPlots.push_back({"plot-03-c.png", "Plot 3", 800, 350});
    const std::string html = renderReportHtml(page);
    const auto session = html.find("<section class=\"panel\" id=\"session\">");
    ASSERT_NE(session, std::string::npos);
    EXPECT_NE(html.find("could not be shared out among them", session), std::string::npos);
    EXPECT_NE(html.find("<img src=\"plot-03-c.png\" alt=\"Plot 3\"", session), std::string::npos);
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

TEST(ReportHtml, MessageBoxesAndHostErrorsStandInABannerAboveTheRuns) {
    ReportPage page;
    page.runs.push_back(runWithSpikes({}));
    page.log = {{ReportLogEntry::Kind::Log, "confound", "Quelmar >  Detecting Spikes"},
                {ReportLogEntry::Kind::MessageBox, "confound",
                 "The motion SDM has 199 volumes, the document 200"},
                {ReportLogEntry::Kind::HostError, "", "cannot write a.png"}};
    const std::string html = renderReportHtml(page);
    const auto banner = html.find("<section class=\"banner error\" id=\"warnings\"");
    ASSERT_NE(banner, std::string::npos);
    EXPECT_LT(banner, html.find("<section class=\"run\""));
    EXPECT_TRUE(contains(html, "The plug-in showed 2 messages, errors among them"));
    EXPECT_TRUE(contains(html, "<li class=\"warning\"><code>confound</code>: The motion SDM has "
                               "199 volumes, the document 200</li>"));
    EXPECT_TRUE(contains(html, "<li class=\"error\">Halvorn.exe: cannot write a.png</li>"));
    EXPECT_FALSE(contains(html, "Detecting Spikes</li>"));
}

TEST(ReportHtml, NoBannerWithoutMessages) {
    ReportPage page;
    page.log = {{ReportLogEntry::Kind::Log, "confound", "Quelmar >  Saving SDMs"}};
    EXPECT_FALSE(contains(renderReportHtml(page), "class=\"banner"));
}

TEST(ReportHtml, TheHeadMotionSectionShowsNumbersFlaggedVolumesAndPanels) {
    ReportPage page;
    page.runs.push_back(runWithSpikes({{2, "0.8"}}));
    PageMotionQc qc;
    qc.tableName = "run_3DMC_desc-confounds_timeseries.tsv";
    qc.volumes = 5;
    qc.summaries.push_back(
        {"relative RMS displacement", "relative_rms", "0.425", "0.400", "0.800"});
    qc.flaggedVolumes = {2, 4};
    qc.flaggedPercent = "40.0";
    qc.threshold = "0.5";
    qc.thresholdMeasure = "relative RMS displacement";
    qc.panels.push_back({"run-01-motion-1.png", "Displacement from the previous volume", 840, 250});
    page.runs[0].motionQc = qc;
    const std::string html = renderReportHtml(page);
    EXPECT_TRUE(contains(html, "<h3>Head motion</h3>"));
    EXPECT_TRUE(contains(html, "<code>run_3DMC_desc-confounds_timeseries.tsv</code>, 5 volumes"));
    EXPECT_TRUE(contains(html, "whose relative RMS displacement is above 0.5 mm"));
    EXPECT_TRUE(contains(html, "<tr><td>relative RMS displacement <code>relative_rms</code></td>"
                               "<td class=\"num\">0.425</td><td class=\"num\">0.400</td>"
                               "<td class=\"num\">0.800</td></tr>"));
    EXPECT_TRUE(contains(html, "<b>2 of 5 volumes flagged (40.0&nbsp;%)</b>: 2, 4</p>"));
    // The PNG holds twice the pixels; the page shows it at its own size.
    EXPECT_TRUE(contains(html, "<img src=\"run-01-motion-1.png\" alt=\"Displacement from the "
                               "previous volume\" width=\"840\" height=\"250\">"));
}

TEST(ReportHtml, AConfoundTableThatCannotBeReadIsSaid) {
    ReportPage page;
    page.runs.push_back(runWithSpikes({}));
    page.runs[0].motionQcProblem = "the confound table t.tsv cannot be read at line 3: <x>";
    const std::string html = renderReportHtml(page);
    EXPECT_TRUE(contains(html, "<p class=\"note problem\">the confound table t.tsv cannot be "
                               "read at line 3: &lt;x&gt;</p>"));
}

TEST(ReportHtml, TheSharedMapScaleIsStatedWithItsTicks) {
    ReportPage page;
    page.runs.push_back(runWithSpikes({}));
    PageMap map;
    map.heading = "Maximum absolute displacement";
    map.fileName = "run_MaxAbsolute.nii";
    map.picture = PageImage{"map-01-run_MaxAbsolute.png", map.heading, 500, 300};
    page.runs[0].maps = {map};
    page.runs[0].mapScale = PageMapScale{"2.250", {{"0", "0.0"}, {"1", "44.4"}, {"2", "88.9"}}};
    const std::string html = renderReportHtml(page);
    EXPECT_TRUE(contains(html, "on one scale for all maps of this design matrix"));
    EXPECT_TRUE(contains(html, "Colour scale of every map below: 0 to 2.250 mm<div "
                               "class=\"scalebar\"><i style=\"left:0.0%\">0</i><i "
                               "style=\"left:44.4%\">1</i><i style=\"left:88.9%\">2</i></div>"));
}

} // namespace
} // namespace halvorn_host
