// The game select: counts rounds, ends the game when it is over, otherwise rolls a die for the
// next minigame and launches it.
#pragma once

#include "server/screens/screen/screen.h"

#include <cstdint>

namespace cog {

class GameSelectState final : public ScreenProcs {
public:
    static constexpr float ROLL_SECONDS = 3.0f;
    static constexpr float SHOW_SECONDS = 2.0f;
    static constexpr float FLICKER_STEP = 0.1f; // seconds per die face while rolling
    static constexpr int64_t MAX_MINIGAMES = 5;

    int64_t phase = 0;        // 0 rolling, 1 showing the result, 2 minigame launched
    int32_t face = 1;         // die face shown, 1..3
    int32_t result = 1;       // face the roll ends on, 1..3
    float timer = 0;          // seconds left in the current phase
    int64_t player_count = 0; // seated players at the roll (logged only)
    float elapsed = 0;        // seconds since creation; never reset
    int32_t last_step = 0;    // last flicker step that changed the face
    bool game_over = false;   // the next update pushes the end screen
    float fade = 1.0f;        // seconds of fade from black left

    void init(GlobalState& g) override;
    void mount() override;
    ScreenTransition update(float dt) override;
    void render(uint32_t viewer_id, DrawList& out) override;

private:
    void set_up_roll();
    ScreenTransition update_rolling();
    ScreenTransition update_showing();
};

// Face 1..3 from the wall clock: its low 32 bits, unsigned, modulo 3, plus 1.
int32_t die_face_from_wall_ns(int64_t wall_ns);

} // namespace cog
