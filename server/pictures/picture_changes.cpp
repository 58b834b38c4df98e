// Choosing between a change and the whole picture, per connection.
#include "server/pictures/picture_changes.h"

namespace cog {

namespace {
// The same connection, not merely one at the same address: a weak reference keeps its identity.
bool same_channel(const std::weak_ptr<web::WebChannel>& kept, const std::shared_ptr<web::WebChannel>& now) {
    return !kept.expired() && !kept.owner_before(now) && !now.owner_before(kept);
}
} // namespace

std::string_view PictureChanges::frame_for(uint32_t id, const std::shared_ptr<web::WebChannel>& channel,
                                           uint64_t screen, const EncodedPicture& picture, PictureEncoder& encoder) {
    Viewer& viewer = viewers_[id];
    // Hashed whichever way it goes: it is the base of this viewer's next change.
    PictureSnapshot& now = encoder.hashed_picture();
    std::string_view frame;
    if (viewer.sent && viewer.screen == screen && same_channel(viewer.channel, channel)) {
        PictureSnapshot& before = *viewer.sent;
        if (!reusable_for(before, now)) {
            made_from_.reset();
            made_for_.reset();
            change_.assign(4, 0); // the header's place
            ++changes_written_;
            if (write_picture_change(change_, before.whole(), before.indexed(), now.whole(), scratch_) &&
                finish_frame(change_.data(), change_.size()) == ProtocolError::None) {
                made_from_ = viewer.sent;
                made_for_ = picture.snapshot;
            }
        }
        // Smaller than this viewer's own whole picture, too.
        if (made_for_ && change_.size() < 4 + picture.body_bytes)
            frame = std::string_view(change_.data(), change_.size());
    }
    viewer.channel = channel;
    viewer.screen = screen;
    viewer.sent = picture.snapshot;
    last_was_change_ = !frame.empty();
    return frame.empty() ? encoder.whole_frame().frame : frame;
}

bool PictureChanges::reusable_for(const PictureSnapshot& before, const PictureSnapshot& now) const {
    return made_for_ && change_also_serves(scratch_, made_from_->whole(), made_for_->whole(), before.whole(), now.whole());
}

void PictureChanges::forget(uint32_t id) {
    const auto it = viewers_.find(id);
    if (it != viewers_.end()) it->second.sent.reset();
}

void PictureChanges::end_frame(const std::map<uint32_t, ClientSocket>& sockets) {
    scratch_.cache.clear();
    for (auto it = viewers_.begin(); it != viewers_.end();) {
        if (sockets.contains(it->first)) ++it;
        else it = viewers_.erase(it);
    }
}

} // namespace cog
