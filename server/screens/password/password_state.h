// The password minigame's state record, phases and procedures.
#pragma once

#include "server/screens/minigame/minigame_state.h"
#include "server/screens/password/password_questions.h"

#include <vector>

namespace cog::password {

enum GamePhase : int64_t { INTRO = 0, THINKING = 1, TYPING = 2, WAITING = 3, SHOOTING = 4 };

inline constexpr float THINKING_TIME = 6.0f; // s the prompt is shown before typing
inline constexpr float TYPING_TIME = 3.0f;   // s
inline constexpr float WAITING_TIME = 3.0f;  // s

extern const MinigameRules RULES;

class PasswordState final : public MinigameScreen {
public:
    PasswordState();

    std::vector<Question> questions; // the game's three questions, in play order
    int question_count = 0;
    int question_index = 0;         // 0-based
    Question current_question;

    void init(GlobalState& g) override;
    ScreenTransition update(float dt) override;
    void render(uint32_t viewer_id, DrawList& out) override;
};

void password_init(PasswordState& state, GlobalState& global);
ScreenTransition password_update(PasswordState& state, float dt);
void password_render(const PasswordState& state, uint32_t viewer_id, DrawList& out);
void render_top_section(const PasswordState& state, DrawList& out);

// The stage steps of the shared typing update: INTRO -> THINKING; the bots' thinking and letters
// (TYPING only); the phase timer's end, THINKING -> TYPING -> WAITING -> next question, POP after
// the last.
void start_first_stage(PasswordState& state);
void bots_type(PasswordState& state, float dt);
ScreenTransition end_phase(PasswordState& state);

// Every bot's password, wait and letter schedule for current_question.
void init_bot_typing_for_question(PasswordState& state);

} // namespace cog::password
