// The frame loop: events, the host's messages, the connection, one INPUT, drawing, pacing.
#include "client/window/client_loop.h"

#include "client/net/web_transport.h"
#include "client/session/client_state.h"
#include "client/session/connection_keeper.h"
#include "client/sound/audio.h"
#include "client/window/client_events.h"
#include "client/window/frame_drawing.h"
#include "client/window/frame_pacer.h"
#include "client/window/game_window.h"
#include "client/window/screenshot.h"

#include <SDL.h>

#include <cstdio>

namespace cog::client {

namespace {

constexpr int START_CONNECT_TIMEOUT_MS = 3000; // before the window opens, waiting is fine

double seconds(Clock& clock) { return static_cast<double>(clock.monotonic_ns()) / 1e9; }

void read_host(ClientState& state, SoundOutput& sound, double now) {
    if (!state.connection.is_open()) return;
    state.reader.read_frame(state.connection, state.session, state.overlay, sound, now);
}

void draw(GameWindow& window, const ClientState& state) {
    FrameScene scene;
    scene.picture = state.reader.picture();
    scene.has_picture = state.reader.has_picture();
    scene.overlay = &state.overlay;
    scene.command_line = &state.command_line;
    scene.world = state.session.world;
    draw_frame(window.renderer(), window.sprites(), window.texts(), scene);
}

// F12: the picture as it stands, into the working directory, named after the player.
void save_requested_screenshot(ClientState& state, SDL_Renderer* renderer, double now) {
    if (!state.screenshot_requested) return;
    state.screenshot_requested = false;
    const std::string path = "cogwell-" + state.options.name + "-" + std::to_string(++state.screenshots_saved) + ".png";
    add_chat_line(state.overlay, save_screenshot(renderer, path) ? "Saved " + path : "Could not save " + path, now);
}

int play(ClientState& state, GameWindow& window, AudioPlayer& audio, Clock& clock) {
    const double start = seconds(clock);
    const bool wants_screenshot = !state.options.screenshot_path.empty();
    FramePacer pacer(clock);
    for (;;) {
        const double frame_start = seconds(clock);
        state.drop_backquote_this_frame = false;
        SDL_Event event;
        while (SDL_PollEvent(&event)) handle_sdl_event(state, event, window.window(), window.renderer(), frame_start);
        if (state.quit) return 0;
        read_host(state, audio, frame_start);
        keep_connected(state, frame_start);
        send_input(state, frame_start);
        update_status(state, frame_start);
        drop_expired(state.overlay, frame_start);
        // A minimized window still plays (input, sound, the seat) but draws nothing.
        const bool hidden = (SDL_GetWindowFlags(window.window()) & SDL_WINDOW_MINIMIZED) != 0;
        if (hidden && !wants_screenshot) {
            pacer.wait(HOST_FRAME_NS);
            continue;
        }
        draw(window, state);
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
        pacer.wait(frame_period_ns(window.has_vsync(), window.refresh_hz()));
    }
}

} // namespace

int run_client(const ClientOptions& options, Clock& clock) {
    ClientState state;
    state.options = options;
    // The name is looked up and the first connection made before any window opens, so a wrong
    // address fails at once; reconnections reuse the address and never wait.
    state.host_address.transport = options.transport;
    state.host_address.tls = options.tls;
    state.host_address.insecure = options.insecure;
    state.host_address.room = options.room;
    ConnectError error = resolve_host(options.host, options.port, state.host_address);
    if (error == ConnectError::None) error = state.connection.open(state.host_address, START_CONNECT_TIMEOUT_MS);
    if (error != ConnectError::None) {
        const char* scheme = options.transport != TransportKind::WebSocket ? "" : options.tls ? "wss://" : "ws://";
        std::fprintf(stderr, "cogwell-client: cannot connect to %s%s:%u%s: %s\n", scheme, options.host.c_str(),
                     static_cast<unsigned>(options.port),
                     options.transport == TransportKind::WebSocket ? web_play_path(options.room).c_str() : "",
                     connect_error_text(error));
        return 1;
    }
    log_in(state, seconds(clock));
    std::string window_error;
    std::unique_ptr<GameWindow> window = GameWindow::open("Cogwell - " + options.name, window_error);
    if (!window) {
        std::fprintf(stderr, "cogwell-client: %s\n", window_error.c_str());
        return 1;
    }
    AudioPlayer audio;
    return play(state, *window, audio, clock);
}

} // namespace cog::client
