// The end screen: plays the winners' music, tells each human whether he won, then returns to the lobby.
#pragma once

#include "server/screens/screen/screen.h"

#include <string>

namespace cog {

class EndState final : public ScreenProcs {
public:
    static constexpr float FADE_SECONDS = 0.5f;
    static constexpr float RETURN_SECONDS = 7.0f;

    float fade = FADE_SECONDS;            // seconds of text fade-in left
    float return_timer = RETURN_SECONDS;  // seconds before the return to the lobby

    void init(GlobalState& g) override;
    void mount() override;
    ScreenTransition update(float dt) override;
    void render(uint32_t viewer_id, DrawList& out) override;
};

// Real (seated, human) players holding the MASKED role, split by whether they were shot.
struct MaskedTally {
    int total = 0;
    int living = 0;
    int dead = 0;
};

MaskedTally tally_real_masked(const GlobalState& global);

// What happened, one line each: "The Overseer was Ann.", then every shot in order, e.g.
// "Typing pool: Bob was shot — a HUMAN.", or "Nobody was shot."; empty outside a game (no
// Overseer, no shot).
std::string end_story(const GlobalState& global);

// The Overseer wins when no masked human lives; anyone else wins while he himself is alive.
bool viewer_won(const GlobalState& global, uint32_t viewer_id, const MaskedTally& tally);

} // namespace cog
