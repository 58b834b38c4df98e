// The edit cache: linear probing over (before, now) pairs; a generation number empties it in
// one step each frame.
#include "shared/protocol/edit_cache.h"

#include <bit>

namespace cog {

void EditCache::clear() {
    edits_.clear();
    texts_.clear();
    used_ = 0;
    if (++generation_ == 0) { // after four billion frames, wipe the slots for real
        for (Slot& slot : slots_) slot.generation = 0;
        generation_ = 1;
    }
}

size_t EditCache::slot_of(uint64_t before, uint64_t now) const {
    const uint64_t mixed = before * 0x9E3779B97F4A7C15u ^ std::rotl(now, 31);
    return static_cast<size_t>(mixed >> 17) & (slots_.size() - 1);
}

bool EditCache::find(uint64_t before, uint64_t now, uint32_t& edit) const {
    if (slots_.empty()) return false;
    const size_t mask = slots_.size() - 1;
    for (size_t s = slot_of(before, now);; s = (s + 1) & mask) {
        const Slot& slot = slots_[s];
        if (slot.generation != generation_) return false;
        if (slot.before == before && slot.now == now) {
            edit = slot.edit;
            return true;
        }
    }
}

uint32_t EditCache::add(uint64_t before, uint64_t now, std::string_view text, bool worth) {
    if ((used_ + 1) * 2 > slots_.size()) grow();
    uint32_t edit = NOT_WORTH;
    if (worth) {
        edit = static_cast<uint32_t>(edits_.size());
        edits_.push_back({static_cast<uint32_t>(texts_.size()), static_cast<uint32_t>(text.size())});
        texts_.insert(texts_.end(), text.begin(), text.end());
    }
    const size_t mask = slots_.size() - 1;
    size_t s = slot_of(before, now);
    while (slots_[s].generation == generation_) s = (s + 1) & mask;
    slots_[s] = {before, now, edit, generation_};
    ++used_;
    return edit;
}

std::string_view EditCache::text(uint32_t edit) const {
    const Span span = edits_[edit];
    return std::string_view(texts_.data() + span.offset, span.length);
}

void EditCache::grow() {
    std::vector<Slot> old;
    old.swap(slots_);
    // Small to begin with: a frame's edits are mostly a few dozen, and a table that stays in the
    // cache is what makes each viewer's look-ups cheap; it doubles when a frame needs more.
    slots_.assign(old.empty() ? 64 : old.size() * 2, Slot{});
    const size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
        if (slot.generation != generation_) continue;
        size_t s = slot_of(slot.before, slot.now);
        while (slots_[s].generation == generation_) s = (s + 1) & mask;
        slots_[s] = slot;
    }
}

} // namespace cog
