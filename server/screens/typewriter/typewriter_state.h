// The typing pool's state record, phases and procedures.
#pragma once

#include "server/screens/minigame/minigame_state.h"

#include <string>
#include <vector>

namespace cog::typewriter {

enum GamePhase : int64_t { INTRO = 0, TYPING = 1, WAITING = 2, SHOOTING = 3 };

inline constexpr float TYPING_TIME = 3.0f;  // s a word is shown for typing
inline constexpr float WAITING_TIME = 3.0f; // s of pause before the next word

extern const MinigameRules RULES;

class TypewriterState final : public MinigameScreen {
public:
    TypewriterState();

    std::vector<std::string> words; // the game's nine words, in play order
    int word_count = 0;
    int word_index = 0;             // 0-based
    std::string current_word;

    void init(GlobalState& g) override;
    ScreenTransition update(float dt) override;
    void render(uint32_t viewer_id, DrawList& out) override;
};

void typewriter_init(TypewriterState& state, GlobalState& global);
ScreenTransition typewriter_update(TypewriterState& state, float dt);
void typewriter_render(const TypewriterState& state, uint32_t viewer_id, DrawList& out);
void render_top_section(const TypewriterState& state, DrawList& out);

// The stage steps of the shared typing update: INTRO -> TYPING with the music; the bots' letters
// (TYPING only); the phase timer's end, TYPING -> WAITING -> next word, POP after the last.
void start_first_stage(TypewriterState& state);
void bots_type(TypewriterState& state, float dt);
ScreenTransition end_phase(TypewriterState& state);

// Every bot's word_time and letter schedule for current_word.
void init_bot_typing_for_word(TypewriterState& state);

} // namespace cog::typewriter
