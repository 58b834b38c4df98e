// The typing pool bots' plan for the current word.
#include "server/screens/minigame/bot_typing.h"
#include "server/screens/typewriter/typewriter_state.h"

namespace cog::typewriter {

namespace {
constexpr float MIN_WORD_TIME = 0.8f;   // s
constexpr float WORD_TIME_RANGE = 1.7f; // s above the minimum
} // namespace

void init_bot_typing_for_word(TypewriterState& state) {
    if (state.current_word.empty()) return;
    Random& random = minigame_random(state);
    for (auto& [id, player] : state.players) {
        const PlayerConnection* connection = find_player(*state.global, id);
        if (!connection || !connection->is_bot) continue;
        float word_time = MIN_WORD_TIME + WORD_TIME_RANGE * random.uniform();
        plan_letter_times(player.bot, word_time, state.current_word.size(), random);
    }
}

} // namespace cog::typewriter
