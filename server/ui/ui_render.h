// The two panels of the status window: "Server State" and "Profiler".
#pragma once

namespace cog {

struct StatusView;

struct UiState {
    bool laid_out = false; // panels get their initial place once, from the window size then
};

// What the operator asked for in this frame's panels.
struct UiActions {
    bool reset_profiler = false; // "Reset Profiler" clicked: clear the all-time maxima
};

// Builds both panels for this frame (between the UI's frame begin and end).
UiActions ui_render(UiState& ui, const StatusView& view, int window_width, int window_height);

} // namespace cog
