// Event dispatch: while the command line is open it takes the keyboard; the mouse always goes on.
#include "client/window/client_events.h"

#include "client/window/sdl_keys.h"

#include <string_view>

namespace cog::client {

namespace {

void send_command(ClientState& state, const std::string& line, double now_s) {
    if (line.empty()) return;
    if (state.connection.is_open()) {
        state.connection.send(command_message(line));
    } else {
        add_chat_line(state.overlay, "Not connected: command not sent", now_s);
    }
}

void open_field(ClientState& state) {
    open_command_line(state.command_line);
    // Keys held now would stay down at the host while the field has the keyboard.
    release_all(state.keys);
    state.drop_backquote_this_frame = true;
}

void command_line_key(ClientState& state, SDL_Keycode key, double now_s) {
    if (key == SDLK_RETURN || key == SDLK_KP_ENTER) {
        const std::string line = submit_command_line(state.command_line);
        send_command(state, line, now_s);
    } else if (key == SDLK_ESCAPE || key == SDLK_F1) {
        close_command_line(state.command_line);
    } else if (key == SDLK_BACKSPACE) {
        erase_last_character(state.command_line);
    }
}

void key_event(ClientState& state, const SDL_KeyboardEvent& event, double now_s) {
    const SDL_Keycode key = event.keysym.sym;
    const bool down = event.type == SDL_KEYDOWN;
    if (down && !event.repeat && key == SDLK_F12) {
        state.screenshot_requested = true;
        return;
    }
    if (state.command_line.open) {
        if (down) command_line_key(state, key, now_s);
        return;
    }
    if (down && !event.repeat && toggles_command_line(key)) {
        open_field(state);
        return;
    }
    const GameKey game_key = game_key_for_keycode(key);
    if (game_key == GAME_KEY_COUNT) return;
    if (down) {
        key_down(state.keys, game_key);
    } else {
        key_up(state.keys, game_key);
    }
}

// Window coordinates are in points; the renderer may have more pixels (high-DPI screens).
Point mouse_in_world(int x, int y, SDL_Window* window, SDL_Renderer* renderer, WorldSize world) {
    WindowSizes sizes;
    if (window) SDL_GetWindowSize(window, &sizes.points_w, &sizes.points_h);
    if (renderer) SDL_GetRendererOutputSize(renderer, &sizes.pixels_w, &sizes.pixels_h);
    return pointer_to_world({static_cast<float>(x), static_cast<float>(y)}, sizes, world);
}

} // namespace

void handle_sdl_event(ClientState& state, const SDL_Event& event, SDL_Window* window, SDL_Renderer* renderer,
                      double now_s) {
    const WorldSize world = state.session.world;
    switch (event.type) {
    case SDL_QUIT: state.quit = true; break;
    case SDL_KEYDOWN:
    case SDL_KEYUP: key_event(state, event.key, now_s); break;
    case SDL_TEXTINPUT:
        if (state.drop_backquote_this_frame && std::string_view(event.text.text) == "`") {
            state.drop_backquote_this_frame = false;
            break;
        }
        if (state.command_line.open) type_into(state.command_line, event.text.text);
        break;
    case SDL_MOUSEMOTION: state.mouse_world = mouse_in_world(event.motion.x, event.motion.y, window, renderer, world); break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        state.mouse_world = mouse_in_world(event.button.x, event.button.y, window, renderer, world);
        const GameKey button = game_key_for_mouse_button(event.button.button);
        if (button == GAME_KEY_COUNT) break;
        if (event.type == SDL_MOUSEBUTTONDOWN) {
            key_down(state.keys, button);
        } else {
            key_up(state.keys, button);
        }
        break;
    }
    case SDL_WINDOWEVENT:
        // Keys released while another window has the focus never reach us.
        if (event.window.event == SDL_WINDOWEVENT_FOCUS_LOST) release_all(state.keys);
        break;
    default: break;
    }
}

} // namespace cog::client
