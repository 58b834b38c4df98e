// The Overseer's shot: click-to-shoot with its hit test, the timed sequence and its drawing.
#pragma once

#include "server/screens/minigame/minigame_state.h"
#include "server/screens/minigame/player_grid.h"

#include <optional>
#include <string_view>

namespace cog {

inline constexpr float SHOT_FADE_TIME = 3.0f;   // s of the white flash while the mask flies
inline constexpr float SHOT_REVEAL_TIME = 5.0f; // s the verdict stays up

// The first grid figure whose cell contains (x, y), edges included.
std::optional<uint32_t> figure_at(const MinigameScreen& state, float x, float y);

// The Overseer's input once the briefing is over, in a phase that allows shooting: a fresh press
// on a figure starts the shot.
void handle_shoot_input(MinigameScreen& state, uint32_t cop_id, const InputState& input);

// Records the player's button in mouse_was_down; true for a press that was up before.
bool fresh_click(MinigameScreen& state, uint32_t id, bool mouse_left);

// The shot's verdict follows the target's host record (no record: a bot)...
void start_shot(MinigameScreen& state, uint32_t target_id);
// ...or a verdict the minigame keeps itself.
void start_shot(MinigameScreen& state, uint32_t target_id, bool was_bot);

ScreenTransition update_shooting(MinigameScreen& state, float dt);

// j runs 0 -> 1 over the fade. The shot figure's mask flies off to the right in an arc, spinning
// and shrinking; the white flash fades out.
// The grid's mask starts at 100/1024 scale, so that its texture covers a figure.
inline constexpr float GRID_FLYING_MASK_SCALE = 0.09765625f;
void render_flying_mask(DrawList& out, const ShotFigure& shot, float j, float start_scale = GRID_FLYING_MASK_SCALE);
void render_shot_flash(DrawList& out, float j);

// The dimmed picture with "It was a ROBOT!" or "It was a HUMAN!".
void render_verdict(const MinigameScreen& state, DrawList& out);

// The game view's picture during the shot, after the overlays.
void render_shooting(const MinigameScreen& state, DrawList& out, uint32_t viewer_id, bool viewer_is_cop,
                     std::string_view compared);

} // namespace cog
