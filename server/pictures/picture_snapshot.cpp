// The pool of picture snapshots: a snapshot is free again when only the pool holds it.
#include "server/pictures/picture_snapshot.h"

namespace cog {

std::shared_ptr<PictureSnapshot> SnapshotPool::take() {
    for (size_t n = 0; n < all_.size(); ++n) {
        const size_t i = (next_ + n) % all_.size();
        if (all_[i].use_count() != 1) continue;
        next_ = i + 1;
        PictureSnapshot& s = *all_[i];
        s.frame.clear();
        s.starts.clear();
        s.error = ProtocolError::None;
        s.hashed = false;
        s.index.clear();
        return all_[i];
    }
    all_.push_back(std::make_shared<PictureSnapshot>());
    next_ = 0;
    return all_.back();
}

void SnapshotPool::trim() {
    constexpr size_t EXTRA_SPARE = 8;
    size_t held = 0;
    for (const auto& s : all_) held += s.use_count() > 1;
    size_t spare = 0;
    std::erase_if(all_, [&](const auto& s) { return s.use_count() == 1 && ++spare > held + EXTRA_SPARE; });
    next_ = 0;
}

} // namespace cog
