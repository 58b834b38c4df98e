// Lobby picture: title, one row per listed player and the footer that says what happens next.
#include "server/screens/lobby/lobby_state.h"

#include "server/profiler/profiler.h"
#include "shared/types/draw.h"

namespace cog {

namespace {

constexpr Color BACKGROUND{20, 20, 30, 255};
constexpr Color ROW_IDLE{40, 40, 60, 255};
constexpr Color ROW_READY{40, 80, 40, 255};
constexpr Color LABEL_IDLE{200, 200, 200, 255};
constexpr Color READY_GREEN{100, 255, 100, 255};
constexpr float ROW_PITCH = 70; // world units between rows

void draw_player_row(DrawList& out, std::string_view label, bool ready, int row) {
    const float y = ROW_PITCH * static_cast<float>(row);
    draw_rect(out, 340, 200 + y, 600, 60, ready ? ROW_READY : ROW_IDLE);
    draw_text(out, 390, 212 + y, label, 24, ready ? READY_GREEN : LABEL_IDLE);
    if (ready) draw_text(out, 820, 212 + y, "Ready!", 24, READY_GREEN);
}

std::string_view draw_label(DrawList& out, const GlobalState& global, uint32_t id) {
    const std::string label = lobby_row_label(global, id);
    return draw_format(out, "%s", label.c_str());
}

// Texts centred by estimate: x = 640 - factor * byte length.
void draw_centred(DrawList& out, std::string_view text, float factor, float y, int size, Color color) {
    draw_text(out, 640 - factor * static_cast<float>(text.size()), y, text, size, color);
}

} // namespace

void LobbyState::render(uint32_t viewer_id, DrawList& out) {
    ProfileZone zone(global->profiler, "render");
    draw_rect(out, 0, 0, WORLD_WIDTH, WORLD_HEIGHT, BACKGROUND);
    draw_text_glow(out, {"WAITING FOR PLAYERS", 520, 120, 40, time_elapsed, WHITE, {100, 200, 255, 255}});

    // The map iterates in ascending id order, which is the row order. A row listed since the
    // last update (a join in this frame's input) has no made label yet and gets one here.
    int row = 0;
    for (const auto& [id, ready] : ready_players) {
        const size_t at = static_cast<size_t>(row);
        const bool made = at < row_labels.size() && row_labels[at].first == id;
        draw_player_row(out, made ? std::string_view(row_labels[at].second) : draw_label(out, *global, id), ready, row++);
    }

    auto viewer = ready_players.find(viewer_id);
    const bool viewer_ready = viewer != ready_players.end() && viewer->second;
    if (countdown_active) {
        draw_centred(out, draw_format(out, "Starting in %d...", static_cast<int>(countdown) + 1), 12, 570, 48,
                     {255, 255, 100, 255});
    } else if (time_elapsed >= INPUT_DELAY && viewer_ready) {
        draw_text(out, 462, 590, "waiting for other players...", 24, {200, 200, 100, 255});
    } else if (time_elapsed >= INPUT_DELAY) {
        draw_text(out, 456, 570, "Press SPACE key to start", 24, READY_GREEN);
    } else {
        draw_centred(out, draw_format(out, "Initializing lobby... %.1fs", INPUT_DELAY - time_elapsed), 6, 570, 24,
                     {150, 150, 150, 255});
    }
}

} // namespace cog
