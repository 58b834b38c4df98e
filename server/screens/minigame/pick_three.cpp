// The partial shuffle that picks a minigame's words or questions.
#include "server/screens/minigame/pick_three.h"

#include <algorithm>
#include <numeric>
#include <utility>

namespace cog {

std::array<size_t, 3> pick_three(size_t count, Random& random) {
    std::array<size_t, 16> order{};
    count = std::clamp<size_t>(count, 3, order.size());
    std::iota(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(count), size_t{0});
    for (size_t i = 0; i < 3; ++i) {
        size_t swap_with = i + static_cast<size_t>(random.pick(static_cast<int>(count - i)));
        std::swap(order[i], order[std::min(swap_with, count - 1)]);
    }
    return {order[0], order[1], order[2]};
}

} // namespace cog
