// The password minigame: creation with its three questions, init, and the per-frame stage logic.
#include "server/profiler/profiler.h"
#include "server/screens/minigame/bot_typing.h"
#include "server/screens/minigame/typing_minigame.h"
#include "server/screens/password/password_state.h"
#include "server/screens/screen/screen_kinds.h"
#include "shared/log/console.h"

namespace cog {

namespace password {

namespace {
// A bot thinks for its wait_time (counted in TYPING only), then types one due letter per update.
void bot_type(uint32_t id, MinigamePlayer& player, float dt, float elapsed) {
    if (player.bot.wait_time > 0) {
        player.bot.wait_time -= dt;
        if (player.bot.wait_time > 0) return;
        console_printf("[PASSWORD] Bot player %u finished thinking, now typing: '%s'\n", id,
                       player.bot.answer.c_str());
    }
    type_due_letter(player, player.bot.answer, elapsed);
}

} // namespace

void start_first_stage(PasswordState& state) {
    state.phase = THINKING;
    state.phase_timer = THINKING_TIME;
    init_bot_typing_for_question(state);
}

void bots_type(PasswordState& state, float dt) {
    if (state.phase != TYPING) return;
    float elapsed = TYPING_TIME - state.phase_timer;
    for (auto& [id, player] : state.players) {
        if (is_typing_bot(*state.global, id) && !player.bot.answer.empty()) bot_type(id, player, dt, elapsed);
    }
}

ScreenTransition end_phase(PasswordState& state) {
    switch (state.phase) {
    case THINKING:
        state.phase = TYPING;
        state.phase_timer = TYPING_TIME;
        return ScreenTransition::none();
    case TYPING:
        state.phase = WAITING;
        state.phase_timer = WAITING_TIME;
        return ScreenTransition::none();
    default:
        break;
    }
    ++state.question_index;
    if (state.question_index >= state.question_count) return ScreenTransition::pop();
    state.current_question = state.questions[static_cast<size_t>(state.question_index)];
    clear_typed_letters(state.players);
    start_first_stage(state);
    return ScreenTransition::none();
}

PasswordState::PasswordState() : MinigameScreen(RULES) {}

void PasswordState::init(GlobalState& g) { password_init(*this, g); }
ScreenTransition PasswordState::update(float dt) { return password_update(*this, dt); }
void PasswordState::render(uint32_t viewer_id, DrawList& out) { password_render(*this, viewer_id, out); }

void password_init(PasswordState& state, GlobalState& global) {
    state.global = &global;
    reset_minigame(state);
    state.question_index = 0;
    state.current_question = state.questions.empty() ? Question{} : state.questions.front();
    init_bot_typing_for_question(state);
}

ScreenTransition password_update(PasswordState& state, float dt) {
    ProfileZone zone(state.global->profiler, "password_update");
    return update_typing_minigame(state, dt);
}

} // namespace password

std::unique_ptr<ScreenProcs> create_password(Random& random) {
    auto state = std::make_unique<password::PasswordState>();
    password::pick_random_questions(state->questions, random);
    state->question_count = static_cast<int>(state->questions.size());
    state->current_question = state->questions.front();
    return state;
}

} // namespace cog
