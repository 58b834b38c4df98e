// What each viewer of the typing pool sees.
#include "server/profiler/profiler.h"
#include "server/screens/minigame/top_section.h"
#include "server/screens/minigame/typing_minigame.h"
#include "server/screens/typewriter/typewriter_state.h"
#include "shared/types/draw.h"

namespace cog::typewriter {

void render_top_section(const TypewriterState& state, DrawList& out) {
    render_stage_counter(out, "Word", state.word_index + 1, state.word_count);
    if (state.phase != TYPING) {
        render_next_countdown(out, "word", state.phase_timer);
        return;
    }
    GlowText glow;
    glow.text = state.current_word;
    glow.x = 590;
    glow.y = 80;
    glow.font_size = 72;
    glow.time = state.total_time;
    glow.color = WHITE;
    glow.glow_color = {100, 200, 255, 255};
    draw_text_glow(out, glow);
    render_typing_countdown(out, state.phase_timer);
}

void typewriter_render(const TypewriterState& state, uint32_t viewer_id, DrawList& out) {
    ProfileZone zone(state.global->profiler, "typewriter_render");
    render_typing_minigame(state, viewer_id, out, state.current_word);
}

} // namespace cog::typewriter
