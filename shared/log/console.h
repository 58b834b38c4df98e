// Console output: the log and the plain diagnostic lines share one sink, standard output by default.
#pragma once

#include <string_view>

namespace cog {

// Receives every finished line (with its trailing newline). Tests install one to read the console.
using ConsoleSink = void (*)(void* context, std::string_view line);

// Replaces the sink; nullptr restores standard output. Returns nothing: the sink is process-wide,
// like the terminal it stands for.
void console_set_sink(ConsoleSink sink, void* context);

// Writes one line and flushes it at once, so lines from one frame reach the terminal in order.
void console_write(std::string_view line);

// printf-style diagnostic line, written as it stands (the caller supplies any newline).
void console_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace cog
