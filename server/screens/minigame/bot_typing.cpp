// Bot letter schedules and their execution.
#include "server/screens/minigame/bot_typing.h"

#include "server/screens/minigame/hands.h"

#include <algorithm>

namespace cog {

bool is_typing_bot(const GlobalState& global, uint32_t id) {
    const PlayerConnection* player = find_player(global, id);
    return player && player->is_bot && !is_cop(global, id);
}

void plan_letter_times(BotPlan& plan, float total_time, size_t letters, Random& random) {
    size_t n = std::min(letters, static_cast<size_t>(MAX_TYPED));
    plan.total_time = total_time;
    if (n == 0) return;
    float mean = total_time / static_cast<float>(n);
    float sum = 0;
    for (size_t k = 0; k < n; ++k) {
        float gap = mean + (2 * random.uniform() - 1) * LETTER_JITTER * mean;
        sum += std::max(gap, MIN_LETTER_GAP);
        plan.letter_times[k] = sum;
    }
}

bool type_due_letter(MinigamePlayer& player, std::string_view target, float elapsed) {
    int n = static_cast<int>(std::min(target.size(), static_cast<size_t>(MAX_TYPED)));
    if (player.typed_len < 0 || player.typed_len >= n) return false;
    size_t next = static_cast<size_t>(player.typed_len);
    if (player.bot.letter_times[next] > elapsed) return false;
    player.typed_text[next] = target[next];
    ++player.typed_len;
    move_hand(player);
    return true;
}

} // namespace cog
