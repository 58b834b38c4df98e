// Picture encoding with reuse of the previous viewer's commands and hashes.
#include "server/pictures/picture_encoder.h"

#include <xxhash.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>

namespace cog {

namespace {
// Offsets into a frame's text are 32 bits; a frame writing more than this starts another text.
// Pictures are far smaller: this only keeps a runaway frame from wrapping an offset.
constexpr size_t MAX_FRAME_TEXT_BYTES = UINT32_MAX / 2;
} // namespace

PictureEncoder::PictureEncoder() {
    write_json(head_, ServerMessage{ServerMessageKind::DRAW_COMMANDS, Event{}, DrawList{}});
    head_.resize(head_.size() - 2); // without the empty list's closing "]}"
}

void PictureEncoder::begin_frame() {
    previous_list_.reset();
    before_last_.reset();
    text_.reset();
    pictures_.trim();
    texts_.trim();
}

EncodedPicture PictureEncoder::encode(DrawList&& commands) {
    if (text_ && text_->text.size() > MAX_FRAME_TEXT_BYTES) {
        text_.reset();
        previous_list_.reset(); // its commands lie in the text let go of
    }
    // Compared once: an equal picture is sent again as it is, and otherwise the shared
    // beginning is taken without comparing it again.
    const size_t shared = previous_list_ ? equal_prefix(commands, *previous_list_) : 0;
    if (previous_list_ && shared == commands.size() && shared == previous_list_->size()) return last_picture();
    if (!text_) text_ = texts_.take();
    std::shared_ptr<PictureSnapshot> next = pictures_.take();
    next->text = text_;
    const size_t comparable = previous_list_ ? std::min(commands.size(), previous_list_->size()) : 0;
    PictureBuffer& text = text_->text;
    // The head, the commas between commands, the closing "]}".
    size_t bytes = head_.size() + (commands.empty() ? 0 : commands.size() - 1) + 2;
    for (size_t i = 0; i < commands.size(); ++i) {
        const bool same = i < comparable && (i < shared || same_command(commands[i], (*previous_list_)[i]));
        CommandSpan span;
        if (same) {
            span = last_->commands[i];
        } else {
            const size_t begin = text.size();
            write_command_json(text, commands[i]);
            span = {static_cast<uint32_t>(begin), static_cast<uint32_t>(text.size() - begin)};
            text.push_back(',');
        }
        next->commands.push_back(span);
        next->copied.push_back(same);
        bytes += span.size;
    }
    next->body_bytes = bytes;
    next->error = bytes > MAX_FRAME_BODY ? ProtocolError::MessageTooLarge : ProtocolError::None;
    before_last_ = previous_list_ ? std::move(last_) : nullptr;
    last_ = std::move(next);
    whole_of_ = nullptr;
    previous_list_.emplace(std::move(commands));
    return last_picture();
}

PictureSnapshot& PictureEncoder::hashed_picture() {
    PictureSnapshot& picture = *last_;
    if (picture.hashed) return picture;
    const size_t count = picture.commands.size();
    picture.hashes.resize(count);
    // A command taken from the picture before is that picture's text there, so has its hash.
    const bool reuse = before_last_ && before_last_->hashed;
    for (size_t m = 0; m < count; ++m) {
        if (reuse && picture.copied[m]) {
            picture.hashes[m] = before_last_->hashes[m];
            continue;
        }
        const std::string_view command = picture.command(m);
        picture.hashes[m] = XXH3_64bits(command.data(), command.size());
    }
    picture.hashed = true;
    return picture;
}

WholeFrame PictureEncoder::whole_frame() {
    if (whole_of_ != last_.get()) put_together(*last_);
    return {std::string_view(whole_.data(), whole_.size()), whole_starts_};
}

void PictureEncoder::put_together(const PictureSnapshot& picture) {
    const std::span<const CommandSpan> spans = picture.commands;
    const char* text = picture.text->text.data();
    whole_.resize(4 + picture.body_bytes); // the header's place, then the body
    whole_starts_.clear();
    char* const body = whole_.data() + 4;
    char* p = body;
    std::memcpy(p, head_.data(), head_.size());
    p += head_.size();
    for (size_t i = 0; i < spans.size();) {
        // Commands written one after another lie with their commas as in the body: one copy.
        size_t end = i + 1;
        while (end < spans.size() && spans[end].begin == spans[end - 1].begin + spans[end - 1].size + 1) ++end;
        const uint32_t from = spans[i].begin;
        const size_t here = static_cast<size_t>(p - body);
        for (size_t m = i; m < end; ++m) whole_starts_.push_back(static_cast<uint32_t>(here + (spans[m].begin - from)));
        const size_t length = spans[end - 1].begin + spans[end - 1].size - from;
        std::memcpy(p, text + from, length);
        p += length;
        if (end < spans.size()) *p++ = ',';
        i = end;
    }
    whole_starts_.push_back(static_cast<uint32_t>(p - body)); // where the last one ends
    *p++ = ']';
    *p++ = '}';
    finish_frame(whole_.data(), whole_.size());
    whole_of_ = &picture;
}

EncodedPicture PictureEncoder::last_picture() const { return {last_->error, last_->body_bytes, last_}; }

} // namespace cog
