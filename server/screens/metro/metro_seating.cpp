// Seating the car's passengers.
#include "server/screens/metro/metro_seating.h"

#include <array>

namespace cog::metro {

namespace {
// Robots read the timeline up to this far (s) ahead or behind, so they do not move as one.
constexpr float OFFSET_SPREAD = 0.3f;

Passenger make_robot(int64_t slot, Random& random) {
    Passenger robot;
    robot.slot_index = slot;
    robot.is_bot = true;
    robot.time_offset = (random.uniform() - 0.5f) * OFFSET_SPREAD;
    return robot;
}

Passenger make_human(int64_t slot) {
    Passenger human;
    human.slot_index = slot;
    return human;
}

void seat_players(MetroState& state, Random& random) {
    int64_t seated = 0;
    for (const auto& [id, player] : state.global->players) {
        if (!player.connected || is_cop(*state.global, id)) continue;
        int64_t slot = seated % CAR_SLOTS;
        state.passengers[id] = player.is_bot ? make_robot(slot, random) : make_human(slot);
        ++seated;
    }
}

// A filler id must not be a player's: a long-running host hands out ids past 1000 too.
bool filler_id_free(const MetroState& state, uint32_t id) {
    return !state.passengers.contains(id) && !find_player(*state.global, id);
}

void add_fillers(MetroState& state, Random& random) {
    for (uint32_t id = FIRST_FILLER_ID; state.passengers.size() < CAR_SLOTS; ++id) {
        if (!filler_id_free(state, id)) continue;
        int64_t slot = static_cast<int64_t>(state.passengers.size());
        state.passengers[id] = make_robot(slot, random);
    }
}
} // namespace

void seat_passengers(MetroState& state) {
    Random& random = minigame_random(state);
    seat_players(state, random);
    add_fillers(state, random);
}

void seat_late_player(MetroState& state, uint32_t id) {
    // An enter for someone already riding (a reconnect, a debug command) keeps its place and lean.
    if (state.passengers.contains(id)) return;
    std::array<bool, CAR_SLOTS> taken{};
    for (const auto& entry : state.passengers) {
        int64_t slot = entry.second.slot_index;
        if (slot >= 0 && slot < CAR_SLOTS) taken[static_cast<size_t>(slot)] = true;
    }
    for (size_t slot = 0; slot < taken.size(); ++slot) {
        if (taken[slot]) continue;
        // A bot boarding late is still a robot: it must lean like one and be revealed as one.
        const PlayerConnection* player = find_player(*state.global, id);
        int64_t index = static_cast<int64_t>(slot);
        state.passengers[id] = player && player->is_bot ? make_robot(index, minigame_random(state)) : make_human(index);
        return;
    }
}

} // namespace cog::metro
