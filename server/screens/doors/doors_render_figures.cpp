// The door cells' buttons and the workers: labels, standing bodies, masks, hands and status texts.
#include "server/screens/doors/doors_render.h"
#include "server/screens/screen/seats.h"
#include "shared/log/console.h"
#include "shared/types/draw.h"

#include <array>
#include <charconv>

namespace cog::doors {

namespace {
constexpr Color OWN_LABEL{255, 255, 100, 255};
constexpr Color WAITING_GREY{150, 150, 150, 255};
constexpr float BUTTON_LEFT = 220;  // px, x of cell 0's buttons
constexpr float BUTTON_TOP = 60;    // px, y of row 0's top button
constexpr float BUTTON_STEP = 70;   // px between a cell's buttons
constexpr float BUTTON_SIZE = 180;  // px
constexpr float CELL_STEP = 240;    // px
constexpr float ROW_STEP = 330;     // px
constexpr float FIGURE_SIZE = 200;  // px
constexpr float MASK_SIZE = 160;    // px
constexpr float HAND_SIZE = 320;    // px
constexpr float HAND_STEP = 70;     // px per button unit of hand_pos
constexpr float SHOT_FIGURE_SCALE = 0.78125f;

// The press a cell shows: the first player of that row and cell with a press running.
int64_t shown_press(const DoorsState& state, int64_t row, int64_t cell) {
    for (const auto& [id, p] : state.players) {
        if (p.row != row || p.stage != cell) continue;
        if (p.has_pressed) return p.pressed_button;
        if (p.is_animating) return button_under_hand(p.hand_pos);
    }
    return -1;
}

// Shortest text that reads back as the same float, as the console lines want it.
struct FloatText {
    std::array<char, 32> bytes{};
    explicit FloatText(float value) { *std::to_chars(bytes.data(), bytes.data() + bytes.size() - 1, value).ptr = 0; }
    const char* c_str() const { return bytes.data(); }
};

void print_figure_line(const char* kind, uint32_t id, const DoorsPlayer& p, Position at) {
    console_printf("[DOORS SHOOTING] %s %u player_x: %s player_y: %s stage: %lld row: %lld is_animating: %s\n", kind,
                   id, FloatText(at.x).c_str(), FloatText(at.y).c_str(), static_cast<long long>(p.stage),
                   static_cast<long long>(p.row), p.is_animating ? "true" : "false");
}

void render_player_label(const DoorsState& state, DrawList& out, uint32_t id, uint32_t viewer_id, Position at) {
    bool own = id == viewer_id;
    std::string_view label = own ? std::string_view("YOU") : draw_format(out, "P%u", state.figure_number(id));
    draw_text(out, at.x + 100 - 8 * static_cast<float>(label.size()), at.y - 25, label, 16, own ? OWN_LABEL : GREY);
}

void render_shot_figure(const DoorsState& state, DrawList& out, Position at) {
    AssetId body = state.shot_was_bot ? AssetId::ROBOT_SHOT_STANDING : AssetId::HUMAN_SHOT_STANDING;
    draw_sprite_pro(out, body, at.x + 100, at.y + 200, WHITE, 0, SHOT_FIGURE_SCALE, SHOT_FIGURE_SCALE, false, false);
}

void render_standing_robot(const DoorsState& state, DrawList& out, uint32_t id, const DoorsPlayer& p, Position at) {
    AssetId body = p.stage < FINISHED ? AssetId::STANDING_NO_ARM : AssetId::STANDING_WITH_ARM;
    draw_sprite(out, body, at.x, at.y, FIGURE_SIZE, FIGURE_SIZE, WHITE);
    draw_sprite(out, doors_mask(state, id), at.x + 20, at.y - 20, MASK_SIZE, MASK_SIZE, WHITE);
}

void render_hand(DrawList& out, const DoorsPlayer& p, Position at) {
    if (p.stage >= FINISHED || p.has_pressed) return;
    draw_sprite(out, AssetId::POINTING_HAND, at.x - 60, at.y - 130 + HAND_STEP * p.hand_pos, HAND_SIZE, HAND_SIZE, WHITE);
}

void show_combo_progress(DrawList& out, const DoorsPlayer& p, Position at) {
    if (p.stage >= FINISHED) return;
    std::string_view text = p.is_correct ? "DONE" : p.is_active ? "ACTIVE" : "WAITING";
    Color color = p.is_correct ? GREEN : p.is_active ? OWN_LABEL : WAITING_GREY;
    draw_text(out, at.x + 100 - 8 * static_cast<float>(text.size()), at.y + 220, text, 16, color);
}

bool is_shot_figure(const DoorsState& state, uint32_t id) { return state.phase == SHOOTING && id == state.shot_player_id; }

void render_figure(const DoorsState& state, uint32_t viewer_id, DrawList& out, uint32_t id, const DoorsPlayer& p) {
    Position at = player_position(p);
    render_player_label(state, out, id, viewer_id, at);
    if (is_shot_figure(state, id)) {
        print_figure_line("shot_player_id:", id, p, at);
        render_shot_figure(state, out, at);
    } else {
        if (id != state.shot_player_id) print_figure_line("normal_player:", id, p, at);
        render_standing_robot(state, out, id, p, at);
    }
    render_hand(out, p, at);
    if (id == viewer_id) show_combo_progress(out, p, at);
    if (p.stage >= FINISHED) draw_text(out, at.x + 85, at.y + 205, "SAFE", 14, GREEN);
}
} // namespace

AssetId doors_mask(const DoorsState& state, uint32_t id) {
    // This minigame has seven mask pictures: the eighth mask shows as the first.
    return mask_asset(static_cast<uint32_t>(worn_mask(*state.global, id)) % 7u);
}

void render_cell_buttons(const DoorsState& state, DrawList& out) {
    for (int64_t row = 0; row < ROW_COUNT; ++row) {
        for (int64_t cell = 0; cell < CELL_COUNT; ++cell) {
            int64_t pressed = shown_press(state, row, cell);
            float x = BUTTON_LEFT + CELL_STEP * static_cast<float>(cell);
            for (int64_t button = 0; button < CELL_COUNT; ++button) {
                float y = BUTTON_TOP + ROW_STEP * static_cast<float>(row) + BUTTON_STEP * static_cast<float>(button);
                AssetId sprite = button == pressed ? AssetId::BUTTON_PRESSED : AssetId::BUTTON_NORMAL;
                draw_sprite(out, sprite, x, y, BUTTON_SIZE, BUTTON_SIZE, WHITE);
            }
        }
    }
}

void render_players(const DoorsState& state, uint32_t viewer_id, DrawList& out) {
    for (uint32_t id : ids_in_seat_order(*state.global, state.players)) {
        const DoorsPlayer& p = state.players.at(id);
        if (p.stage < 0 || is_overseer(state, id)) continue;
        if (is_dead_player(state, id) && !is_shot_figure(state, id)) continue;
        render_figure(state, viewer_id, out, id, p);
    }
}

} // namespace cog::doors
