// Word choice for the typing pool.
#include "server/screens/typewriter/typewriter_words.h"

#include "server/screens/minigame/pick_three.h"

namespace cog::typewriter {

void pick_random_words(std::vector<std::string>& words, const WordTier& tier, Random& random) {
    for (size_t index : pick_three(tier.size(), random)) words.emplace_back(tier[index]);
}

} // namespace cog::typewriter
