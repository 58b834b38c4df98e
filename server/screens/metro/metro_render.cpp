// What each viewer of the metro sees: the briefing, the practice card, the ride or the shot.
#include "server/profiler/profiler.h"
#include "server/screens/metro/metro_hud.h"
#include "server/screens/metro/metro_render.h"
#include "server/screens/metro/metro_render_shot.h"
#include "server/screens/metro/metro_scene.h"
#include "server/screens/minigame/alerts.h"
#include "server/screens/minigame/briefing.h"
#include "server/screens/minigame/minigame_view.h"
#include "shared/types/draw.h"

#include <array>

namespace cog::metro {

namespace {
constexpr std::array<std::string_view, 2> PRACTICE_LINES{
    "Press Left or Right to keep your balance.",
    "Don't fall over, or the Overseer will notice!",
};
constexpr int HURRY_BELOW = 3; // "Starting in" turns red below this many seconds

float centred_x(std::string_view text, float char_width) {
    return (static_cast<float>(WORLD_WIDTH) - char_width * static_cast<float>(text.size())) / 2;
}

void render_practice_texts(const MetroState& state, DrawList& out) {
    for (size_t i = 0; i < PRACTICE_LINES.size(); ++i) {
        std::string_view line = PRACTICE_LINES[i];
        draw_text(out, centred_x(line, 11), 80 + 35 * static_cast<float>(i), line, 26, {100, 255, 200, 255});
    }
    int seconds = static_cast<int>(state.intro_timer) + 1;
    std::string_view countdown = draw_format(out, "Starting in %d...", seconds);
    Color color = seconds < HURRY_BELOW ? Color{255, 50, 50, 255} : Color{255, 200, 100, 255};
    draw_text(out, centred_x(countdown, 12), 180, countdown, 32, color);
    draw_text(out, 575, 220, "PRACTICE MODE", 20, {200, 200, 200, 255});
}

// The car with its riders, seen by everyone during the practice and the ride.
void render_car_scene(const MetroState& state, DrawList& out, uint32_t viewer_id) {
    render_passengers(state, out);
    render_car(out);
    render_passenger_labels(state, out, viewer_id);
}

void render_ride(const MetroState& state, DrawList& out, uint32_t viewer_id, bool viewer_is_cop) {
    render_scrolling_background(state, out);
    if (viewer_is_cop) {
        render_observer_texts(out);
    } else {
        render_balance_prompt(state, out);
        render_ride_clocks(state, out);
        // A spectator is watched by nobody; its purple frame and texts take the same places.
        if (!viewer_is_dead(state, viewer_id)) render_watched_frame(state, out);
    }
    render_car_scene(state, out, viewer_id);
    if (viewer_is_cop) render_gun_sight(*state.global, viewer_id, out);
}
} // namespace

void render_intro_masked(const MetroState& state, DrawList& out, uint32_t viewer_id) {
    draw_rect(out, 0, 0, WORLD_WIDTH, WORLD_HEIGHT, {25, 25, 35, 255});
    render_scrolling_background(state, out);
    render_car_scene(state, out, viewer_id);
    render_practice_texts(state, out);
}

void metro_render(const MetroState& state, uint32_t viewer_id, DrawList& out) {
    ProfileZone zone(state.global->profiler, "metro_render");
    bool viewer_is_cop = is_cop(*state.global, viewer_id);
    if (viewer_is_cop && briefing_card_showing(state)) {
        render_intro_cop(state, out);
        return;
    }
    if (!viewer_is_cop && state.intro_timer > 0) {
        render_intro_masked(state, out, viewer_id);
    } else if (state.phase == SHOOTING) {
        render_shooting(state, out);
    } else {
        render_ride(state, out, viewer_id, viewer_is_cop);
    }
    // Last, so that the background and the car, which cover the whole picture, do not hide it.
    if (viewer_is_dead(state, viewer_id)) render_spectator_mode_alert(out);
}

} // namespace cog::metro
