// Counters and countdowns at the top of the typing minigames' game view.
#include "server/screens/minigame/top_section.h"

#include "shared/types/draw.h"

namespace cog {

namespace {
float text_len(std::string_view text) { return static_cast<float>(text.size()); }
int whole_seconds_left(float phase_timer) { return static_cast<int>(phase_timer) + 1; }
} // namespace

void render_stage_counter(DrawList& out, const char* noun, int number, int count) {
    std::string_view text = draw_format(out, "%s %d/%d", noun, number, count);
    draw_text(out, 640 - 8 * text_len(text), 10, text, 16, {100, 100, 120, 255});
}

void render_typing_countdown(DrawList& out, float phase_timer) {
    int seconds = whole_seconds_left(phase_timer);
    Color color = seconds < 3 ? Color{255, 50, 50, 255} : Color{255, 200, 100, 255};
    draw_text(out, 1040, 45, draw_format(out, "%ds", seconds), 56, color);
}

void render_next_countdown(DrawList& out, const char* noun, float phase_timer) {
    std::string_view text = draw_format(out, "Next %s in: %ds", noun, whole_seconds_left(phase_timer));
    draw_text(out, 640 - 12 * text_len(text) + 20, 45, text, 32, {100, 200, 255, 255});
}

} // namespace cog
