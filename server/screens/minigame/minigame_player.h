// The per-screen player record of the typing minigames, its colours and its creation at entry.
#pragma once

#include "shared/platform/random.h"
#include "shared/protocol/messages.h"

#include <array>
#include <cstdint>
#include <map>
#include <string>

namespace cog {

inline constexpr int MAX_TYPED = 32; // letters a text box holds

inline constexpr std::array<Color, 8> PLAYER_COLORS{{
    {255, 100, 100, 255},
    {100, 255, 100, 255},
    {100, 100, 255, 255},
    {255, 255, 100, 255},
    {255, 100, 255, 255},
    {100, 255, 255, 255},
    {255, 165, 0, 255},
    {128, 0, 128, 255},
}};

// A bot's timing for the current stage.
struct BotPlan {
    float total_time = 0;                      // s over which the letters are spread (word_time / target_time)
    float wait_time = 0;                       // s of TYPING before the first letter (password only)
    std::array<float, MAX_TYPED> letter_times{}; // s since TYPING began, one per letter
    std::string answer;                        // the password this bot types (password only)
};

struct MinigamePlayer {
    std::array<char, MAX_TYPED> typed_text{};
    int typed_len = 0;            // 0..MAX_TYPED
    Color color{};
    bool next_hand_left = true;   // which hand the next key press moves
    float left_hand_offset = 0;   // px downwards
    float right_hand_offset = 0;  // px downwards
    float bob_phase = 0;          // radians
    float bob_speed = 0;          // radians per second of total_time
    BotPlan bot;
};

// The colour of the figure labelled `number` (its seat number): entry (number − 1) mod 8.
Color player_color(uint32_t number);

// A fresh record for a player entering the screen, coloured for the figure labelled `number`;
// draws bob_phase, then bob_speed.
MinigamePlayer make_minigame_player(uint32_t number, Random& random);

// Empties every text box for a new stage; the old bytes stay but are no longer shown.
void clear_typed_letters(std::map<uint32_t, MinigamePlayer>& players);

} // namespace cog
