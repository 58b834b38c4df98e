// Which SDL keys and mouse buttons are which game keys.
#pragma once

#include "client/session/key_tracker.h"

#include <SDL.h>

namespace cog::client {

// GAME_KEY_COUNT for keys the host does not read.
GameKey game_key_for_keycode(SDL_Keycode key);
GameKey game_key_for_mouse_button(Uint8 button);
// F1 or the backquote key open and close the command line.
bool toggles_command_line(SDL_Keycode key);

} // namespace cog::client
