// Decoding into reused storage, with the command list capped while it is read.
#include "client/picture/message_slot.h"

#include "shared/protocol/json.h"


namespace cog::client {

namespace {
constexpr size_t TEXT_SLACK = 64; // bytes beyond the body, so a last tiny text never overflows
} // namespace

MessageSlot::MessageSlot(size_t max_commands)
    : max_commands_(max_commands), message_{ServerMessageKind::EVENT, Event{}, DrawList()} {}

DecodeResult MessageSlot::decode(std::string_view body) {
    if (text_bytes_.size() < body.size() + TEXT_SLACK) text_bytes_.resize(body.size() + TEXT_SLACK);
    // Rebuilt over the same bytes: the previous message's texts are given up here.
    strings_.emplace(text_bytes_.data(), text_bytes_.size(), std::pmr::new_delete_resource());
    const JsonError error = read_json(body, message_, &*strings_, max_commands_);
    if (error.kind == JsonErrorKind::Too_Many) return DecodeResult::TooManyCommands;
    return error ? DecodeResult::Undecodable : DecodeResult::Ok;
}

} // namespace cog::client
