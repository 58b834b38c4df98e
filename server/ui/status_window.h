// The "Server" status window: an SDL window drawn with Dear ImGui, showing the host's state and
// the frame profile. It never paces the game: presentation does not wait for the display.
#pragma once

#include "server/ui/ui_render.h"
#include "shared/platform/clock.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace cog {

struct StatusView;

class StatusWindow {
public:
    static constexpr int WIDTH = 960;  // pixels at creation; also the off-screen target's size
    static constexpr int HEIGHT = 540;
    // The panels are redrawn this often, and at most this often while the operator is using the
    // window: a software renderer drawing them every game frame would cost more than the game.
    static constexpr int64_t IDLE_REDRAW_NS = 100'000'000;
    static constexpr int64_t ACTIVE_REDRAW_NS = 33'000'000;
    static constexpr int64_t ACTIVE_FOR_NS = 1'000'000'000; // after the last input event
    static constexpr int64_t OVERDUE_NS = 1'000'000'000;

    // nullptr when no display is available or the window cannot be created (logged).
    static std::unique_ptr<StatusWindow> open();
    ~StatusWindow();

    // Pumps window events into the UI; true once the window has been asked to close.
    bool poll_close_requested();
    // Whether the panels should be drawn again at `now_ns` (monotonic): ten times a second,
    // thirty while the operator is using the window, and only when the last drawing's cost
    // still fits before `frame_deadline_ns`, so that drawing never makes a game frame late
    // (a redraw held back for a whole second is drawn regardless).
    bool redraw_due(int64_t now_ns, int64_t frame_deadline_ns);
    // Builds the panels and presents them; returns what the operator asked for.
    UiActions draw(const StatusView& view, int64_t now_ns, Clock& clock);
    // Pixels of the off-screen target as last drawn, RGBA, row by row (for checks and captures).
    bool read_target(std::vector<uint8_t>& rgba, int& width, int& height);

    StatusWindow(const StatusWindow&) = delete;
    StatusWindow& operator=(const StatusWindow&) = delete;

private:
    StatusWindow() = default;
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// True when an X11 or Wayland display is named in the environment.
bool display_available();

} // namespace cog
