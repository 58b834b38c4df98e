// The password minigame: creation with its three questions, init, and the per-frame stage logic.
#include "server/profiler/profiler.h"
#include "server/screens/minigame/bot_typing.h"
#include "server/screens/minigame/hands.h"
#include "server/screens/minigame/shooting.h"
#include "server/screens/password/password_state.h"
#include "server/screens/screen/screen_kinds.h"
#include "shared/log/console.h"

namespace cog {

namespace password {

namespace {
void start_thinking(PasswordState& state) {
    state.phase = THINKING;
    state.phase_timer = THINKING_TIME;
    init_bot_typing_for_question(state);
}

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

void bots_type(PasswordState& state, float dt) {
    float elapsed = TYPING_TIME - state.phase_timer;
    for (auto& [id, player] : state.players) {
        if (is_typing_bot(*state.global, id) && !player.bot.answer.empty()) bot_type(id, player, dt, elapsed);
    }
}

void start_next_question(PasswordState& state) {
    state.current_question = state.questions[static_cast<size_t>(state.question_index)];
    for (auto& entry : state.players) entry.second.typed_len = 0;
    start_thinking(state);
}

// Called when the phase timer has run out; POP once the last question is over.
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
    start_next_question(state);
    return ScreenTransition::none();
}
} // namespace

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
    advance_minigame_clocks(state, dt);
    if (state.phase == INTRO) {
        if (state.intro_timer > 0) return ScreenTransition::none();
        start_thinking(state);
    }
    if (state.phase == SHOOTING) return update_shooting(state, dt);
    if (state.phase == TYPING) bots_type(state, dt);
    state.phase_timer -= dt;
    if (state.phase_timer <= 0) {
        ScreenTransition transition = end_phase(state);
        if (transition.kind != TransitionKind::NONE) return transition;
    }
    settle_hands(state.players, dt);
    return ScreenTransition::none();
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
