// What one viewer was last sent, kept to describe its next picture as a change: the hash of
// each command's text, and a table that finds the first command with a given hash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace cog {

class PictureMemory {
public:
    static constexpr uint32_t NOT_FOUND = UINT32_MAX;

    // Replaces what is kept; the storage is reused, so a steady picture size allocates nothing.
    void remember(std::span<const uint64_t> hashes);
    // Nothing is kept: the next picture goes whole.
    void forget() { held_ = false; }
    bool held() const { return held_; }
    size_t size() const { return hashes_.size(); }
    uint64_t hash_at(size_t index) const { return hashes_[index]; }
    // The first command with this hash, or NOT_FOUND.
    uint32_t find(uint64_t hash) const;

private:
    std::vector<uint64_t> hashes_;
    std::vector<uint32_t> slots_; // open addressing: command index + 1, 0 for an empty slot
    bool held_ = false;
};

} // namespace cog
