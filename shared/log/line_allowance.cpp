// The console share's refill and its once-a-second report.
#include "shared/log/line_allowance.h"

#include <algorithm>

namespace cog {

namespace {
constexpr int64_t SECOND_NS = 1'000'000'000;
constexpr int64_t FULL_MILLI_LINES = int64_t{CONSOLE_LINES_BURST} * 1000;
} // namespace

int lines_allowed(LineAllowance& allowance, int64_t now_ns) {
    if (allowance.refilled_ns >= 0 && now_ns > allowance.refilled_ns) {
        // Milli-lines per nanosecond is lines per second / 1e6; capped first, so no overflow.
        const int64_t elapsed_ns = std::min(now_ns - allowance.refilled_ns, SECOND_NS * CONSOLE_LINES_BURST);
        allowance.milli_lines = std::min(FULL_MILLI_LINES,
                                         allowance.milli_lines + elapsed_ns * CONSOLE_LINES_PER_SECOND / 1'000'000);
    }
    if (allowance.refilled_ns < 0 || now_ns > allowance.refilled_ns) allowance.refilled_ns = now_ns;
    return static_cast<int>(allowance.milli_lines / 1000);
}

void spend_lines(LineAllowance& allowance, int written, int left_out) {
    allowance.milli_lines = std::max<int64_t>(0, allowance.milli_lines - int64_t{written} * 1000);
    allowance.left_out += left_out;
}

int take_left_out_report(LineAllowance& allowance, int64_t now_ns) {
    if (allowance.left_out == 0) return 0;
    if (allowance.reported_ns >= 0 && now_ns - allowance.reported_ns < SECOND_NS) return 0;
    allowance.reported_ns = now_ns;
    const int count = allowance.left_out;
    allowance.left_out = 0;
    return count;
}

} // namespace cog
