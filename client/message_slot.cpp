// Decoding into reused storage, with the command list capped while it grows.
#include "client/message_slot.h"

#include "shared/protocol/json.h"

#include <new>

namespace cog::client {

namespace {
constexpr size_t TEXT_SLACK = 64; // bytes beyond the body, so a last tiny text never overflows
} // namespace

void* CappedResource::do_allocate(size_t bytes, size_t alignment) {
    if (bytes > max_request_) {
        refused_ = true;
        throw std::bad_alloc();
    }
    return std::pmr::new_delete_resource()->allocate(bytes, alignment);
}

void CappedResource::do_deallocate(void* p, size_t bytes, size_t alignment) {
    std::pmr::new_delete_resource()->deallocate(p, bytes, alignment);
}

MessageSlot::MessageSlot(size_t max_commands)
    : commands_(max_commands * sizeof(DrawCommand)),
      message_{ServerMessageKind::EVENT, Event{}, DrawList(&commands_)} {}

DecodeResult MessageSlot::decode(std::string_view body) {
    if (text_bytes_.size() < body.size() + TEXT_SLACK) text_bytes_.resize(body.size() + TEXT_SLACK);
    // Rebuilt over the same bytes: the previous message's texts are given up here.
    strings_.emplace(text_bytes_.data(), text_bytes_.size(), std::pmr::new_delete_resource());
    commands_.clear_refused();
    const JsonError error = read_json(body, message_, &*strings_);
    if (commands_.refused()) return DecodeResult::TooManyCommands;
    return error ? DecodeResult::Undecodable : DecodeResult::Ok;
}

} // namespace cog::client
