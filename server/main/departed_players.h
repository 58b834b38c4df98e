// Records of humans who left are kept so that they can come back to their seat, in this game or a
// later one; these rules forget them after a long absence or past a count, so memory and frame
// work never grow with past logins.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>

namespace cog {

struct HostState;

// A departed human is forgotten this long after leaving, whatever screen is on top.
inline constexpr int64_t DEPARTED_RECORD_TTL_NS = 600'000'000'000; // 10 minutes
// Beyond this many departed humans, the one who left first is forgotten at once.
inline constexpr size_t MAX_DEPARTED_RECORDS = 1024;

struct DepartedPlayers {
    std::map<uint32_t, int64_t> left_at_ns; // id -> monotonic time of leaving
    int64_t next_sweep_ns = 0;
};

// Bookkeeping from the session code: a human left, or came back to its seat.
void note_departure(HostState& host, uint32_t id, int64_t now_ns);
void note_return(HostState& host, uint32_t id);

// Forgets the departed humans whose time is up; cheap when nothing is due (once a second at most).
void forget_expired_departures(HostState& host, int64_t now_ns);

} // namespace cog
