// Click-to-shoot, the shot sequence and its drawing.
#include "server/screens/minigame/shooting.h"

#include "server/profiler/profiler.h"
#include "server/screens/minigame/player_grid.h"
#include "shared/log/console.h"
#include "shared/types/draw.h"

namespace cog {

namespace {
void mark_shot_player_dead(MinigameScreen& state) {
    if (PlayerConnection* player = find_player(*state.global, state.shot_player_id)) {
        player->is_dead = true;
        if (state.global->tell) state.global->tell(player->id, "You were shot: you watch the rest of the game");
    }
    console_printf("%s %s %u %s\n", state.rules->tag, "Player", state.shot_player_id, "marked as dead");
}

// Kept for the end screen, which tells everybody who was shot where.
void record_shot(MinigameScreen& state) {
    const uint32_t id = state.shot_player_id;
    state.global->shots.push_back({state.rules->title, id, state.figure_number(id), state.shot_was_bot});
}

} // namespace

void render_verdict(const MinigameScreen& state, DrawList& out) {
    draw_rect(out, 0, 0, WORLD_WIDTH, WORLD_HEIGHT, {0, 0, 0, 180});
    if (state.shot_was_bot) {
        draw_text(out, 297.5f, 320, "It was a ROBOT!", 80, {100, 255, 100, 255});
    } else {
        draw_text(out, 297.5f, 320, "It was a HUMAN!", 80, {255, 50, 50, 255});
    }
}

bool fresh_click(MinigameScreen& state, uint32_t id, bool mouse_left) {
    bool was = false;
    if (auto it = state.mouse_was_down.find(id); it != state.mouse_was_down.end()) was = it->second;
    state.mouse_was_down[id] = mouse_left;
    return mouse_left && !was;
}

void render_flying_mask(DrawList& out, const ShotFigure& shot, float j, float start_scale) {
    if (shot.mask == AssetId::NONE) return;
    float scale = (1 - 0.3f * j) * start_scale;
    draw_sprite_pro(out, shot.mask, shot.x + 4000 * j, shot.y + (1 - j) * (-600 * j), WHITE, 3600 * j, scale, scale,
                    false, false);
}

void render_shot_flash(DrawList& out, float j) {
    draw_rect(out, 0, 0, WORLD_WIDTH, WORLD_HEIGHT, {255, 255, 255, static_cast<uint8_t>(static_cast<int>((1 - j) * 255))});
}

std::optional<uint32_t> figure_at(const MinigameScreen& state, float x, float y) {
    std::optional<uint32_t> hit;
    for_each_figure(state, [&](const GridFigure& f) {
        if (f.cx <= x && x <= f.cx + FIGURE_SIZE && f.cy <= y && y <= f.cy + FIGURE_SIZE) hit = f.id;
        return hit.has_value();
    });
    return hit;
}

void handle_shoot_input(MinigameScreen& state, uint32_t cop_id, const InputState& input) {
    if (!fresh_click(state, cop_id, input.mouse_left)) return;
    std::optional<uint32_t> target = figure_at(state, input.mouse_x, input.mouse_y);
    if (!target) return;
    if (state.rules->dialect == ConsoleDialect::PASSWORD) {
        console_printf("%s COP player %u clicked on player %u\n", state.rules->tag, cop_id, *target);
    }
    start_shot(state, *target);
}

void start_shot(MinigameScreen& state, uint32_t target_id) {
    const PlayerConnection* target = find_player(*state.global, target_id);
    start_shot(state, target_id, target ? target->is_bot : true);
}

void start_shot(MinigameScreen& state, uint32_t target_id, bool was_bot) {
    state.shot_was_bot = was_bot;
    state.shot_stage = ShootingPhase::FADING;
    state.shot_timer = SHOT_FADE_TIME;
    state.shot_player_id = target_id;
    state.phase = state.rules->shooting_phase;
    if (state.rules->gunshot_sound) {
        if (state.global->stop_music) state.global->stop_music();
        if (state.global->play_sound) state.global->play_sound(SoundId::SFX_GUNSHOT, 1.0f);
    }
}

ScreenTransition update_shooting(MinigameScreen& state, float dt) {
    ProfileZone zone(state.global->profiler, "update_shooting");
    // The end fires once: if the stack refuses the push, later frames must not mark, print and
    // push again every frame.
    if (state.shot_resolved) return ScreenTransition::none();
    state.shot_timer -= dt;
    if (state.shot_timer > 0) return ScreenTransition::none();
    if (state.shot_stage == ShootingPhase::FADING) {
        state.shot_stage = ShootingPhase::REVEAL_RESULT;
        state.shot_timer = SHOT_REVEAL_TIME;
        return ScreenTransition::none();
    }
    state.shot_resolved = true;
    record_shot(state);
    if (!state.shot_was_bot) mark_shot_player_dead(state);
    return ScreenTransition::push(ScreenId::GAME_SELECT);
}

void render_shooting(const MinigameScreen& state, DrawList& out, uint32_t viewer_id, bool viewer_is_cop,
                     std::string_view compared) {
    bool fading = state.shot_stage == ShootingPhase::FADING;
    float j = fading ? 1 - state.shot_timer / SHOT_FADE_TIME : 1;
    GridFlags flags{true, true, true, viewer_is_cop, state.shot_player_id, state.shot_was_bot, viewer_id};
    ShotFigure shot = render_player_grid(state, out, flags, compared);
    if (fading) {
        render_flying_mask(out, shot, j);
        render_shot_flash(out, j);
    } else {
        render_verdict(state, out);
    }
}

} // namespace cog
