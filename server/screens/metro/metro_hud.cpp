// Drawing of the ride's texts and frames.
#include "server/screens/metro/metro_hud.h"

#include "server/screens/metro/metro_timeline.h"
#include "server/screens/minigame/alerts.h"
#include "shared/types/draw.h"

#include <algorithm>

namespace cog::metro {

namespace {
constexpr Color GREY{200, 200, 200, 255};
constexpr Color RED{255, 50, 50, 255};
constexpr int LAST_SECONDS = 6; // "Ends in" turns red below this many seconds

struct Prompt {
    std::string_view text;
    Color color;
};

Prompt prompt_for(MetroEventKind kind) {
    constexpr Color PUSH_GREEN{100, 255, 100, 255};
    switch (kind) {
    case MetroEventKind::PRESS_RIGHT: return {">> PRESS RIGHT >>", PUSH_GREEN};
    case MetroEventKind::PRESS_LEFT: return {"<< PRESS LEFT <<", PUSH_GREEN};
    case MetroEventKind::DO_NOTHING: break;
    }
    return {"|| DO NOTHING ||", {255, 255, 100, 255}};
}

// x at which a text of `text`'s length is centred, by an estimated width per byte.
float centred_x(std::string_view text, float char_width) {
    return (static_cast<float>(WORLD_WIDTH) - char_width * static_cast<float>(text.size())) / 2;
}

int seconds_left(float remaining) { return std::max(0, static_cast<int>(remaining) + 1); }
} // namespace

void render_observer_texts(DrawList& out) {
    draw_text(out, 1080, 30, "OBSERVER MODE", 20, {100, 200, 255, 255});
    draw_text(out, 1030, 55, "Click a passenger to shoot", 16, GREY);
}

void render_balance_prompt(const MetroState& state, DrawList& out) {
    Prompt prompt = prompt_for(kind_or_nothing(event_at(state, state.ride_time)));
    draw_text(out, centred_x(prompt.text, 12), 30, prompt.text, 20, prompt.color);
}

void render_ride_clocks(const MetroState& state, DrawList& out) {
    std::string_view time = draw_format(out, "Time: %.1f / 60.0s", static_cast<double>(state.ride_time));
    draw_text(out, centred_x(time, 10), 55, time, 16, GREY);
    int left = seconds_left(state.ride_remaining);
    std::string_view ends = draw_format(out, "Ends in: %d", left);
    draw_text(out, centred_x(ends, 10), 75, ends, 16, left < LAST_SECONDS ? RED : Color{255, 200, 100, 255});
}

void render_watched_frame(const MetroState& state, DrawList& out) {
    if (state.phase != GAMEPLAY_VISIBLE) return;
    render_alert_frame(out, 3, RED);
    draw_text(out, 496, 680, "THE OVERSEER IS WATCHING", 24, {255, 80, 80, 255});
}

} // namespace cog::metro
