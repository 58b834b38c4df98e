// SDL events into the client's state: keys to the game or to the command line, the mouse, quitting.
#pragma once

#include "client/session/client_state.h"

#include <SDL.h>

namespace cog::client {

// `window` is needed to map the mouse from window pixels into the world; `now_s` is the client
// clock, for the notes shown over the picture.
void handle_sdl_event(ClientState& state, const SDL_Event& event, SDL_Window* window, SDL_Renderer* renderer,
                      double now_s);

} // namespace cog::client
