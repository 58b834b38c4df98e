// The workers' grid of the typing minigames: labels, bodies with masks, hands and text boxes.
#pragma once

#include "server/screens/minigame/grid_layout.h"

#include <string_view>

namespace cog {

struct GridFlags {
    bool show_labels = false;
    bool show_hands = false;
    bool show_text_box = false;
    bool viewer_is_cop = false;
    uint32_t shot_player_id = 0; // 0: no shot
    bool shot_was_bot = false;
    uint32_t viewer_id = 0;
};

// Where the shot figure's mask was drawn; mask NONE when no shot figure was drawn.
struct ShotFigure {
    AssetId mask = AssetId::NONE;
    float x = 0, y = 0;
};

// Draws every figure; text boxes colour letters by comparing with `compared`.
ShotFigure render_player_grid(const MinigameScreen& state, DrawList& out, const GridFlags& flags,
                              std::string_view compared);

void render_player_label(DrawList& out, const GridFigure& figure, uint32_t viewer_id);
// Returns the mask drawn for the shot figure, or NONE for a living one.
ShotFigure render_robot_body_mask(const MinigameScreen& state, DrawList& out, const GridFigure& figure,
                                  const GridFlags& flags);
void render_hands(DrawList& out, const GridFigure& figure);
void render_text_box(DrawList& out, const GridFigure& figure, bool viewer_is_cop, std::string_view compared);

} // namespace cog
