// The shot picture: the figures, the shot figure's mask flying off under a flash, the verdict.
#include "server/screens/doors/doors_render.h"
#include "server/screens/minigame/shooting.h"
#include "shared/types/draw.h"

namespace cog::doors {

namespace {
constexpr float VERDICT_SCALE = 1.5625f;

void render_verdict(const DoorsState& state, DrawList& out) {
    AssetId figure = state.shot_was_bot ? AssetId::ROBOT_SHOT_STANDING : AssetId::HUMAN_SHOT_STANDING;
    draw_sprite_pro(out, figure, 640, 250, WHITE, 0, VERDICT_SCALE, VERDICT_SCALE, false, false);
    if (state.shot_was_bot) {
        draw_text(out, 297.5f, 490, "It was a ROBOT!", 80, GREEN);
    } else {
        draw_text(out, 297.5f, 490, "It was a HUMAN!", 80, RED);
    }
}
} // namespace

void render_shooting(const DoorsState& state, uint32_t viewer_id, DrawList& out) {
    render_players(state, viewer_id, out);
    if (state.shot_stage == ShootingPhase::REVEAL_RESULT) {
        render_verdict(state, out);
        return;
    }
    // A shot player who has left has no position: the verdict still comes, the fade does not.
    auto shot = state.players.find(state.shot_player_id);
    if (shot == state.players.end()) return;
    float j = 1 - state.shot_timer / SHOT_FADE_TIME;
    Position at = player_position(shot->second);
    render_flying_mask(out, {doors_mask(state, state.shot_player_id), at.x, at.y}, j);
    render_shot_flash(out, j);
}

} // namespace cog::doors
