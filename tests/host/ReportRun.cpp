#include "ReportRun.h"

#include <regex>

namespace qm::test {

namespace {

std::vector<std::string> attributeValues(const std::string& page, const std::string& attribute) {
    std::vector<std::string> values;
    const std::regex pattern("\\b" + attribute + "=\"([^\"]*)\"");
    for (auto it = std::sregex_iterator(page.begin(), page.end(), pattern);
         it != std::sregex_iterator(); ++it) {
        values.push_back((*it)[1]);
    }
    return values;
}

} // namespace

std::vector<std::string> everyOptionOn() {
    std::vector<std::string> settings = {"spike_threshold=0.5", "fmr_threshold=150",
                                         "plot_regular=1", "plot_detrended=1", "create_table=1"};
    for (const char* option :
         {"create_detrended", "create_derivative", "create_spikes", "create_squared",
          "create_delayed1", "create_delayed1sq", "create_delayed2", "create_delayed2sq",
          "map_max_abs", "map_mean_abs", "map_max_rel", "map_mean_rel", "map_max_abs_x",
          "map_max_abs_y", "map_max_abs_z"}) {
        settings.push_back(std::string(option) + "=1");
    }
    return settings;
}

ReportedRun::ReportedRun(const std::vector<std::string>& extraArguments) {
    tools::RunSpec spec;
    spec.directory = dir.path().string();
    spec.sizeX = 12;
    spec.sizeY = 10;
    spec.sizeZ = 6;
    spec.volumes = 40;
    spec.jumps = 3;
    spec.seed = 1;
    files = tools::writeSyntheticRun(spec);

    std::vector<std::string> arguments = {"--document", files.fmr,  "--choose",
                                          files.sdm,    "--report", "report"};
    for (const auto& setting : everyOptionOn()) {
        arguments.push_back("--set");
        arguments.push_back(setting);
    }
    arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
    for (const char* task : {"select_3dmcsdm", "confound", "displacement"}) {
        arguments.push_back(task);
    }
    host = runHalvorn(arguments, dir.path().string());
}

std::vector<std::string> imageSources(const std::string& page) {
    return attributeValues(page, "src");
}

std::vector<std::string> linkTargets(const std::string& page) {
    return attributeValues(page, "href");
}

std::string pathFromUrl(const std::string& url) {
    std::string path;
    for (std::size_t i = 0; i < url.size(); ++i) {
        if (url[i] == '%' && i + 2 < url.size()) {
            path += static_cast<char>(std::stoi(url.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            path += url[i];
        }
    }
    return path;
}

std::string escapedForHtml(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        switch (c) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

tools::RunFiles writeSmallRun(const std::filesystem::path& folder) {
    tools::RunSpec spec;
    spec.directory = folder.string();
    spec.sizeX = 8;
    spec.sizeY = 8;
    spec.sizeZ = 4;
    spec.volumes = 20;
    return tools::writeSyntheticRun(spec);
}

bool isPngFile(const std::filesystem::path& path) {
    const std::string bytes = readFile(path.string());
    return bytes.size() > 8 && bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0;
}

} // namespace qm::test
