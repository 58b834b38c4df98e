// Console output: the log and the plain diagnostic lines share one sink, standard output by default.
#pragma once

#include <string_view>

namespace cog {

// Receives every finished line (with its trailing newline). Tests install one to read the console;
// the program installs a ConsoleWriter so that a slow reader of its output never stalls a frame.
using ConsoleSink = void (*)(void* context, std::string_view line);

// Replaces the sink; nullptr restores standard output. Returns nothing: the sink is process-wide,
// like the terminal it stands for.
void console_set_sink(ConsoleSink sink, void* context);

// Writes one line to the sink (standard output, flushed at once, when none is installed).
void console_write(std::string_view line);

// printf-style diagnostic line, written as it stands (the caller supplies any newline). These are
// the game's per-frame traces (keys received, typing steps, shots rendered): written only while
// diagnostics are shown.
void console_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Shown by default; the log threshold hides them along with the debug lines (log_set_min_level).
void console_show_diagnostics(bool shown);

// While a budget is open, lines beyond `max_lines` are counted instead of written, and so are
// diagnostic lines (console_printf) beyond `max_diagnostic_lines`. The host opens one around each
// client's share of the frame, the diagnostics sized by the client's share over time, so one
// client's flood of key presses or commands cannot crowd everybody else's lines out of the output,
// while the log's lines of what changed stay. Budgets do not nest.
void console_begin_line_budget(int max_lines, int max_diagnostic_lines);
struct LineBudgetUse {
    int written = 0;
    int withheld = 0;
    int diagnostics_written = 0;
};
// Closes the budget; returns how many lines it let through and how many it withheld.
LineBudgetUse console_end_line_budget();

} // namespace cog
