// Forgetting departed humans: after a long absence, or past a count.
#include "server/main/departed_players.h"

#include "server/main/host_state.h"

#include <algorithm>
#include <string_view>

namespace cog {

namespace {

constexpr int64_t SWEEP_INTERVAL_NS = 1'000'000'000;

// Only a record that is still a departed human goes: the id may have been taken by a bot
// (bots number themselves after the highest id) or by the player coming back.
void forget(HostState& host, uint32_t id) {
    host.departed.by_id.erase(id);
    const PlayerConnection* record = find_player(host.global, id);
    if (!record || record->connected || record->is_bot) return;
    host.global.players.erase(id);
    host.global.roles.erase(id);
    forget_seat(host.seat_claims, id);
}

// The address that left the most records behind.
std::string busiest_address(const DepartedPlayers& departed) {
    std::map<std::string_view, size_t> counts;
    for (const auto& [id, departure] : departed.by_id) ++counts[departure.address];
    const auto busiest = std::max_element(counts.begin(), counts.end(),
                                          [](const auto& a, const auto& b) { return a.second < b.second; });
    return std::string(busiest->first);
}

void forget_one_of_the_busiest_address(HostState& host) {
    const std::string address = busiest_address(host.departed);
    uint32_t first = 0;
    int64_t first_left_ns = 0;
    for (const auto& [id, departure] : host.departed.by_id) {
        if (departure.address != address || (first != 0 && departure.left_at_ns >= first_left_ns)) continue;
        first = id;
        first_left_ns = departure.left_at_ns;
    }
    forget(host, first);
}

} // namespace

void note_departure(HostState& host, uint32_t id, int64_t now_ns, std::string address) {
    host.departed.by_id[id] = DepartedPlayers::Departure{now_ns, std::move(address)};
    if (host.departed.by_id.size() > MAX_DEPARTED_RECORDS) forget_one_of_the_busiest_address(host);
}

void note_return(HostState& host, uint32_t id) { host.departed.by_id.erase(id); }

void forget_expired_departures(HostState& host, int64_t now_ns) {
    if (now_ns < host.departed.next_sweep_ns) return;
    host.departed.next_sweep_ns = now_ns + SWEEP_INTERVAL_NS;
    for (auto it = host.departed.by_id.begin(); it != host.departed.by_id.end();) {
        const uint32_t id = it->first;
        const bool expired = now_ns - it->second.left_at_ns >= DEPARTED_RECORD_TTL_NS;
        ++it; // forget() erases the entry
        if (expired) forget(host, id);
    }
}

} // namespace cog
