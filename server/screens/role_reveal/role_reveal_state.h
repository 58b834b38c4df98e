// The role reveal: fills the table with bots, deals the roles and shows each human his own.
#pragma once

#include "server/screens/screen/screen.h"

#include <cstdint>
#include <vector>

namespace cog {

class RoleRevealState final : public ScreenProcs {
public:
    static constexpr int MAX_SEATS = 9;
    static constexpr float FADE_SECONDS = 3.0f;
    static constexpr float HOLD_SECONDS = 5.0f;

    float elapsed = 0; // seconds in the current phase
    int64_t phase = 0; // 0 fading in, 1 holding, 2 done

    void init(GlobalState& g) override;
    ScreenTransition update(float dt) override;
    void render(uint32_t viewer_id, DrawList& out) override;
};

// Seats bots until MAX_SEATS players are seated; each takes the next id after the largest known.
void fill_with_bots(GlobalState& global);

// Exactly one real player becomes COP, every other real player MASKED; the choice depends only on
// the ids and their order.
void deal_roles(GlobalState& global);

// The in-place exchange walk that decides the order of `real_ids`; the last id becomes the Overseer.
void permute_real_players(std::vector<uint32_t>& real_ids);

} // namespace cog
