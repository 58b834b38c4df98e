// What each viewer of the door memorization sees: the cards, then one picture per phase.
#include "server/profiler/profiler.h"
#include "server/screens/doors/doors_render.h"
#include "server/screens/minigame/alerts.h"
#include "server/screens/minigame/briefing.h"
#include "shared/types/draw.h"

namespace cog::doors {

namespace {
constexpr Color BACKGROUND{25, 25, 35, 255};
constexpr Color INTRO_GREEN{100, 255, 200, 255};
constexpr Color COUNTDOWN_ORANGE{255, 200, 100, 255};
constexpr float FLASHLIGHT_SIZE = 3000; // px, centred on the pointer
constexpr float GUN_SIGHT_SIZE = 100;   // px, centred on the pointer

float centred_x(std::string_view text, float px_per_byte) {
    return (WORLD_WIDTH - px_per_byte * static_cast<float>(text.size())) / 2;
}

void render_overseer_cursor(const DoorsState& state, uint32_t viewer_id, DrawList& out) {
    const PlayerConnection* cop = find_player(*state.global, viewer_id);
    float mx = cop ? cop->input.mouse_x : 0, my = cop ? cop->input.mouse_y : 0;
    if (state.phase == JUDGEMENT) {
        draw_sprite(out, AssetId::GUN_SIGHT, mx - GUN_SIGHT_SIZE / 2, my - GUN_SIGHT_SIZE / 2, GUN_SIGHT_SIZE,
                    GUN_SIGHT_SIZE, WHITE);
    } else {
        draw_sprite(out, AssetId::FLASHLIGHT, mx - FLASHLIGHT_SIZE / 2, my - FLASHLIGHT_SIZE / 2, FLASHLIGHT_SIZE,
                    FLASHLIGHT_SIZE, WHITE);
    }
}

void render_phase(const DoorsState& state, uint32_t viewer_id, bool viewer_is_cop, DrawList& out) {
    switch (state.phase) {
    case GAME_START: render_game_start(state, viewer_id, out); break;
    case ACTIVE: render_active(state, viewer_id, viewer_is_cop, out); break;
    case JUDGEMENT: render_judgement(state, viewer_id, viewer_is_cop, out); break;
    case GAME_OVER: render_game_over(state, viewer_id, out); break;
    default: return; // INTRO: the cards cover it
    }
    if (viewer_is_cop) render_overseer_cursor(state, viewer_id, out);
}

void render_game_view(const DoorsState& state, uint32_t viewer_id, bool viewer_is_cop, DrawList& out) {
    if (state.phase == SHOOTING) {
        render_shooting(state, viewer_id, out);
        return;
    }
    draw_rect(out, 0, 0, WORLD_WIDTH, WORLD_HEIGHT, BACKGROUND);
    // One step smaller than the typing minigames' texts.
    if (is_dead_player(state, viewer_id)) render_spectator_mode_alert(out, {20, 16});
    render_phase(state, viewer_id, viewer_is_cop, out);
}
} // namespace

void render_intro_masked(const DoorsState& state, DrawList& out) {
    draw_rect(out, 0, 0, WORLD_WIDTH, WORLD_HEIGHT, BACKGROUND);
    for (size_t i = 0; i < INTRO_LINES.size(); ++i) {
        draw_text(out, centred_x(INTRO_LINES[i], 10), 50 + 40 * static_cast<float>(i), INTRO_LINES[i], 24, INTRO_GREEN);
    }
    int seconds = static_cast<int>(state.intro_timer) + 1;
    std::string_view countdown = draw_format(out, "Starting in %d...", seconds);
    draw_text(out, centred_x(countdown, 12), 200, countdown, 32, seconds < 3 ? RED : COUNTDOWN_ORANGE);
}

void doors_render(const DoorsState& state, uint32_t viewer_id, DrawList& out) {
    ProfileZone zone(state.global->profiler, "doors_render");
    bool viewer_is_cop = is_overseer(state, viewer_id);
    if (viewer_is_cop && briefing_card_showing(state)) {
        render_intro_cop(state, out);
        return;
    }
    if (!viewer_is_cop && state.intro_timer > 0) {
        render_intro_masked(state, out);
        return;
    }
    render_game_view(state, viewer_id, viewer_is_cop, out);
}

} // namespace cog::doors
