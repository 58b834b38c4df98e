// Recorded connection ends placed after the last thing recorded of them in their frame.
#include "replay/connection_ends.h"

#include <iterator>

namespace cog::replay {

bool drop_is_fed_as_end(DropReason reason) {
    return reason == DropReason::Closed || reason == DropReason::Stalled || reason == DropReason::Unframeable ||
           reason == DropReason::SendFailed;
}

void ConnectionEnds::begin(const RecordedFrame& frame) {
    due_.clear();
    for (const RecordedDrop& drop : frame.drops)
        if (drop_is_fed_as_end(drop.reason)) due_.try_emplace(drop.id);
    if (due_.empty()) return;
    for (const RecordedMessage& message : frame.messages)
        if (auto due = due_.find(message.id); due != due_.end()) ++due->second.messages_left;
    for (const RecordedPicture& picture : frame.pictures)
        if (auto due = due_.find(picture.id); due != due_.end()) due->second.after_picture = true;
    for (auto due = due_.begin(); due != due_.end();) {
        const auto next = std::next(due);
        if (due->second.messages_left == 0 && !due->second.after_picture) meet(due);
        due = next;
    }
}

void ConnectionEnds::meet(std::map<uint32_t, Due>::iterator due) {
    const uint32_t id = due->first;
    due_.erase(due);
    end_(id);
}

void ConnectionEnds::message_read(uint32_t id) {
    const auto due = due_.find(id);
    if (due == due_.end() || due->second.messages_left == 0) return;
    if (--due->second.messages_left == 0 && !due->second.after_picture) meet(due);
}

void ConnectionEnds::picture_sent(uint32_t id) {
    const auto due = due_.find(id);
    if (due != due_.end() && due->second.after_picture) meet(due);
}

void ConnectionEnds::end_frame() {
    while (!due_.empty()) meet(due_.begin());
}

} // namespace cog::replay
