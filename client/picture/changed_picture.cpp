// Decoding a change, applying it, and moving the texts into the new picture's own bytes.
#include "client/picture/changed_picture.h"

#include "shared/protocol/json.h"

#include <cstring>

namespace cog::client {

namespace {
constexpr size_t TEXT_SLACK = 64; // bytes beyond the body, so a last tiny text never overflows
} // namespace

ChangedPicture::ChangedPicture(size_t max_commands) : max_commands_(max_commands) {}

ChangeResult ChangedPicture::apply(std::string_view body, std::span<const DrawCommand> previous, ChangeError& why) {
    why = ChangeError::None;
    if (change_bytes_.size() < body.size() + TEXT_SLACK) change_bytes_.resize(body.size() + TEXT_SLACK);
    change_strings_.emplace(change_bytes_.data(), change_bytes_.size(), std::pmr::new_delete_resource());
    const JsonError error = read_json(body, change_, &*change_strings_, max_commands_);
    if (error.kind == JsonErrorKind::Too_Many) {
        why = ChangeError::TooManyCommands;
        return ChangeResult::Refused;
    }
    if (error || change_.kind != ServerMessageKind::PICTURE_CHANGE) return ChangeResult::Undecodable;
    Store& next = stores_[1 - current_];
    why = apply_picture_change(previous, change_, next.commands, max_commands_);
    if (why != ChangeError::None) return ChangeResult::Refused;
    own_texts(next);
    current_ = 1 - current_;
    return ChangeResult::Ok;
}

// The kept commands point at the previous picture's texts and the new ones at the change's;
// both are given up soon, so every text is copied into this store.
void ChangedPicture::own_texts(Store& store) {
    size_t bytes = 0;
    for (const DrawCommand& c : store.commands) bytes += c.text.size();
    store.texts.resize(bytes);
    char* p = store.texts.data();
    for (DrawCommand& c : store.commands) {
        if (c.text.empty()) continue;
        std::memcpy(p, c.text.data(), c.text.size());
        c.text = std::string_view(p, c.text.size());
        p += c.text.size();
    }
}

} // namespace cog::client
