// Briefing clock, briefing card and masked intro card.
#include "server/screens/minigame/briefing.h"

#include "server/screens/minigame/player_grid.h"
#include "shared/log/console.h"
#include "shared/types/draw.h"

#include <algorithm>

namespace cog {

namespace {
constexpr Color CARD_BLACK{0, 0, 0, 255};
constexpr Color INTRO_BACKGROUND{25, 25, 35, 255};
constexpr Color LINE_BLUE{100, 200, 255, 255};
constexpr Color COUNTDOWN_ORANGE{255, 200, 100, 255};
// "GET READY..." fades in during its first second, counted from this timer value.
constexpr float GET_READY_FROM = 4.0f;

void finish_briefing(MinigameScreen& state) {
    state.cop_intro_stage = 3;
    if (state.rules->log_briefing_complete) console_printf("%s COP intro complete\n", state.rules->tag);
}

void render_briefing_lines(const MinigameScreen& state, DrawList& out) {
    const BriefingLayout& b = state.rules->briefing;
    float elapsed = b.stage1_at - state.cop_intro_timer;
    if (elapsed <= 0) return;
    float done = elapsed / b.reveal_span;
    const size_t line_count = b.lines.size();
    size_t shown = std::min(line_count, static_cast<size_t>(static_cast<float>(line_count) * done));
    float slide = std::min(1.0f, done) * b.slide;
    for (size_t j = 0; j < shown; ++j) {
        float since = elapsed - static_cast<float>(j + 1) / static_cast<float>(line_count) * b.reveal_span;
        std::string_view line = b.lines[j];
        Color color = LINE_BLUE;
        color[3] = briefing_line_alpha(since);
        float x = (WORLD_WIDTH - 12.0f * static_cast<float>(line.size())) * 0.5f + b.line_x_offset;
        draw_text(out, x, b.first_line_y + b.line_spacing * static_cast<float>(j) - slide, line, 32, color);
    }
}

void render_get_ready(const MinigameScreen& state, DrawList& out) {
    const BriefingLayout& b = state.rules->briefing;
    if (!b.get_ready || state.cop_intro_stage != 2) return;
    float shown_for = GET_READY_FROM - state.cop_intro_timer;
    uint8_t alpha = shown_for >= 1.0f ? 255 : static_cast<uint8_t>(static_cast<int>(shown_for * 255.0f));
    draw_text(out, b.get_ready_x, b.get_ready_y, "GET READY...", 40, {255, 255, 100, alpha});
}
} // namespace

void advance_briefing(MinigameScreen& state, float dt) {
    if (state.cop_intro_timer <= 0) return;
    const BriefingLayout& b = state.rules->briefing;
    state.cop_intro_timer -= dt;
    if (state.cop_intro_stage == 0 && state.cop_intro_timer <= b.stage1_at) state.cop_intro_stage = 1;
    if (state.cop_intro_stage == 1 && state.cop_intro_timer <= b.stage2_at) state.cop_intro_stage = 2;
    if (state.cop_intro_timer <= 0) finish_briefing(state);
}

bool briefing_card_showing(const MinigameScreen& state) {
    return state.cop_intro_timer > 0 || state.cop_intro_stage != 3;
}

uint8_t briefing_line_alpha(float since) {
    if (since <= 0) return 0;
    return static_cast<uint8_t>(static_cast<int>(std::min(1.0f, 2.0f * since) * 255.0f));
}

void render_intro_cop(const MinigameScreen& state, DrawList& out) {
    draw_rect(out, 0, 0, WORLD_WIDTH, WORLD_HEIGHT, CARD_BLACK);
    render_briefing_lines(state, out);
    render_get_ready(state, out);
}

void render_intro_masked(const MinigameScreen& state, DrawList& out, uint32_t viewer_id) {
    draw_rect(out, 0, 0, WORLD_WIDTH, WORLD_HEIGHT, INTRO_BACKGROUND);
    draw_text(out, 300, 40, state.rules->intro_text, 28, LINE_BLUE);
    std::string_view countdown = draw_format(out, "Starting in %d...", static_cast<int>(state.intro_timer) + 1);
    draw_text(out, (WORLD_WIDTH - 15.0f * static_cast<float>(countdown.size())) * 0.5f, 130, countdown, 32,
              COUNTDOWN_ORANGE);
    GridFlags flags;
    flags.show_labels = true;
    flags.viewer_id = viewer_id;
    render_player_grid(state, out, flags, {});
}

} // namespace cog
