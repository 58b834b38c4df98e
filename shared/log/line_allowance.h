// One client's share of the console over time: a burst, then a steady rate of lines; what is left
// out is counted and reported at most once a second.
#pragma once

#include <cstdint>

namespace cog {

// An honest player in a minigame causes a line for each of its 60 inputs a second and a few more
// a keystroke, and a frame with every letter pressed is 27 lines, so these leave such lines as
// they are; a client pressing every key every frame (or sixteen of them from one address) writes
// no more than this each, a thirtieth of what it could before.
inline constexpr int CONSOLE_LINES_BURST = 128;
inline constexpr int CONSOLE_LINES_PER_SECOND = 120;

struct LineAllowance {
    int64_t milli_lines = int64_t{CONSOLE_LINES_BURST} * 1000; // thousandths of a line
    int64_t refilled_ns = -1;  // monotonic time of the last refill; -1: never
    int left_out = 0;          // lines not written since the last report
    int64_t reported_ns = -1;  // monotonic time of the last report; -1: none yet
};

// Whole lines the client may have written now.
int lines_allowed(LineAllowance& allowance, int64_t now_ns);

// `written` lines went out, `left_out` more were counted instead.
void spend_lines(LineAllowance& allowance, int written, int left_out);

// The count of left-out lines to report now, and reset; 0 when there is none or the last report
// is less than a second old.
int take_left_out_report(LineAllowance& allowance, int64_t now_ns);

} // namespace cog
