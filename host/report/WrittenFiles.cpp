#include "WrittenFiles.h"

#include "HostSession.h"
#include "ReportTranscript.h"

#include <algorithm>

namespace halvorn_host {

namespace fs = std::filesystem;

FolderListing listFolders(const std::vector<std::string>& folders) {
    FolderListing listing;
    for (const auto& folder : folders) {
        std::error_code error;
        fs::directory_iterator entries(folder.empty() ? fs::path(".") : fs::path(folder), error);
        for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
            std::error_code statusError;
            if (!entries->is_regular_file(statusError)) {
                continue;
            }
            FileStamp stamp;
            stamp.time = entries->last_write_time(statusError);
            stamp.bytes = entries->file_size(statusError);
            if (statusError) {
                continue; // gone again, or not readable: nothing to tell of it
            }
            const std::string name = entries->path().filename().string();
            listing[folder.empty() ? name : (fs::path(folder) / name).string()] = stamp;
        }
    }
    return listing;
}

std::vector<WrittenFile> filesWritten(const FolderListing& before, const FolderListing& after) {
    std::vector<WrittenFile> written;
    for (const auto& [path, stamp] : after) {
        const auto earlier = before.find(path);
        if (earlier == before.end() || !(earlier->second == stamp)) {
            written.push_back({path, stamp.bytes});
        }
    }
    return written;
}

std::vector<std::string> motionFolders(const HostSession& host) {
    const auto sdmfile = host.parameters.find("sdmfile");
    if (sdmfile == host.parameters.end() || sdmfile->second.empty()) {
        return {};
    }
    std::vector<std::string> folders;
    for (const auto& path : listMotionDesignMatrices(sdmfile->second)) {
        const std::string folder = fs::path(path).parent_path().string();
        if (std::find(folders.begin(), folders.end(), folder) == folders.end()) {
            folders.push_back(folder);
        }
    }
    return folders;
}

nlohmann::ordered_json filesWrittenEvent(const std::string& task,
                                         const std::vector<WrittenFile>& files) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const auto& file : files) {
        list.push_back({{"path", file.path}, {"bytes", file.bytes}});
    }
    return {{"host", "files written"}, {"task", task}, {"files", std::move(list)}};
}

} // namespace halvorn_host
