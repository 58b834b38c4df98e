// Picture encoding with reuse of the previous viewer's text and hashes.
#include "server/pictures/picture_encoder.h"

#include <xxhash.h>

#include <algorithm>
#include <utility>

namespace cog {

void PictureEncoder::begin_frame() {
    previous_list_.reset();
    before_last_.reset();
    pool_.trim();
}

EncodedPicture PictureEncoder::encode(DrawList&& commands) {
    // Compared once: an equal picture is sent again as it is, and otherwise the writer copies
    // the shared beginning without comparing it again.
    const size_t shared = previous_list_ ? equal_prefix(commands, *previous_list_) : 0;
    if (previous_list_ && shared == commands.size() && shared == previous_list_->size()) return last_picture();
    ServerMessage message{ServerMessageKind::DRAW_COMMANDS, Event{}, std::move(commands)};
    PictureText reference;
    if (previous_list_) {
        reference.commands = &*previous_list_;
        reference.text = last_->body();
        reference.command_starts = last_->starts;
    }
    std::shared_ptr<PictureSnapshot> next = pool_.take();
    next->frame.resize(4); // the header's place; the storage is kept from frame to frame
    write_picture_json(next->frame, message, previous_list_ ? &reference : nullptr, next->starts, shared,
                       &next->copied);
    next->error = finish_frame(next->frame.data(), next->frame.size());
    before_last_ = previous_list_ ? std::move(last_) : nullptr;
    last_ = std::move(next);
    previous_list_.emplace(std::move(message.commands));
    return last_picture();
}

PictureSnapshot& PictureEncoder::hashed_picture() {
    PictureSnapshot& picture = *last_;
    if (picture.hashed) return picture;
    const WholePicture text{picture.body(), picture.starts, {}};
    const size_t count = text.size();
    picture.hashes.resize(count);
    // A command copied from the picture before has that picture's text there, so its hash.
    const bool reuse = before_last_ && before_last_->hashed;
    for (size_t m = 0; m < count; ++m) {
        if (reuse && picture.copied[m]) {
            picture.hashes[m] = before_last_->hashes[m];
            continue;
        }
        const std::string_view command = text.command(m);
        picture.hashes[m] = XXH3_64bits(command.data(), command.size());
    }
    picture.hashed = true;
    return picture;
}

EncodedPicture PictureEncoder::last_picture() const {
    return {last_->error, std::string_view(last_->frame.data(), last_->frame.size()), last_->frame.size() - 4,
            last_->starts, last_};
}

} // namespace cog
