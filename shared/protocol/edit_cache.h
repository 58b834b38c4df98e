// Edits already written this frame, by the hashes of a command's text before and after. Viewers
// mostly see the same figures move, so an edit is worked out once, from the two texts, and then
// copied for every other viewer; the earlier pictures' texts, long out of the cache, are read
// once rather than once per viewer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace cog {

class EditCache {
public:
    static constexpr uint32_t NOT_WORTH = UINT32_MAX; // the command is better sent whole

    // Forgets every edit; the storage is kept.
    void clear();
    // The edit from the command with hash `before` to the one with hash `now`: its index, or
    // NOT_WORTH, or nothing yet (false).
    bool find(uint64_t before, uint64_t now, uint32_t& edit) const;
    // Remembers the edit's text (or NOT_WORTH for an empty view) and returns its index.
    uint32_t add(uint64_t before, uint64_t now, std::string_view text, bool worth);
    std::string_view text(uint32_t edit) const;

private:
    struct Slot {
        uint64_t before = 0, now = 0;
        uint32_t edit = 0;       // index into edits_, or NOT_WORTH
        uint32_t generation = 0; // the slot is in use when this is the cache's current one
    };
    struct Span {
        uint32_t offset, length;
    };

    size_t slot_of(uint64_t before, uint64_t now) const;
    void grow();

    std::vector<Slot> slots_; // open addressing, a power of two, at most half full
    std::vector<Span> edits_;
    std::vector<char> texts_;
    size_t used_ = 0;
    uint32_t generation_ = 1;
};

} // namespace cog
