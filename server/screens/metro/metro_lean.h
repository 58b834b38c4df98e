// How far each passenger leans: robots follow the timeline, humans follow it only while they
// hold the arrow that counters the push.
#pragma once

#include "server/screens/metro/metro_state.h"

namespace cog::metro {

// The angle a passenger heads for and how fast it gets there.
struct LeanTarget {
    float angle = 0; // degrees
    float rate = 0;  // per second, in the exponential approach
};

// Seconds of a push a human may leave uncountered before being thrown.
inline constexpr float GRACE_TIME = 0.5f;

LeanTarget robot_lean_target(const MetroState& state, const Passenger& robot);
LeanTarget human_lean_target(const MetroState& state, uint32_t id);

// Remembers the ride time at which the event under `ride_time` began.
void note_event_change(MetroState& state);

// Moves every passenger's tilt towards its target over dt seconds.
void lean_passengers(MetroState& state, float dt);

} // namespace cog::metro
