// The typing hands: a key press lowers one hand, and lowered hands rise back over time.
#pragma once

#include "server/screens/minigame/minigame_player.h"

#include <cstdint>
#include <map>

namespace cog {

inline constexpr float HAND_PRESS_OFFSET = 20.0f; // px a pressed hand drops
inline constexpr float HAND_RISE_SPEED = 100.0f;  // px per second

// Lowers the hand whose turn it is and passes the turn to the other hand.
void move_hand(MinigamePlayer& player);

// Raises every lowered hand by HAND_RISE_SPEED * dt, stopping at rest.
void settle_hands(std::map<uint32_t, MinigamePlayer>& players, float dt);

} // namespace cog
