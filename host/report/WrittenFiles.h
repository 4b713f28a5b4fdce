// Which files a task wrote beside the motion design matrices. The plug-in writes them itself,
// past the host, so the host lists the folders before the task and again after it: a file that
// appeared or changed (time or size) counts as written. The transcript records them as the
// "files written" event, from which the report learns a run's outputs.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace halvorn_host {

struct HostSession;

struct FileStamp {
    std::filesystem::file_time_type time;
    std::uintmax_t bytes = 0;
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// The regular files directly in the folders, by path (folder, then name; a file of the working
// folder by its name alone). Folders that cannot be listed are left out.
using FolderListing = std::map<std::string, FileStamp>;
FolderListing listFolders(const std::vector<std::string>& folders);

struct WrittenFile {
    std::string path;
    std::uintmax_t bytes = 0;
};

// The files of `after` that `before` lacks or holds with another time or size, in path order.
std::vector<WrittenFile> filesWritten(const FolderListing& before, const FolderListing& after);

// The folders of the motion design matrices the "sdmfile" parameter names, each once; none
// while it names none.
std::vector<std::string> motionFolders(const HostSession& host);

// {"host":"files written","task":TASK,"files":[{"path":...,"bytes":...},...]}
nlohmann::ordered_json filesWrittenEvent(const std::string& task,
                                         const std::vector<WrittenFile>& files);

} // namespace halvorn_host
