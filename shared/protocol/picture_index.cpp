// The hash table of a picture's commands: linear probing over a power-of-two array.
#include "shared/protocol/picture_index.h"

#include <algorithm>
#include <bit>

namespace cog {

void PictureIndex::build(std::span<const uint64_t> hashes) {
    hashes_ = hashes;
    // At most half full, so a probe ends after a step or two.
    const size_t capacity = std::bit_ceil(std::max<size_t>(16, hashes.size() * 2));
    slots_.assign(capacity, 0);
    const size_t mask = capacity - 1;
    for (size_t i = 0; i < hashes_.size(); ++i) {
        for (size_t s = hashes_[i] & mask;; s = (s + 1) & mask) {
            if (slots_[s] == 0) {
                slots_[s] = static_cast<uint32_t>(i + 1);
                break;
            }
            if (hashes_[slots_[s] - 1] == hashes_[i]) break; // the first one stays
        }
    }
    built_ = true;
}

uint32_t PictureIndex::find(uint64_t hash) const {
    if (slots_.empty()) return NOT_FOUND;
    const size_t mask = slots_.size() - 1;
    for (size_t s = hash & mask;; s = (s + 1) & mask) {
        if (slots_[s] == 0) return NOT_FOUND;
        if (hashes_[slots_[s] - 1] == hash) return slots_[s] - 1;
    }
}

} // namespace cog
