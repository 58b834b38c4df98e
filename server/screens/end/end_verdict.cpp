// Who won, judged per viewer.
#include "server/screens/end/end_state.h"

namespace cog {

MaskedTally tally_real_masked(const GlobalState& global) {
    MaskedTally tally;
    for (const auto& [id, player] : global.players) {
        if (!is_real_player(player)) continue;
        const PlayerRole* role = find_role(global, id);
        if (!role || *role != PlayerRole::MASKED) continue;
        ++tally.total;
        ++(player.is_dead ? tally.dead : tally.living);
    }
    return tally;
}

// A viewer without a role (joined after the deal) and without a record counts as alive: he wins.
bool viewer_won(const GlobalState& global, uint32_t viewer_id, const MaskedTally& tally) {
    if (is_cop(global, viewer_id)) return tally.living == 0;
    const PlayerConnection* viewer = find_player(global, viewer_id);
    return !(viewer && viewer->is_dead);
}

} // namespace cog
