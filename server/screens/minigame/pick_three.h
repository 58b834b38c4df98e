// Three distinct indices in random order, drawn as the first three steps of a shuffle.
#pragma once

#include "shared/platform/random.h"

#include <array>
#include <cstddef>

namespace cog {

// For count >= 3 (at most 16): a = [0..count-1]; a[i] is swapped with a[i + int((count-i)*u)] for
// i = 0, 1, 2; returns a[0..2]. Three draws.
std::array<size_t, 3> pick_three(size_t count, Random& random);

} // namespace cog
