// A player's input to the metro: the masked players' arrows and the Overseer's shot.
#include "server/profiler/profiler.h"
#include "server/screens/metro/metro_aim.h"
#include "server/screens/minigame/minigame_input.h"
#include "server/screens/minigame/shooting.h"
#include "shared/log/console.h"

namespace cog::metro {

namespace {
void overseer_click(MetroState& state, const InputState& input) {
    console_printf("[METRO] COP click - phase: %s mouse: %g %g\n", phase_name(RULES, state.phase), input.mouse_x,
                   input.mouse_y);
    std::optional<uint32_t> target = passenger_at(state, input.mouse_x, input.mouse_y);
    if (!target) return;
    console_printf("[METRO] Shooting passenger: %u\n", *target);
    state.shot_fired = true;
    start_shot(state, *target, state.passengers.at(*target).is_bot);
}
} // namespace

void metro_handle_input(MetroState& state, uint32_t id, const InputState& input) {
    ProfileZone zone(state.global->profiler, "metro_handle_input");
    if (viewer_is_dead(state, id)) return;
    bool fresh_press = fresh_click(state, id, input.mouse_left);
    if (is_cop(*state.global, id)) {
        if (fresh_press && may_shoot(state, true)) overseer_click(state, input);
        return;
    }
    if (state.phase < SHOOTING) state.held_keys[id] = {input.left, input.right};
}

} // namespace cog::metro
