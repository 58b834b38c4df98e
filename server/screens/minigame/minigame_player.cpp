// Player colours and the record a player gets on entering a typing minigame.
#include "server/screens/minigame/minigame_player.h"

namespace cog {

namespace {
constexpr float PI = 3.1415927f;
}

Color player_color(uint32_t number) { return PLAYER_COLORS[(number - 1u) % PLAYER_COLORS.size()]; }

MinigamePlayer make_minigame_player(uint32_t number, Random& random) {
    MinigamePlayer player;
    player.color = player_color(number);
    player.bob_phase = random.uniform() * 2.0f * PI;
    player.bob_speed = random.uniform() + 1.0f;
    return player;
}

void clear_typed_letters(std::map<uint32_t, MinigamePlayer>& players) {
    for (auto& entry : players) entry.second.typed_len = 0;
}

} // namespace cog
