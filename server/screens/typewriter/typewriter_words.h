// The typing pool's word tiers and the draw of three words from a tier.
#pragma once

#include "shared/platform/random.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace cog::typewriter {

using WordTier = std::array<std::string_view, 10>;

inline constexpr WordTier WORDS_EASY{"CAT", "OBEY", "HOUSE", "DEBT", "BOAT", "DEATH", "SHOOT", "ANGER", "WAGE", "TREE"};
inline constexpr WordTier WORDS_MEDIUM{"DIVIDE",   "LAYOFFS",  "DISASTER", "CONTROL", "CONTRACT",
                                       "SUPERIOR", "THE",      "SLAVERY",  "COLONIZE", "SUBSUME"};
inline constexpr WordTier WORDS_HARD{"EVOLUTIONARY", "GESTALT", "GUIDANCE",      "SYSTEM", "AUTOMATION",
                                     "DISCONTINUE",  "EXPLOITATIVE", "RESTRUCTURING", "WORD", "SURVEILLANCE"};

// Appends three distinct words of the tier in random order (a partial shuffle, three draws).
void pick_random_words(std::vector<std::string>& words, const WordTier& tier, Random& random);

} // namespace cog::typewriter
