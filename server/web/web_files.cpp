// Scanning the web client's folder into the table of servable files.
#include "server/web/web_files.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace cog::web {

namespace fs = std::filesystem;

namespace {

struct MimeEntry {
    std::string_view extension;
    const char* mime;
};

constexpr MimeEntry MIME_TYPES[] = {
    {".html", "text/html; charset=utf-8"}, {".js", "text/javascript; charset=utf-8"},
    {".css", "text/css; charset=utf-8"},   {".json", "application/json"},
    {".png", "image/png"},                 {".wav", "audio/wav"},
    {".ttf", "font/ttf"},                  {".ico", "image/x-icon"},
};

// A name starting with a dot, at any level (".git/", ".env", ".htpasswd"), is never one of the
// client's files: such names hold tools' and editors' data.
bool hidden(const fs::path& relative) {
    return std::any_of(relative.begin(), relative.end(), [](const fs::path& part) {
        const std::string name = part.string();
        return !name.empty() && name[0] == '.';
    });
}

// True when `path` lies inside `root` (both resolved, without symlinks).
bool inside(const fs::path& root, const fs::path& path) {
    const auto [root_end, unused] = std::mismatch(root.begin(), root.end(), path.begin(), path.end());
    (void)unused;
    return root_end == root.end();
}

} // namespace

const char* mime_type_for(std::string_view file_name) {
    for (const MimeEntry& entry : MIME_TYPES) {
        if (file_name.size() >= entry.extension.size() &&
            file_name.substr(file_name.size() - entry.extension.size()) == entry.extension)
            return entry.mime;
    }
    return "application/octet-stream";
}

bool WebFiles::load(const std::string& root_text) {
    files_.clear();
    std::error_code error;
    const fs::path root = fs::canonical(root_text, error);
    if (error || !fs::is_directory(root, error)) return false;
    for (auto it = fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        const fs::path resolved = fs::canonical(it->path(), error);
        if (error) {
            error.clear();
            continue;
        }
        // A symlink may point anywhere; only what resolves inside the folder is served.
        const fs::path relative = it->path().lexically_relative(root);
        if (!fs::is_regular_file(resolved, error) || !inside(root, resolved) || hidden(relative)) continue;
        std::string url(1, '/');
        url += relative.generic_string();
        files_[url] = ServedFile{resolved.string(), mime_type_for(url)};
    }
    return !error;
}

const ServedFile* WebFiles::find(std::string_view url_path) const {
    if (url_path == "/") url_path = "/index.html";
    const auto it = files_.find(url_path);
    return it == files_.end() ? nullptr : &it->second;
}

} // namespace cog::web
