// The bots' typing: a jittered letter schedule per stage and one due letter per update.
#pragma once

#include "server/screens/minigame/minigame_player.h"
#include "server/screens/screen/global_state.h"

#include <string_view>

namespace cog {

inline constexpr float MIN_LETTER_GAP = 0.05f; // s
inline constexpr float LETTER_JITTER = 0.4f;   // fraction of the mean gap, either way

// A bot seat: is_bot set and not the Overseer.
bool is_typing_bot(const GlobalState& global, uint32_t id);

// Spreads min(letters, 32) letters over about `total_time` seconds: gaps of mean total/n,
// jittered, never below MIN_LETTER_GAP, stored as running sums. Draws one u per letter.
void plan_letter_times(BotPlan& plan, float total_time, size_t letters, Random& random);

// Types target[typed_len] when its scheduled time is at most `elapsed` (seconds since TYPING
// began); at most one letter. Returns whether a letter was typed.
bool type_due_letter(MinigamePlayer& player, std::string_view target, float elapsed);

} // namespace cog
