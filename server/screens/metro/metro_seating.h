// Who rides in the car: the seated players, robot fillers up to eight, and late arrivals.
#pragma once

#include "server/screens/metro/metro_state.h"

namespace cog::metro {

// Seats every connected non-Overseer player (dead ones too) in table order, slot n mod 8, then
// fills the car with robots 1000, 1001, ... until eight ride.
void seat_passengers(MetroState& state);

// A player arriving after the seating takes the lowest free slot (a bot as a robot); nothing
// when the car is full or the player already rides. A filler riding under the player's id moves
// to a free id first.
void seat_late_player(MetroState& state, uint32_t id);

} // namespace cog::metro
