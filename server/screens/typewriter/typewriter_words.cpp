// Word choice for the typing pool.
#include "server/screens/typewriter/typewriter_words.h"

#include <numeric>
#include <utility>

namespace cog::typewriter {

void pick_random_words(std::vector<std::string>& words, const WordTier& tier, Random& random) {
    std::array<size_t, 10> order{};
    std::iota(order.begin(), order.end(), size_t{0});
    for (size_t i = 0; i < 3; ++i) {
        size_t swap_with = i + static_cast<size_t>(random.pick(static_cast<int>(order.size() - i)));
        std::swap(order[i], order[swap_with]);
    }
    for (size_t i = 0; i < 3; ++i) words.emplace_back(tier[order[i]]);
}

} // namespace cog::typewriter
