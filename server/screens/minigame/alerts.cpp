// Alert frames drawn over the game view.
#include "server/screens/minigame/alerts.h"

#include "shared/types/draw.h"

namespace cog {

void render_alert_frame(DrawList& out, float thickness, Color color) {
    draw_rect(out, 0, 0, WORLD_WIDTH, thickness, color);
    draw_rect(out, 0, WORLD_HEIGHT - thickness, WORLD_WIDTH, thickness, color);
    draw_rect(out, 0, 0, thickness, WORLD_HEIGHT, color);
    draw_rect(out, WORLD_WIDTH - thickness, 0, thickness, WORLD_HEIGHT, color);
}

void render_cop_watching_alert(DrawList& out) {
    render_alert_frame(out, 3, {255, 50, 50, 255});
    draw_text(out, 430, 680, "Alert! The observer is watching you", 24, {255, 80, 80, 255});
}

void render_spectator_mode_alert(DrawList& out, SpectatorTextSizes sizes) {
    constexpr Color PURPLE{200, 150, 255, 255};
    render_alert_frame(out, 8, PURPLE);
    draw_text(out, 1030, 30, "SPECTATOR MODE", sizes.title, PURPLE);
    draw_text(out, 544, 680, "You have been eliminated", sizes.note, {150, 150, 150, 255});
}

} // namespace cog
