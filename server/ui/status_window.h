// The "Server" status window: an SDL window drawn with Dear ImGui, showing the host's state and
// the frame profile. It never paces the game: presentation does not wait for the display.
#pragma once

#include <memory>

namespace cog {

struct StatusView;

class StatusWindow {
public:
    static constexpr int WIDTH = 960;  // pixels at creation
    static constexpr int HEIGHT = 540;

    // nullptr when no display is available or the window cannot be created (logged).
    static std::unique_ptr<StatusWindow> open();
    ~StatusWindow();

    // Pumps window events into the UI; true once the window has been asked to close.
    bool poll_close_requested();
    // Builds the panels and presents them.
    void draw(const StatusView& view);

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
