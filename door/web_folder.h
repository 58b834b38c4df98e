// The browser client's files, read into memory when the door starts: a request is looked up by
// its exact path in this table and never becomes a file-system path.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace cog::door {

struct WebFile {
    std::shared_ptr<const std::string> bytes;
    const char* mime = "application/octet-stream";
};

class WebFolder {
public:
    // Reads every regular file under `root` whose name (and folders' names) does not start with a
    // dot; false when `root` is not a readable folder or holds no index.html.
    bool load(const std::string& root);
    // The file at URL path `path` ("/style.css"), or nullptr.
    const WebFile* find(std::string_view path) const;

private:
    std::map<std::string, WebFile, std::less<>> files_;
};

} // namespace cog::door
