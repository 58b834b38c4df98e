// Forgetting departed humans: after a long absence, or past a count.
#include "server/main/departed_players.h"

#include "server/main/host_state.h"

#include <algorithm>

namespace cog {

namespace {

constexpr int64_t SWEEP_INTERVAL_NS = 1'000'000'000;

// Only a record that is still a departed human goes: the id may have been taken by a bot
// (bots number themselves after the highest id) or by the player coming back.
void forget(HostState& host, uint32_t id) {
    host.departed.left_at_ns.erase(id);
    const PlayerConnection* record = find_player(host.global, id);
    if (!record || record->connected || record->is_bot) return;
    host.global.players.erase(id);
    host.global.roles.erase(id);
    forget_seat(host.seat_claims, id);
}

void forget_first_departed(HostState& host) {
    const auto& left = host.departed.left_at_ns;
    const auto first = std::min_element(left.begin(), left.end(),
                                        [](const auto& a, const auto& b) { return a.second < b.second; });
    forget(host, first->first);
}

} // namespace

void note_departure(HostState& host, uint32_t id, int64_t now_ns) {
    host.departed.left_at_ns[id] = now_ns;
    if (host.departed.left_at_ns.size() > MAX_DEPARTED_RECORDS) forget_first_departed(host);
}

void note_return(HostState& host, uint32_t id) { host.departed.left_at_ns.erase(id); }

void forget_expired_departures(HostState& host, int64_t now_ns) {
    if (now_ns < host.departed.next_sweep_ns) return;
    host.departed.next_sweep_ns = now_ns + SWEEP_INTERVAL_NS;
    for (auto it = host.departed.left_at_ns.begin(); it != host.departed.left_at_ns.end();) {
        const uint32_t id = it->first;
        const bool expired = now_ns - it->second >= DEPARTED_RECORD_TTL_NS;
        ++it; // forget() erases the entry
        if (expired) forget(host, id);
    }
}

} // namespace cog
