// Console logger: level tag, local date and time, call site (file:line:procedure()) and the message.
#pragma once

#include <source_location>
#include <string_view>

namespace cog {

enum class LogLevel { Debug, Info, Warning, Error, Fatal };

// Writes one log line. The site comes from the caller through the LOG_* macros so that every line
// names the procedure that logged it without the caller spelling it out.
void log_write(LogLevel level, const std::source_location& site, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Lines below this level are dropped; Debug (everything) by default. Above Debug the console's
// diagnostic prints are dropped too.
void log_set_min_level(LogLevel level);

// The bare procedure name of a compiler-produced signature ("void cog::push_screen(int)" -> "push_screen").
std::string_view log_procedure_name(std::string_view signature);

// Builds the prefix "TAG [date] [file:line:proc()] " in `out` (at least 256 bytes); returns its length.
// Exposed for tests of the exact format.
int log_format_prefix(char* out, int capacity, LogLevel level, const std::source_location& site,
                      long long unix_seconds);

} // namespace cog

#define LOG_DEBUG(...) ::cog::log_write(::cog::LogLevel::Debug, std::source_location::current(), __VA_ARGS__)
#define LOG_INFO(...) ::cog::log_write(::cog::LogLevel::Info, std::source_location::current(), __VA_ARGS__)
#define LOG_WARN(...) ::cog::log_write(::cog::LogLevel::Warning, std::source_location::current(), __VA_ARGS__)
#define LOG_ERROR(...) ::cog::log_write(::cog::LogLevel::Error, std::source_location::current(), __VA_ARGS__)
#define LOG_FATAL(...) ::cog::log_write(::cog::LogLevel::Fatal, std::source_location::current(), __VA_ARGS__)
