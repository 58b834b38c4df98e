// How fast one network address may take new seats: a burst, then a steady rate. Joining and
// leaving in a loop would otherwise show a seating to every player many times a second and push
// the records of players who dropped out of the host's memory.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace cog {

// A household or a classroom sitting down at once fits in the burst; past it, a seat every half
// second.
inline constexpr int NEW_SEATS_BURST = 16;
inline constexpr int NEW_SEATS_PER_SECOND = 2;
// Addresses whose allowance is being refilled; past this many the full ones are forgotten first.
inline constexpr size_t MAX_NEW_SEAT_ADDRESSES = 4096;

struct NewSeatRate {
    struct Allowance {
        int64_t milli_seats = 0; // thousandths of a seat that may be taken now
        int64_t refilled_ns = 0; // monotonic time of the last refill
    };
    bool enabled = true;
    std::map<std::string, Allowance> by_address;
};

// Takes one new seat for `address` when its allowance has one; false: refused. The machine's own
// address and the empty one (a replay's feed) always pass.
bool take_new_seat(NewSeatRate& rate, const std::string& address, int64_t now_ns);

} // namespace cog
