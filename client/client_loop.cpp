// The frame loop: events, the host's messages, the connection, one INPUT, drawing, pacing.
#include "client/client_loop.h"

#include "client/audio.h"
#include "client/client_events.h"
#include "client/client_state.h"
#include "client/game_window.h"
#include "client/picture.h"
#include "client/screenshot.h"
#include "client/sdl_canvas.h"

#include <SDL.h>

#include <cstdio>
#include <vector>

namespace cog::client {

namespace {

constexpr double FRAME_S = 1.0 / 60; // seconds per client frame
constexpr Color WAITING_BACKGROUND{20, 20, 30, 255};

double now_s() { return static_cast<double>(SDL_GetPerformanceCounter()) / static_cast<double>(SDL_GetPerformanceFrequency()); }

void read_host(ClientState& state, SoundOutput& sound, double now) {
    if (!state.connection.is_open()) return;
    std::vector<HostMessage> messages;
    state.connection.receive(messages);
    for (HostMessage& m : messages) handle_host_message(state.session, state.overlay, sound, std::move(m), now);
}

// After a lost connection: say so, and try again every second with the old id to get the seat back.
void keep_connected(ClientState& state, double now) {
    if (state.connection.is_open()) return;
    if (state.session.logged_in || state.overlay.status.empty()) {
        state.session.logged_in = false;
        state.overlay.status = "Connection to the host lost - reconnecting...";
    }
    if (now < state.next_connect_s) return;
    state.next_connect_s = now + RECONNECT_EVERY_S;
    if (state.connection.open(state.options.host, state.options.port, CONNECT_TIMEOUT_MS) == ConnectError::None)
        state.connection.send(login_message(state.options.name, state.session.client_id));
}

void send_input(ClientState& state) {
    // The snapshot is taken even when it cannot be sent, so stale edges never reach the host.
    const InputState input = take_snapshot(state.keys, state.mouse_world);
    if (state.connection.is_open()) state.connection.send(input_message(input));
}

void draw_waiting(Canvas& canvas) {
    canvas.fill_rect(0, 0, WORLD_W, WORLD_H, WAITING_BACKGROUND);
    canvas.text(470, 330, "Waiting for the host...", 32, {200, 200, 220, 255});
}

void draw_frame(GameWindow& window, const ClientState& state) {
    SDL_Renderer* renderer = window.renderer();
    int width = 0, height = 0;
    SDL_GetRendererOutputSize(renderer, &width, &height);
    const Viewport viewport = fit_world(width, height);
    SDL_RenderSetClipRect(renderer, nullptr);
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    // Sprites reaching past the world (the scrolling city, the flashlight) stay off the bars.
    const SDL_Rect world{static_cast<int>(viewport.offset_x), static_cast<int>(viewport.offset_y),
                         static_cast<int>(WORLD_W * viewport.scale + 0.5f), static_cast<int>(WORLD_H * viewport.scale + 0.5f)};
    SDL_RenderSetClipRect(renderer, &world);
    SdlCanvas canvas(renderer, window.sprites(), window.texts(), viewport);
    if (state.session.picture) {
        draw_picture(state.session.picture->message.commands, canvas);
    } else {
        draw_waiting(canvas);
    }
    draw_overlay(state.overlay, state.command_line, canvas);
    window.texts().end_frame();
}

void wait_for_next_frame(double frame_start) {
    const double left_s = frame_start + FRAME_S - now_s();
    if (left_s > 0.001) SDL_Delay(static_cast<Uint32>(left_s * 1000));
}

// F12: the picture as it stands, into the working directory, named after the player.
void save_requested_screenshot(ClientState& state, SDL_Renderer* renderer, double now) {
    if (!state.screenshot_requested) return;
    state.screenshot_requested = false;
    const std::string path = "cogwell-" + state.options.name + "-" + std::to_string(++state.screenshots_saved) + ".png";
    add_chat_line(state.overlay, save_screenshot(renderer, path) ? "Saved " + path : "Could not save " + path, now);
}

int play(ClientState& state, GameWindow& window, AudioPlayer& audio) {
    const double start = now_s();
    const bool wants_screenshot = !state.options.screenshot_path.empty();
    for (;;) {
        const double frame_start = now_s();
        state.drop_backquote_this_frame = false;
        SDL_Event event;
        while (SDL_PollEvent(&event)) handle_sdl_event(state, event, window.window(), window.renderer());
        if (state.quit) return 0;
        read_host(state, audio, frame_start);
        keep_connected(state, frame_start);
        send_input(state);
        drop_expired(state.overlay, frame_start);
        // A minimized window still plays (input, sound, the seat) but draws nothing.
        const bool hidden = (SDL_GetWindowFlags(window.window()) & SDL_WINDOW_MINIMIZED) != 0;
        if (hidden && !wants_screenshot) {
            wait_for_next_frame(frame_start);
            continue;
        }
        draw_frame(window, state);
        if (wants_screenshot && frame_start - start >= state.options.screenshot_after_s) {
            if (!save_screenshot(window.renderer(), state.options.screenshot_path)) {
                std::fprintf(stderr, "cogwell-client: cannot write the screenshot %s\n", state.options.screenshot_path.c_str());
                return 1;
            }
            if (!state.session.ever_logged_in) std::fprintf(stderr, "cogwell-client: never logged in\n");
            return state.session.ever_logged_in ? 0 : 1;
        }
        save_requested_screenshot(state, window.renderer(), frame_start);
        SDL_RenderPresent(window.renderer());
        wait_for_next_frame(frame_start);
    }
}

} // namespace

int run_client(const ClientOptions& options) {
    ClientState state;
    state.options = options;
    // The first connection is made before any window opens, so a wrong address fails at once.
    const ConnectError error = state.connection.open(options.host, options.port, 3000);
    if (error != ConnectError::None) {
        std::fprintf(stderr, "cogwell-client: cannot connect to %s:%u: %s\n", options.host.c_str(),
                     static_cast<unsigned>(options.port), connect_error_text(error));
        return 1;
    }
    state.connection.send(login_message(options.name, 0));
    std::string window_error;
    std::unique_ptr<GameWindow> window = GameWindow::open("Cogwell - " + options.name, window_error);
    if (!window) {
        std::fprintf(stderr, "cogwell-client: %s\n", window_error.c_str());
        return 1;
    }
    AudioPlayer audio;
    const int code = play(state, *window, audio);
    return code;
}

} // namespace cog::client
