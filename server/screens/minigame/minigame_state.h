// The state every minigame screen shares: players, phase, briefing, intro and shot fields.
#pragma once

#include "server/screens/minigame/minigame_player.h"
#include "server/screens/minigame/minigame_rules.h"
#include "server/screens/screen/screen.h"

#include <cstdint>
#include <map>

namespace cog {

enum class ShootingPhase : int64_t { FADING = 0, REVEAL_RESULT = 1 };

// Base of the minigames' state records; `global` comes from ScreenProcs and is set by init.
class MinigameScreen : public ScreenProcs {
public:
    explicit MinigameScreen(const MinigameRules& rules);

    const MinigameRules* rules;
    std::map<uint32_t, MinigamePlayer> players; // everybody who entered this screen
    int64_t phase = 0;           // the minigame's GamePhase
    float phase_timer = 0;       // s left in the current phase
    float total_time = 0;        // s since init
    float cop_intro_timer = 0;   // s left of the Overseer's briefing
    int cop_intro_stage = 0;     // 0 waiting, 1 lines, 2 "GET READY...", 3 over
    float intro_timer = 0;       // s left of the masked players' intro card
    std::map<uint32_t, bool> mouse_was_down; // mouse_left of each player's previous input
    ShootingPhase shot_stage = ShootingPhase::FADING;
    float shot_timer = 0;        // s left in the shot stage
    uint32_t shot_player_id = 0;
    bool shot_was_bot = false;
    bool shot_resolved = false;  // the shot's end has fired (verdict applied, transition returned)

    // The number the figure of `id` is labelled with: its seat number (the metro's robot fillers,
    // which have no seat, number themselves).
    virtual uint32_t figure_number(uint32_t id) const;

    void on_player_enter(uint32_t id) override;
    void on_player_leave(uint32_t id) override;
    void handle_input(uint32_t id, const InputState& input) override;
};

// Puts the shared fields back to their starting values (players emptied); init calls it.
void reset_minigame(MinigameScreen& state);

// The host's generator, for every draw after create (init has run, so `global` is set).
Random& minigame_random(const MinigameScreen& state);

// Adds or replaces the player's record.
void enter_minigame_player(MinigameScreen& state, uint32_t id);

// Removes the player from every per-player table.
void leave_minigame(MinigameScreen& state, uint32_t id);

// total_time, the briefing clock and the intro timer; the first steps of every update.
void advance_minigame_clocks(MinigameScreen& state, float dt);

bool viewer_is_dead(const MinigameScreen& state, uint32_t id);

} // namespace cog
