// The typing pool: creation with its nine words, init, and the per-frame stage logic.
#include "server/profiler/profiler.h"
#include "server/screens/minigame/bot_typing.h"
#include "server/screens/minigame/typing_minigame.h"
#include "server/screens/screen/screen_kinds.h"
#include "server/screens/typewriter/typewriter_state.h"
#include "server/screens/typewriter/typewriter_words.h"
#include "shared/log/console.h"

namespace cog {

namespace typewriter {

namespace {
constexpr float MUSIC_VOLUME = 0.7f;

void start_next_word(TypewriterState& state) {
    console_printf("[TYPEWRITER] Phase transition: WAITING -> TYPING (stage %d/%d, word: %s)\n",
                   state.word_index + 1, state.word_count, state.words[static_cast<size_t>(state.word_index)].c_str());
    state.phase = TYPING;
    state.phase_timer = TYPING_TIME;
    state.current_word = state.words[static_cast<size_t>(state.word_index)];
    clear_typed_letters(state.players);
    init_bot_typing_for_word(state);
}
} // namespace

void start_first_stage(TypewriterState& state) {
    state.phase = TYPING;
    state.phase_timer = TYPING_TIME;
    console_printf("[TYPEWRITER] Transitioning from INTRO to TYPING phase\n");
    if (state.global->play_sound) state.global->play_sound(SoundId::MUSIC_TYPING, MUSIC_VOLUME);
    init_bot_typing_for_word(state);
}

void bots_type(TypewriterState& state, float /*dt*/) {
    if (state.phase != TYPING || state.current_word.empty()) return;
    float elapsed = TYPING_TIME - state.phase_timer;
    for (auto& [id, player] : state.players) {
        if (is_typing_bot(*state.global, id)) type_due_letter(player, state.current_word, elapsed);
    }
}

ScreenTransition end_phase(TypewriterState& state) {
    if (state.phase == TYPING) {
        console_printf("[TYPEWRITER] Phase transition: TYPING -> WAITING (stage %d complete)\n", state.word_index);
        state.phase = WAITING;
        state.phase_timer = WAITING_TIME;
        return ScreenTransition::none();
    }
    ++state.word_index;
    if (state.word_index >= state.word_count) {
        console_printf("[TYPEWRITER] Game complete, transitioning to lobby\n");
        return ScreenTransition::pop();
    }
    start_next_word(state);
    return ScreenTransition::none();
}

TypewriterState::TypewriterState() : MinigameScreen(RULES) {}

void TypewriterState::init(GlobalState& g) { typewriter_init(*this, g); }
ScreenTransition TypewriterState::update(float dt) { return typewriter_update(*this, dt); }
void TypewriterState::render(uint32_t viewer_id, DrawList& out) { typewriter_render(*this, viewer_id, out); }

void typewriter_init(TypewriterState& state, GlobalState& global) {
    state.global = &global;
    reset_minigame(state);
    state.word_index = 0;
    state.current_word = state.words.empty() ? std::string() : state.words.front();
    init_bot_typing_for_word(state);
}

ScreenTransition typewriter_update(TypewriterState& state, float dt) {
    ProfileZone zone(state.global->profiler, "typewriter_update");
    return update_typing_minigame(state, dt);
}

} // namespace typewriter

std::unique_ptr<ScreenProcs> create_typewriter(Random& random) {
    auto state = std::make_unique<typewriter::TypewriterState>();
    typewriter::pick_random_words(state->words, typewriter::WORDS_EASY, random);
    typewriter::pick_random_words(state->words, typewriter::WORDS_MEDIUM, random);
    typewriter::pick_random_words(state->words, typewriter::WORDS_HARD, random);
    state->word_count = static_cast<int>(state->words.size());
    state->current_word = state->words.front();
    return state;
}

} // namespace cog
