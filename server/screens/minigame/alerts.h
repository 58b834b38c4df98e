// The two full-screen frames: the Overseer is watching (red) and spectator mode (purple).
#pragma once

#include "shared/protocol/messages.h"

namespace cog {

void render_cop_watching_alert(DrawList& out);
void render_spectator_mode_alert(DrawList& out);

} // namespace cog
