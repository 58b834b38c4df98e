// Seating the car's passengers.
#include "server/screens/metro/metro_seating.h"

#include "server/screens/screen/seats.h"

#include <algorithm>
#include <array>

namespace cog::metro {

namespace {
// Robots read the timeline up to this far (s) ahead or behind, so they do not move as one.
constexpr float OFFSET_SPREAD = 0.3f;

Passenger make_robot(int64_t slot, uint32_t number, Random& random) {
    Passenger robot;
    robot.slot_index = slot;
    robot.number = number;
    robot.is_bot = true;
    robot.time_offset = (random.uniform() - 0.5f) * OFFSET_SPREAD;
    return robot;
}

Passenger make_human(int64_t slot, uint32_t number) {
    Passenger human;
    human.slot_index = slot;
    human.number = number;
    return human;
}

// In seat order from the left: where a passenger stands tells nothing but the seat drawn.
void seat_players(MetroState& state, Random& random) {
    int64_t seated = 0;
    for (uint32_t id : ids_in_seat_order(*state.global, state.global->players)) {
        const PlayerConnection& player = state.global->players.at(id);
        if (!player.connected || is_cop(*state.global, id)) continue;
        int64_t slot = seated % CAR_SLOTS;
        const uint32_t number = shown_number(*state.global, id);
        state.passengers[id] = player.is_bot ? make_robot(slot, number, random) : make_human(slot, number);
        ++seated;
    }
}

// Fillers are numbered after every seat and every passenger, like one more seat each.
uint32_t next_filler_number(const MetroState& state) {
    uint32_t largest = 0;
    for (const auto& entry : state.global->seats) largest = std::max(largest, entry.second);
    for (const auto& entry : state.passengers) largest = std::max(largest, entry.second.number);
    return largest + 1;
}

// A filler id must not be a player's: a long-running host hands out ids past 1000 too.
bool filler_id_free(const MetroState& state, uint32_t id) {
    return !state.passengers.contains(id) && !find_player(*state.global, id);
}

uint32_t free_filler_id(const MetroState& state) {
    uint32_t id = FIRST_FILLER_ID;
    while (!filler_id_free(state, id)) ++id;
    return id;
}

void add_fillers(MetroState& state, Random& random) {
    while (state.passengers.size() < CAR_SLOTS) {
        int64_t slot = static_cast<int64_t>(state.passengers.size());
        Passenger filler = make_robot(slot, next_filler_number(state), random);
        filler.is_filler = true;
        state.passengers[free_filler_id(state)] = filler;
    }
}

// Fillers take ids no player has at the seating, but the host goes on handing out ids: a player
// arriving later may bring a riding filler's id. The filler rides on, unchanged, under a free id,
// so that the player is never taken for it (its lean, its label, its verdict when shot).
void renumber_filler(MetroState& state, std::map<uint32_t, Passenger>::iterator filler) {
    const uint32_t old_id = filler->first;
    const Passenger moved = filler->second;
    state.passengers.erase(filler);
    const uint32_t new_id = free_filler_id(state);
    state.passengers[new_id] = moved;
    if (state.shot_player_id == old_id) state.shot_player_id = new_id; // the robot shot stays the one shot
}
} // namespace

void seat_passengers(MetroState& state) {
    Random& random = minigame_random(state);
    seat_players(state, random);
    add_fillers(state, random);
}

void seat_late_player(MetroState& state, uint32_t id) {
    seat_newcomer(*state.global, id, next_filler_number(state) - 1); // past the fillers' numbers too
    auto riding = state.passengers.find(id);
    if (riding != state.passengers.end()) {
        // An enter for someone already riding (a reconnect, a debug command) keeps its place and lean.
        if (!riding->second.is_filler) return;
        renumber_filler(state, riding);
    }
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
        const uint32_t number = shown_number(*state.global, id);
        state.passengers[id] = player && player->is_bot ? make_robot(index, number, minigame_random(state))
                                                        : make_human(index, number);
        return;
    }
}

} // namespace cog::metro
