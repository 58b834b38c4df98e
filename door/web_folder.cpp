// Reading the browser client's folder.
#include "door/web_folder.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace cog::door {

namespace {

const char* mime_for(std::string_view name) {
    static constexpr std::pair<std::string_view, const char*> TYPES[] = {
        {".html", "text/html; charset=utf-8"}, {".js", "text/javascript; charset=utf-8"},
        {".mjs", "text/javascript; charset=utf-8"}, {".css", "text/css; charset=utf-8"},
        {".json", "application/json"}, {".png", "image/png"}, {".wav", "audio/wav"},
        {".ttf", "font/ttf"}, {".svg", "image/svg+xml"}, {".ico", "image/x-icon"}, {".bin", "application/octet-stream"}};
    for (auto [ending, mime] : TYPES)
        if (name.ends_with(ending)) return mime;
    return "application/octet-stream";
}

bool hidden(const std::filesystem::path& relative) {
    for (const auto& part : relative)
        if (!part.empty() && part.native().front() == '.') return true;
    return false;
}

} // namespace

bool WebFolder::load(const std::string& root) {
    namespace fs = std::filesystem;
    std::error_code error;
    if (!fs::is_directory(root, error)) return false;
    files_.clear();
    for (fs::recursive_directory_iterator it(root, error), end; !error && it != end; it.increment(error)) {
        const fs::path relative = fs::relative(it->path(), root, error);
        if (error || hidden(relative)) {
            if (it->is_directory(error)) it.disable_recursion_pending();
            continue;
        }
        if (!it->is_regular_file(error)) continue;
        std::ifstream in(it->path(), std::ios::binary);
        if (!in) continue;
        std::ostringstream bytes;
        bytes << in.rdbuf();
        files_["/" + relative.generic_string()] =
            WebFile{std::make_shared<const std::string>(bytes.str()), mime_for(relative.native())};
    }
    return !error && files_.count("/index.html") == 1;
}

const WebFile* WebFolder::find(std::string_view path) const {
    if (path == "/") path = "/index.html";
    auto it = files_.find(path);
    return it == files_.end() ? nullptr : &it->second;
}

} // namespace cog::door
