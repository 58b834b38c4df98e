// The files the web endpoint may serve: every regular file found under the web client's folder
// when the endpoint opens, by its exact URL path. A request is looked up in this table and never
// turned into a file-system path, so "..", encoded dots, absolute paths and symlinks leading out
// of the folder cannot reach any other file.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace cog::web {

struct ServedFile {
    std::string path; // resolved file-system path, inside the folder
    const char* mime = "application/octet-stream";
};

class WebFiles {
public:
    // Scans `root`; false when it is not a readable folder.
    bool load(const std::string& root);
    // The file for a request path ("/" is "/index.html"), or nullptr.
    const ServedFile* find(std::string_view url_path) const;
    size_t size() const { return files_.size(); }

private:
    std::map<std::string, ServedFile, std::less<>> files_; // "/sprites/2.png" -> file
};

const char* mime_type_for(std::string_view file_name);

} // namespace cog::web
