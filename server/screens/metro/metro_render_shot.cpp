// Drawing of the shot: the still car, the passengers standing upright, the flying mask, the verdict.
#include "server/screens/metro/metro_geometry.h"
#include "server/screens/metro/metro_render_shot.h"
#include "server/screens/metro/metro_scene.h"
#include "server/screens/minigame/shooting.h"
#include "shared/log/console.h"
#include "shared/types/draw.h"

namespace cog::metro {

namespace {
// The flying mask starts from this far right of and below the body's anchor (px).
constexpr float MASK_LAUNCH_OFFSET = 150;

const char* bool_text(bool value) { return value ? "true" : "false"; }
const char* stage_name(ShootingPhase stage) { return stage == ShootingPhase::FADING ? "FADING" : "REVEAL_RESULT"; }

// Where the shot passenger stands and the mask it loses, (0, 0) when the passenger has left the
// car. A filler loses its mask like any robot: a shot that looked different would mark it.
ShotFigure find_shot_passenger(const MetroState& state) {
    ShotFigure shot;
    auto it = state.passengers.find(state.shot_player_id);
    const bool filler = it != state.passengers.end() && it->second.is_filler;
    if (filler || find_player(*state.global, state.shot_player_id))
        shot.mask = passenger_mask(state, state.shot_player_id);
    if (it == state.passengers.end()) return shot;
    shot.x = slot_x(it->second.slot_index);
    shot.y = BODY_Y;
    console_printf("[METRO SHOOTING RENDER] Found shot_player in players map, slot_index: %lld x: %g y: %g\n",
                   static_cast<long long>(it->second.slot_index), static_cast<double>(shot.x), static_cast<double>(shot.y));
    return shot;
}

void render_shot_passenger(const MetroState& state, uint32_t id, const Passenger& p, DrawList& out) {
    AssetId body = state.shot_was_bot ? AssetId::ROBOT_SHOT_STANDING : AssetId::HUMAN_SHOT_STANDING;
    float x = slot_x(p.slot_index);
    console_printf("[METRO SHOOTING] Rendering shot_player_id: %u slot_index: %lld x: %g y: %g asset: %s\n", id,
                   static_cast<long long>(p.slot_index), static_cast<double>(x), static_cast<double>(BODY_Y),
                   state.shot_was_bot ? "ROBOT_SHOT_STANDING" : "HUMAN_SHOT_STANDING");
    draw_sprite_pro(out, body, x, BODY_Y, WHITE, 0, BODY_SCALE, BODY_SCALE, false, false);
}

void render_standing_passenger(const MetroState& state, uint32_t id, const Passenger& p, DrawList& out) {
    float x = slot_x(p.slot_index);
    console_printf("[METRO SHOOTING] normal_player: %u slot_index: %lld x: %g y: %g\n", id,
                   static_cast<long long>(p.slot_index), static_cast<double>(x), static_cast<double>(BODY_Y));
    draw_sprite_pro(out, AssetId::STANDING_WITH_ARM, x, BODY_Y, WHITE, 0, BODY_SCALE, BODY_SCALE, false, false);
    draw_sprite_pro(out, passenger_mask(state, id), x, MASK_Y, WHITE, 0, MASK_SCALE, MASK_SCALE, false, false);
}

// Everyone but the Overseer stands upright for the shot, the dead included.
void render_upright_passengers(const MetroState& state, DrawList& out) {
    console_printf("[METRO SHOOTING] Rendering passengers, shot_player_id: %u was_bot: %s\n", state.shot_player_id,
                   bool_text(state.shot_was_bot));
    for (uint32_t id : ids_by_slot(state)) {
        const Passenger& passenger = state.passengers.at(id);
        if (is_cop(*state.global, id)) continue;
        if (id == state.shot_player_id) {
            render_shot_passenger(state, id, passenger, out);
        } else {
            render_standing_passenger(state, id, passenger, out);
        }
    }
}

void render_fading(const ShotFigure& shot, float s, DrawList& out) {
    // A filler has no mask to lose, and its shot shows no flash either.
    if (shot.mask == AssetId::NONE) return;
    ShotFigure launch{shot.mask, shot.x + MASK_LAUNCH_OFFSET, shot.y + MASK_LAUNCH_OFFSET};
    render_flying_mask(out, launch, s, MASK_SCALE);
    render_shot_flash(out, s);
}
} // namespace

void render_shooting(const MetroState& state, DrawList& out) {
    console_printf("[METRO SHOOTING RENDER] shot_player_id: %u phase: %s was_bot: %s\n", state.shot_player_id,
                   stage_name(state.shot_stage), bool_text(state.shot_was_bot));
    render_still_background(out);
    ShotFigure shot = find_shot_passenger(state);
    bool fading = state.shot_stage == ShootingPhase::FADING;
    float s = fading ? 1 - state.shot_timer / SHOT_FADE_TIME : 1;
    render_upright_passengers(state, out);
    render_car(out);
    if (fading) {
        render_fading(shot, s, out);
    } else {
        render_verdict(state, out);
    }
}

} // namespace cog::metro
