// Role reveal timing: deal at init, fade in, hold, then hand over to the game select.
#include "server/screens/role_reveal/role_reveal_state.h"

#include "server/profiler/profiler.h"
#include "server/screens/screen/screen_kinds.h"
#include "server/screens/screen/seats.h"
#include "shared/log/log.h"

namespace cog {

std::unique_ptr<ScreenProcs> create_role_reveal() { return std::make_unique<RoleRevealState>(); }

void RoleRevealState::init(GlobalState& g) {
    global = &g;
    elapsed = 0;
    phase = 0;
    fill_with_bots(g);
    // Seats are dealt to humans and robots alike: ids would show who logged in, humans first.
    if (g.random) deal_seats(g, *g.random);
    deal_roles(g);
    LOG_INFO("Role reveal initialized");
}

ScreenTransition RoleRevealState::update(float dt) {
    ProfileZone zone(global->profiler, "update");
    elapsed += dt;
    if (phase == 0) {
        if (elapsed >= FADE_SECONDS) {
            phase = 1;
            elapsed = 0;
            LOG_INFO("Fade complete, entering post-fade wait");
        }
    } else if (phase == 1) {
        if (elapsed >= HOLD_SECONDS) {
            phase = 2;
            LOG_INFO("Role reveal complete, transitioning to GAME_SELECT");
            return ScreenTransition::push(ScreenId::GAME_SELECT);
        }
    }
    return ScreenTransition::none();
}

} // namespace cog
