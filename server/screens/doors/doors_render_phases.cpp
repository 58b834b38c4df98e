// The picture of each playing phase: its texts and frames, then the buttons and the figures.
#include "server/screens/doors/doors_render.h"
#include "server/screens/minigame/alerts.h"
#include "shared/types/draw.h"

namespace cog::doors {

namespace {
constexpr Color WATCH_GREEN{100, 255, 200, 255};

void render_overseer_header(DrawList& out, const char* title) {
    draw_text(out, 1080, 30, title, 20, BLUE);
    draw_text(out, 1060, 55, "Click a player to shoot", 16, GREY);
}
} // namespace

void render_game_start(const DoorsState& state, uint32_t viewer_id, DrawList& out) {
    if (!state.watching_warning) {
        draw_text(out, 442, 50, "Watch the first robot's timing...", 28, WATCH_GREEN);
    } else {
        draw_text(out, 437.5f, 50, "THE OVERSEER IS WATCHING...", 36, RED);
        render_alert_frame(out, 4, RED);
    }
    render_cell_buttons(state, out);
    render_players(state, viewer_id, out);
}

void render_active(const DoorsState& state, uint32_t viewer_id, bool viewer_is_cop, DrawList& out) {
    if (viewer_is_cop) {
        render_overseer_header(out, "OBSERVER MODE");
    } else {
        render_alert_frame(out, 3, RED);
        draw_text(out, 430, 680, "Alert! The overseer is watching you", 24, ALERT_RED);
    }
    render_cell_buttons(state, out);
    render_players(state, viewer_id, out);
}

// No buttons: everybody is through the doors.
void render_judgement(const DoorsState& state, uint32_t viewer_id, bool viewer_is_cop, DrawList& out) {
    if (viewer_is_cop) {
        render_overseer_header(out, "JUDGEMENT TIME");
        draw_text(out, 1080, 80, draw_format(out, "Time left: %d", static_cast<int>(state.phase_timer)), 16, GREY);
    } else {
        draw_text(out, 352, 680, "Judgement Day! Stay still and hope for the best.", 24, ALERT_RED);
    }
    render_players(state, viewer_id, out);
}

void render_game_over(const DoorsState& state, uint32_t viewer_id, DrawList& out) {
    render_cell_buttons(state, out);
    render_players(state, viewer_id, out);
    if (all_players_finished(state)) {
        draw_text(out, 490, 320, "ALL PLAYERS ESCAPED!", 50, GREEN);
    } else {
        draw_text(out, 430, 320, "COP WINS - HUMANS ELIMINATED", 50, RED);
    }
}

} // namespace cog::doors
