// The ride's timeline: drawing the random pushes and finding the one under a moment of the ride.
#pragma once

#include "server/screens/metro/metro_state.h"

#include <optional>
#include <span>

namespace cog::metro {

// Fills timeline[0..n) with back-to-back events covering RIDE_LENGTH and returns n. Events last
// 3.5..5.0 s at the start and 2.0..3.0 s at the end; the last is cut to end at RIDE_LENGTH.
// Draws two uniforms per event.
int64_t draw_timeline(std::array<MetroEvent, MAX_EVENTS>& timeline, Random& random);

// The event whose stretch holds t (each stretch closed at its end), or nullopt past the end.
std::optional<int64_t> event_index_at(std::span<const MetroEvent> events, float t);

// The state's used timeline, and the event under ride time t (nullptr past the end).
std::span<const MetroEvent> used_timeline(const MetroState& state);
const MetroEvent* event_at(const MetroState& state, float t);

// The event's kind, DO_NOTHING for none.
MetroEventKind kind_or_nothing(const MetroEvent* event);

} // namespace cog::metro
