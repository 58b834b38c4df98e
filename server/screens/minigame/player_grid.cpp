// Drawing of the typing minigames' worker grid.
#include "server/screens/minigame/player_grid.h"

#include "shared/types/draw.h"

#include <algorithm>
#include <cmath>

namespace cog {

namespace {
constexpr Color OWN_LABEL{255, 255, 100, 255};
constexpr Color OTHER_LABEL{200, 200, 200, 255};
constexpr Color BOX_FILL{40, 40, 50, 255};
constexpr Color COP_BORDER{120, 120, 120, 255};
constexpr Color LETTER_RIGHT{100, 255, 100, 255};
constexpr Color LETTER_WRONG{255, 50, 50, 255};
constexpr Color CURSOR_GREY{150, 150, 150, 255};
constexpr float BOB_AMPLITUDE = 5;  // px
constexpr float HAND_DROP = 10;     // px below the cell top at rest
constexpr float BOX_WIDTH = 240, BOX_HEIGHT = 40, BOX_BORDER = 2; // px
constexpr float LETTER_STEP = 16;   // px between letters

AssetId mask_of(const MinigameScreen& state, const GridFigure& figure) {
    return mask_asset(static_cast<uint32_t>(worn_mask(*state.global, figure.id)));
}

void render_box_frame(DrawList& out, float bx, float by, Color border) {
    draw_rect(out, bx, by, BOX_WIDTH, BOX_HEIGHT, BOX_FILL);
    draw_rect(out, bx, by, BOX_WIDTH, BOX_BORDER, border);
    draw_rect(out, bx, by + BOX_HEIGHT - BOX_BORDER, BOX_WIDTH, BOX_BORDER, border);
    draw_rect(out, bx, by, BOX_BORDER, BOX_HEIGHT, border);
    draw_rect(out, bx + BOX_WIDTH - BOX_BORDER, by, BOX_BORDER, BOX_HEIGHT, border);
}
} // namespace

void render_player_label(DrawList& out, const GridFigure& figure, uint32_t viewer_id) {
    bool own = figure.id == viewer_id;
    std::string_view label = own ? std::string_view("YOU") : draw_format(out, "Player %u", figure.number);
    draw_text(out, figure.cx + 115 - 8.0f * static_cast<float>(label.size()), figure.cy - 25, label, 16,
              own ? OWN_LABEL : OTHER_LABEL);
}

ShotFigure render_robot_body_mask(const MinigameScreen& state, DrawList& out, const GridFigure& figure,
                                  const GridFlags& flags) {
    if (flags.shot_player_id != 0 && figure.id == flags.shot_player_id) {
        AssetId body = flags.shot_was_bot ? AssetId::ROBOT_SHOT : AssetId::HUMAN_SHOT;
        draw_sprite(out, body, figure.cx, figure.cy, FIGURE_SIZE, FIGURE_SIZE, WHITE);
        return {mask_of(state, figure), figure.cx, figure.cy};
    }
    float bob = BOB_AMPLITUDE * std::sin(state.total_time * figure.player->bob_speed + figure.player->bob_phase);
    draw_sprite(out, AssetId::BODY, figure.cx, figure.cy + bob, FIGURE_SIZE, FIGURE_SIZE, WHITE);
    draw_sprite(out, mask_of(state, figure), figure.cx, figure.cy + bob, FIGURE_SIZE, FIGURE_SIZE, WHITE);
    return {};
}

void render_hands(DrawList& out, const GridFigure& figure) {
    const MinigamePlayer& p = *figure.player;
    draw_sprite(out, AssetId::LEFT_HAND, figure.cx, figure.cy + HAND_DROP + p.left_hand_offset, FIGURE_SIZE,
                FIGURE_SIZE, WHITE);
    draw_sprite(out, AssetId::RIGHT_HAND, figure.cx, figure.cy + HAND_DROP + p.right_hand_offset, FIGURE_SIZE,
                FIGURE_SIZE, WHITE);
}

void render_text_box(DrawList& out, const GridFigure& figure, bool viewer_is_cop, std::string_view compared) {
    const MinigamePlayer& p = *figure.player;
    float bx = figure.cx - 15, by = figure.cy + 180;
    render_box_frame(out, bx, by, viewer_is_cop ? COP_BORDER : p.color);
    int len = std::clamp(p.typed_len, 0, MAX_TYPED);
    for (int i = 0; i < len; ++i) {
        char letter = p.typed_text[static_cast<size_t>(i)];
        bool right = static_cast<size_t>(i) < compared.size() && compared[static_cast<size_t>(i)] == letter;
        draw_text(out, bx + 10 + LETTER_STEP * static_cast<float>(i), by + 10, draw_format(out, "%c", letter), 24,
                  right ? LETTER_RIGHT : LETTER_WRONG);
    }
    draw_text(out, bx + 10 + LETTER_STEP * static_cast<float>(len), by + 10, "_", 24, CURSOR_GREY);
}

ShotFigure render_player_grid(const MinigameScreen& state, DrawList& out, const GridFlags& flags,
                              std::string_view compared) {
    ShotFigure shot;
    for_each_figure(state, [&](const GridFigure& figure) {
        bool is_shot = flags.shot_player_id != 0 && figure.id == flags.shot_player_id;
        if (flags.show_labels && !is_shot) render_player_label(out, figure, flags.viewer_id);
        ShotFigure drawn = render_robot_body_mask(state, out, figure, flags);
        if (is_shot) shot = drawn;
        if (flags.show_hands && !is_shot) render_hands(out, figure);
        if (flags.show_text_box) render_text_box(out, figure, flags.viewer_is_cop, compared);
        return false;
    });
    return shot;
}

} // namespace cog
