// What each viewer of the password minigame sees.
#include "server/profiler/profiler.h"
#include "server/screens/minigame/top_section.h"
#include "server/screens/minigame/typing_minigame.h"
#include "server/screens/password/password_state.h"
#include "shared/types/draw.h"

namespace cog::password {

namespace {
constexpr Color PROMPT_BLUE{100, 200, 255, 255};

void render_prompt(const PasswordState& state, DrawList& out, float per_byte, float y, int font_size) {
    std::string_view prompt = state.current_question.prompt;
    draw_text(out, 640 - per_byte * static_cast<float>(prompt.size()), y, prompt, font_size, PROMPT_BLUE);
}
} // namespace

void render_top_section(const PasswordState& state, DrawList& out) {
    render_stage_counter(out, "Question", state.question_index + 1, state.question_count);
    if (state.phase == THINKING) {
        render_prompt(state, out, 10, 45, 28);
    } else if (state.phase == TYPING) {
        render_prompt(state, out, 8, 30, 22);
        render_typing_countdown(out, state.phase_timer);
    } else {
        render_next_countdown(out, "question", state.phase_timer);
    }
}

void password_render(const PasswordState& state, uint32_t viewer_id, DrawList& out) {
    ProfileZone zone(state.global->profiler, "password_render");
    render_typing_minigame(state, viewer_id, out, state.current_question.answer);
}

} // namespace cog::password
