// The passengers' lean towards the push of the moment.
#include "server/screens/metro/metro_lean.h"

#include "server/screens/metro/metro_timeline.h"

#include <cmath>

namespace cog::metro {

namespace {
constexpr float PUSH_ANGLE = 45;   // degrees every robot leans with a push
constexpr float THROWN_ANGLE = 60; // degrees an uncountered human is thrown to
constexpr float PUSH_RATE = 1;     // per second
constexpr float UPRIGHT_RATE = 5;  // per second: standing up again is quicker

LeanTarget lean_for(MetroEventKind kind) {
    switch (kind) {
    case MetroEventKind::PRESS_RIGHT: return {-PUSH_ANGLE, PUSH_RATE};
    case MetroEventKind::PRESS_LEFT: return {PUSH_ANGLE, PUSH_RATE};
    case MetroEventKind::DO_NOTHING: break;
    }
    return {0, UPRIGHT_RATE};
}

// The event the player's arrows answer: left wins over right, nothing held answers DO_NOTHING.
MetroEventKind answered_event(const MetroState& state, uint32_t id) {
    auto it = state.held_keys.find(id);
    if (it == state.held_keys.end()) return MetroEventKind::DO_NOTHING;
    if (it->second.left) return MetroEventKind::PRESS_LEFT;
    if (it->second.right) return MetroEventKind::PRESS_RIGHT;
    return MetroEventKind::DO_NOTHING;
}

bool in_practice(const MetroState& state) { return state.phase == INTRO && state.intro_timer > 0; }
} // namespace

LeanTarget robot_lean_target(const MetroState& state, const Passenger& robot) {
    float s = state.ride_time + robot.time_offset;
    if (s < 0 || s >= state.timeline_length) return lean_for(MetroEventKind::DO_NOTHING);
    return lean_for(kind_or_nothing(event_at(state, s)));
}

LeanTarget human_lean_target(const MetroState& state, uint32_t id) {
    MetroEventKind event = kind_or_nothing(event_at(state, state.ride_time));
    LeanTarget target = lean_for(event);
    if (event == MetroEventKind::DO_NOTHING || in_practice(state)) return target;
    bool countered = answered_event(state, id) == event;
    bool grace_over = state.ride_time - state.event_started_at >= GRACE_TIME;
    if (!countered && grace_over) target.angle = event == MetroEventKind::PRESS_RIGHT ? -THROWN_ANGLE : THROWN_ANGLE;
    return target;
}

void note_event_change(MetroState& state) {
    std::optional<int64_t> now = event_index_at(used_timeline(state), state.ride_time);
    if (now != state.seen_event) state.event_started_at = state.ride_time;
    state.seen_event = now;
}

void lean_passengers(MetroState& state, float dt) {
    for (auto& [id, passenger] : state.passengers) {
        LeanTarget target = passenger.is_bot ? robot_lean_target(state, passenger) : human_lean_target(state, id);
        passenger.tilt += (target.angle - passenger.tilt) * (1 - std::exp(-target.rate * dt));
    }
}

} // namespace cog::metro
