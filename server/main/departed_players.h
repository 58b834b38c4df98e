// Records of humans who left are kept so that they can come back to their seat, in this game or a
// later one; these rules forget them after a long absence or past a count, so memory and frame
// work never grow with past logins.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

namespace cog {

struct HostState;

// A departed human is forgotten this long after leaving, whatever screen is on top.
inline constexpr int64_t DEPARTED_RECORD_TTL_NS = 600'000'000'000; // 10 minutes
// Beyond this many departed humans, one is forgotten at once: the one who left first among those
// of the address that left the most behind, so that one address joining and leaving in a loop
// pushes out its own records, never those of players from elsewhere who may come back.
inline constexpr size_t MAX_DEPARTED_RECORDS = 1024;

struct DepartedPlayers {
    struct Departure {
        int64_t left_at_ns = 0; // monotonic time of leaving
        std::string address;    // where the player's connection came from
    };
    std::map<uint32_t, Departure> by_id;
    int64_t next_sweep_ns = 0;
};

// Bookkeeping from the session code: a human left, or came back to its seat.
void note_departure(HostState& host, uint32_t id, int64_t now_ns, std::string address);
void note_return(HostState& host, uint32_t id);

// Forgets the departed humans whose time is up; cheap when nothing is due (once a second at most).
void forget_expired_departures(HostState& host, int64_t now_ns);

} // namespace cog
