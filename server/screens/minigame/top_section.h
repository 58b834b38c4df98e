// Pieces of the top section both typing minigames draw: stage counter and phase countdowns.
#pragma once

#include "shared/protocol/messages.h"

namespace cog {

// "<noun> i/n" centred at the top, e.g. "Word 2/9".
void render_stage_counter(DrawList& out, const char* noun, int number, int count);

// "%ds" at the right, red in the last two seconds.
void render_typing_countdown(DrawList& out, float phase_timer);

// "Next <noun> in: %ds", centred.
void render_next_countdown(DrawList& out, const char* noun, float phase_timer);

} // namespace cog
