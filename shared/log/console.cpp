// Console output sink shared by the logger and the diagnostic prints.
#include "shared/log/console.h"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace cog {

namespace {
ConsoleSink g_sink = nullptr;
void* g_sink_context = nullptr;
// Lines left in the open budget; negative: no budget is open.
int g_budget_left = -1;
int g_budget_withheld = 0;
int g_budget_written = 0;
// Diagnostic lines left in the open budget (a share of the lines above); negative: no limit.
int g_diagnostics_left = -1;
int g_diagnostics_written = 0;
bool g_diagnostics_shown = true;
} // namespace

void console_show_diagnostics(bool shown) { g_diagnostics_shown = shown; }

void console_begin_line_budget(int max_lines, int max_diagnostic_lines) {
    g_budget_left = max_lines < 0 ? 0 : max_lines;
    g_diagnostics_left = max_diagnostic_lines < 0 ? 0 : max_diagnostic_lines;
    g_budget_withheld = 0;
    g_budget_written = 0;
    g_diagnostics_written = 0;
}

LineBudgetUse console_end_line_budget() {
    g_budget_left = -1;
    g_diagnostics_left = -1;
    return {g_budget_written, g_budget_withheld, g_diagnostics_written};
}

void console_set_sink(ConsoleSink sink, void* context) {
    g_sink = sink;
    g_sink_context = context;
}

void console_write(std::string_view line) {
    if (g_budget_left == 0) {
        ++g_budget_withheld;
        return;
    }
    if (g_budget_left > 0) {
        --g_budget_left;
        ++g_budget_written;
    }
    if (g_sink) {
        g_sink(g_sink_context, line);
        return;
    }
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

void console_printf(const char* format, ...) {
    if (!g_diagnostics_shown) return;
    if (g_diagnostics_left == 0) {
        ++g_budget_withheld;
        return;
    }
    if (g_diagnostics_left > 0) {
        --g_diagnostics_left;
        ++g_diagnostics_written;
    }
    char small[512];
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (n < 0) {
        va_end(copy);
        return;
    }
    if (static_cast<size_t>(n) < sizeof small) {
        va_end(copy);
        console_write(std::string_view(small, static_cast<size_t>(n)));
        return;
    }
    std::string big(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(big.data(), big.size(), format, copy);
    va_end(copy);
    big.resize(static_cast<size_t>(n));
    console_write(big);
}

} // namespace cog
