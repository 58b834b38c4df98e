// Picture encoding with reuse of the previous viewer's text.
#include "server/pictures/picture_encoder.h"

#include <xxhash.h>

#include <utility>

namespace cog {

void PictureEncoder::begin_frame() { previous_list_.reset(); }

EncodedPicture PictureEncoder::encode(DrawList&& commands) {
    // Compared once: an equal picture is sent again as it is, and otherwise the writer copies
    // the shared beginning without comparing it again.
    const size_t shared = previous_list_ ? equal_prefix(commands, *previous_list_) : 0;
    if (previous_list_ && shared == commands.size() && shared == previous_list_->size()) return last_picture();
    ServerMessage message{ServerMessageKind::DRAW_COMMANDS, Event{}, std::move(commands)};
    PictureText reference;
    if (previous_list_) {
        reference.commands = &*previous_list_;
        reference.text = std::string_view(previous_frame_.data() + 4, previous_frame_.size() - 4);
        reference.command_starts = previous_starts_;
    }
    current_frame_.resize(4); // the header's place; the storage is kept from frame to frame
    write_picture_json(current_frame_, message, previous_list_ ? &reference : nullptr, current_starts_, shared);
    previous_error_ = finish_frame(current_frame_.data(), current_frame_.size());
    std::swap(previous_frame_, current_frame_);
    std::swap(previous_starts_, current_starts_);
    previous_list_.emplace(std::move(message.commands));
    hashes_ready_ = false;
    return last_picture();
}

std::span<const uint64_t> PictureEncoder::command_hashes() {
    if (hashes_ready_) return hashes_;
    const char* body = previous_frame_.data() + 4;
    const size_t count = previous_starts_.empty() ? 0 : previous_starts_.size() - 1;
    hashes_.resize(count);
    for (size_t m = 0; m < count; ++m) {
        // Each command's own bytes: up to the comma before the next one, or to the list's end.
        const uint32_t end = m + 1 < count ? previous_starts_[m + 1] - 1 : previous_starts_[m + 1];
        hashes_[m] = XXH3_64bits(body + previous_starts_[m], end - previous_starts_[m]);
    }
    hashes_ready_ = true;
    return hashes_;
}

EncodedPicture PictureEncoder::last_picture() const {
    return {previous_error_, std::string_view(previous_frame_.data(), previous_frame_.size()), previous_frame_.size() - 4,
            previous_starts_};
}

} // namespace cog
