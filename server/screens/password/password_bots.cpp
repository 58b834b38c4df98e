// The password bots' plan for the current question: which password, how long to think, how fast.
#include "server/screens/minigame/bot_typing.h"
#include "server/screens/password/password_state.h"
#include "shared/log/console.h"

#include <algorithm>

namespace cog::password {

namespace {
constexpr float MIN_WAIT = 2.0f, WAIT_RANGE = 4.0f;     // s
constexpr float MIN_TARGET = 2.0f, TARGET_RANGE = 2.0f; // s

// The answer first, then the decoys; every candidate equally likely.
std::string_view pick_candidate(const Question& question, Random& random) {
    int count = 1 + static_cast<int>(question.decoys.size());
    int index = std::min(random.pick(count), count - 1);
    return index == 0 ? question.answer : question.decoys[static_cast<size_t>(index - 1)];
}
} // namespace

void init_bot_typing_for_question(PasswordState& state) {
    Random& random = minigame_random(state);
    for (auto& [id, player] : state.players) {
        const PlayerConnection* connection = find_player(*state.global, id);
        if (!connection || !connection->is_bot) continue;
        BotPlan& plan = player.bot;
        plan.answer = std::string(pick_candidate(state.current_question, random));
        plan.wait_time = MIN_WAIT + WAIT_RANGE * random.uniform();
        float target_time = MIN_TARGET + TARGET_RANGE * random.uniform();
        plan_letter_times(plan, target_time, plan.answer.size(), random);
        console_printf("[PASSWORD] Bot player %u will type: '%s' (len=%d, wait_time=%.2f, target_time=%.2f)\n", id,
                       plan.answer.c_str(), static_cast<int>(plan.answer.size()), static_cast<double>(plan.wait_time),
                       static_cast<double>(target_time));
    }
}

} // namespace cog::password
