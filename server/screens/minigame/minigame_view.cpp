// View choice and the shared layers of the minigames' game view.
#include "server/screens/minigame/minigame_view.h"

#include "server/screens/minigame/alerts.h"
#include "server/screens/minigame/briefing.h"
#include "server/screens/minigame/player_grid.h"
#include "server/screens/minigame/shooting.h"
#include "shared/types/draw.h"

namespace cog {

namespace {
constexpr float FLASHLIGHT_SIZE = 3000; // px, centred on the pointer
constexpr float GUN_SIGHT_SIZE = 128;   // px, centred on the pointer

void render_overseer_tools(const MinigameScreen& state, uint32_t viewer_id, DrawList& out) {
    const PlayerConnection* cop = find_player(*state.global, viewer_id);
    float mx = cop ? cop->input.mouse_x : 0, my = cop ? cop->input.mouse_y : 0;
    draw_sprite(out, AssetId::FLASHLIGHT, mx - FLASHLIGHT_SIZE / 2, my - FLASHLIGHT_SIZE / 2, FLASHLIGHT_SIZE,
                FLASHLIGHT_SIZE, WHITE);
    if (state.cop_intro_stage == 3) render_gun_sight(*state.global, viewer_id, out);
}

void render_alerts(const MinigameScreen& state, uint32_t viewer_id, bool viewer_is_cop, DrawList& out) {
    bool dead = viewer_is_dead(state, viewer_id);
    if (dead && state.rules->spectator_alert) render_spectator_mode_alert(out);
    bool watched = !viewer_is_cop && state.cop_intro_timer <= 0;
    if (watched && (!dead || state.rules->watching_alert_when_dead)) render_cop_watching_alert(out);
}
} // namespace

void render_gun_sight(const GlobalState& global, uint32_t viewer_id, DrawList& out) {
    const PlayerConnection* cop = find_player(global, viewer_id);
    float mx = cop ? cop->input.mouse_x : 0, my = cop ? cop->input.mouse_y : 0;
    draw_sprite(out, AssetId::GUN_SIGHT, mx - GUN_SIGHT_SIZE / 2, my - GUN_SIGHT_SIZE / 2, GUN_SIGHT_SIZE,
                GUN_SIGHT_SIZE, WHITE);
}

bool render_intro_cards(const MinigameScreen& state, uint32_t viewer_id, DrawList& out) {
    bool viewer_is_cop = is_cop(*state.global, viewer_id);
    if (viewer_is_cop && briefing_card_showing(state)) {
        render_intro_cop(state, out);
        return true;
    }
    if (!viewer_is_cop && state.intro_timer > 0) {
        render_intro_masked(state, out, viewer_id);
        return true;
    }
    return false;
}

void render_game_background(DrawList& out) { draw_rect(out, 0, 0, WORLD_WIDTH, WORLD_HEIGHT, {25, 25, 35, 255}); }

void render_game_view(const MinigameScreen& state, uint32_t viewer_id, DrawList& out, std::string_view compared) {
    bool viewer_is_cop = is_cop(*state.global, viewer_id);
    if (viewer_is_cop) draw_text(out, 1030, 30, "OBSERVER MODE", 20, {100, 200, 255, 255});
    render_alerts(state, viewer_id, viewer_is_cop, out);
    if (state.phase == state.rules->shooting_phase) {
        render_shooting(state, out, viewer_id, viewer_is_cop, compared);
        return;
    }
    GridFlags flags{true, true, true, viewer_is_cop, 0, false, viewer_id};
    render_player_grid(state, out, flags, compared);
    if (viewer_is_cop) render_overseer_tools(state, viewer_id, out);
}

} // namespace cog
