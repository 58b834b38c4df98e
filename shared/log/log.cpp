// Console logger implementation.
#include "shared/log/log.h"

#include "shared/log/console.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <string>

namespace cog {

namespace {

LogLevel g_min_level = LogLevel::Debug;

struct LevelStyle {
    const char* tag;
    const char* colour; // empty: uncoloured
};

LevelStyle style_of(LogLevel level) {
    switch (level) {
    case LogLevel::Debug: return {"[DEBUG] ---", "\x1b[90m"};
    case LogLevel::Info: return {"[INFO ] ---", ""};
    case LogLevel::Warning: return {"[WARN ] ---", "\x1b[33m"};
    case LogLevel::Error: return {"[ERROR] ---", "\x1b[31m"};
    case LogLevel::Fatal: return {"[FATAL] ---", "\x1b[31m"};
    }
    return {"[INFO ] ---", ""};
}

std::string_view file_base_name(const char* path) {
    std::string_view p(path);
    size_t slash = p.find_last_of('/');
    return slash == std::string_view::npos ? p : p.substr(slash + 1);
}

} // namespace

void log_set_min_level(LogLevel level) {
    g_min_level = level;
    console_show_diagnostics(level <= LogLevel::Debug);
}

std::string_view log_procedure_name(std::string_view signature) {
    // Cut the parameter list at the first '(' that is not part of "operator()".
    size_t paren = signature.find('(');
    if (paren == std::string_view::npos) paren = signature.size();
    std::string_view head = signature.substr(0, paren);
    size_t space = head.find_last_of(' ');
    if (space != std::string_view::npos) head = head.substr(space + 1);
    size_t colon = head.rfind("::");
    if (colon != std::string_view::npos) head = head.substr(colon + 2);
    // Templates: drop the argument list.
    size_t angle = head.find('<');
    if (angle != std::string_view::npos && angle > 0) head = head.substr(0, angle);
    return head;
}

int log_format_prefix(char* out, int capacity, LogLevel level, const std::source_location& site,
                      long long unix_seconds) {
    LevelStyle style = style_of(level);
    std::time_t t = static_cast<std::time_t>(unix_seconds);
    std::tm local{};
    localtime_r(&t, &local);
    std::string_view file = file_base_name(site.file_name());
    std::string_view proc = log_procedure_name(site.function_name());
    const char* reset = *style.colour ? "\x1b[0m" : "";
    int n = std::snprintf(out, static_cast<size_t>(capacity), "%s%s%s [%d-%02d-%02d %02d:%02d:%02d] [%.*s:%u:%.*s()] ",
                          style.colour, style.tag, reset, local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                          local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(file.size()), file.data(),
                          static_cast<unsigned>(site.line()), static_cast<int>(proc.size()), proc.data());
    if (n < 0) return 0;
    return n < capacity ? n : capacity - 1;
}

void log_write(LogLevel level, const std::source_location& site, const char* format, ...) {
    if (level < g_min_level) return;
    std::string line(384, '\0');
    int prefix = log_format_prefix(line.data(), static_cast<int>(line.size()), level, site,
                                   static_cast<long long>(std::time(nullptr)));
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int room = static_cast<int>(line.size()) - prefix;
    int n = std::vsnprintf(line.data() + prefix, static_cast<size_t>(room), format, args);
    va_end(args);
    if (n < 0) n = 0;
    if (n >= room) {
        line.resize(static_cast<size_t>(prefix + n + 1));
        std::vsnprintf(line.data() + prefix, static_cast<size_t>(n + 1), format, copy);
    }
    va_end(copy);
    line.resize(static_cast<size_t>(prefix + n));
    line.push_back('\n');
    console_write(line);
}

} // namespace cog
