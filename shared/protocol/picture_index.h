// Finds a command of a picture by the hash of its text: an open-addressing table over the
// picture's hashes, built once and kept with the picture for as long as changes refer to it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace cog {

class PictureIndex {
public:
    static constexpr uint32_t NOT_FOUND = UINT32_MAX;

    // Indexes these hashes, which must outlive the index; the table's storage is reused, so a
    // steady picture size allocates nothing.
    void build(std::span<const uint64_t> hashes);
    bool built() const { return built_; }
    // Nothing is indexed (the hashes are about to change).
    void clear() { built_ = false; }
    size_t size() const { return hashes_.size(); }
    uint64_t hash_at(size_t index) const { return hashes_[index]; }
    // The first command with this hash, or NOT_FOUND.
    uint32_t find(uint64_t hash) const;

private:
    std::span<const uint64_t> hashes_;
    std::vector<uint32_t> slots_; // open addressing: command index + 1, 0 for an empty slot
    bool built_ = false;
};

} // namespace cog
