// Hand movement of the typing figures.
#include "server/screens/minigame/hands.h"

#include <algorithm>

namespace cog {

void move_hand(MinigamePlayer& player) {
    if (player.next_hand_left) {
        player.left_hand_offset = HAND_PRESS_OFFSET;
    } else {
        player.right_hand_offset = HAND_PRESS_OFFSET;
    }
    player.next_hand_left = !player.next_hand_left;
}

namespace {
void raise(float& offset, float dt) {
    if (offset > 0) offset = std::max(0.0f, offset - HAND_RISE_SPEED * dt);
}
} // namespace

void settle_hands(std::map<uint32_t, MinigamePlayer>& players, float dt) {
    for (auto& entry : players) {
        raise(entry.second.left_hand_offset, dt);
        raise(entry.second.right_hand_offset, dt);
    }
}

} // namespace cog
