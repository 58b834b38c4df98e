// Key and button mapping. Letters go by the typed letter (keycode), not the key's position, so
// that every keyboard layout types the letter printed on its key.
#include "client/window/sdl_keys.h"

namespace cog::client {

GameKey game_key_for_keycode(SDL_Keycode key) {
    if (key >= SDLK_a && key <= SDLK_z) return static_cast<GameKey>(key - SDLK_a);
    switch (key) {
    case SDLK_BACKSPACE: return KEY_BACKSPACE;
    case SDLK_UP: return KEY_UP;
    case SDLK_DOWN: return KEY_DOWN;
    case SDLK_LEFT: return KEY_LEFT;
    case SDLK_RIGHT: return KEY_RIGHT;
    case SDLK_SPACE: return KEY_SPACE;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return KEY_ENTER;
    case SDLK_LSHIFT: return KEY_LEFT_SHIFT;
    case SDLK_RSHIFT: return KEY_RIGHT_SHIFT;
    case SDLK_LCTRL: return KEY_LEFT_CTRL;
    case SDLK_RCTRL: return KEY_RIGHT_CTRL;
    case SDLK_ESCAPE: return KEY_ESCAPE;
    default: return GAME_KEY_COUNT;
    }
}

GameKey game_key_for_mouse_button(Uint8 button) {
    switch (button) {
    case SDL_BUTTON_LEFT: return MOUSE_LEFT;
    case SDL_BUTTON_RIGHT: return MOUSE_RIGHT;
    case SDL_BUTTON_MIDDLE: return MOUSE_MIDDLE;
    default: return GAME_KEY_COUNT;
    }
}

bool toggles_command_line(SDL_Keycode key) { return key == SDLK_F1 || key == SDLK_BACKQUOTE; }

} // namespace cog::client
