// Picture encoding with reuse of the previous viewer's text.
#include "server/main/picture_encoder.h"

#include <utility>

namespace cog {

namespace {
bool same_commands(const DrawList& a, const DrawList& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (!same_command(a[i], b[i])) return false;
    return true;
}
} // namespace

void PictureEncoder::begin_frame() { previous_list_.reset(); }

EncodedPicture PictureEncoder::encode(DrawList&& commands) {
    if (previous_list_ && same_commands(commands, *previous_list_))
        return last_picture();
    ServerMessage message{ServerMessageKind::DRAW_COMMANDS, Event{}, std::move(commands)};
    PictureText reference;
    if (previous_list_) {
        reference.commands = &*previous_list_;
        reference.text = std::string_view(previous_frame_.data() + 4, previous_frame_.size() - 4);
        reference.command_starts = previous_starts_;
    }
    current_frame_.resize(4); // the header's place; the storage is kept from frame to frame
    write_picture_json(current_frame_, message, previous_list_ ? &reference : nullptr, current_starts_);
    previous_error_ = finish_frame(current_frame_.data(), current_frame_.size());
    std::swap(previous_frame_, current_frame_);
    std::swap(previous_starts_, current_starts_);
    previous_list_.emplace(std::move(message.commands));
    return last_picture();
}

EncodedPicture PictureEncoder::last_picture() const {
    return {previous_error_, std::string_view(previous_frame_.data(), previous_frame_.size()), previous_frame_.size() - 4};
}

} // namespace cog
