// The two full-screen frames: the Overseer is watching (red) and spectator mode (purple).
#pragma once

#include "shared/protocol/messages.h"

namespace cog {

// Font sizes of the spectator texts; some minigames draw them one step smaller.
struct SpectatorTextSizes {
    int title = 24; // "SPECTATOR MODE"
    int note = 20;  // "You have been eliminated"
};

// Four bars of `thickness` px along the picture's edges.
void render_alert_frame(DrawList& out, float thickness, Color color);

void render_cop_watching_alert(DrawList& out);
void render_spectator_mode_alert(DrawList& out, SpectatorTextSizes sizes = {});

} // namespace cog
