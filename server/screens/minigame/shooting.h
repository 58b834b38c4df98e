// The Overseer's shot: click-to-shoot with its hit test, the timed sequence and its drawing.
#pragma once

#include "server/screens/minigame/minigame_state.h"

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

void start_shot(MinigameScreen& state, uint32_t target_id);

ScreenTransition update_shooting(MinigameScreen& state, float dt);

// The game view's picture during the shot, after the overlays.
void render_shooting(const MinigameScreen& state, DrawList& out, uint32_t viewer_id, bool viewer_is_cop,
                     std::string_view compared);

} // namespace cog
