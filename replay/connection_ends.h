// Where in its frame a recorded connection ends when replayed: right after the last thing the
// recording holds of it in that frame, as the host met the end.
#pragma once

#include "replay/recording.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>

namespace cog::replay {

// The recording says in which frame a connection was dropped, not when in the frame it failed.
// The host reads a connection in its input phase and sends to it all through the frame; a send
// fails only once the client is gone, which may be after its picture went out (a player leaving
// in the same frame is announced to it after the pictures). So a connection ends after its
// recorded picture, or after its last recorded message, or, with neither, before the frame runs:
// the replayed host reads what the recorded one read, and sends what it sent.
class ConnectionEnds {
public:
    using End = std::function<void(uint32_t id)>;
    explicit ConnectionEnds(End end) : end_(std::move(end)) {}

    // The ends the host met by itself in `frame` (closed, stalled, unreadable, a failed send):
    // those with nothing recorded of them in the frame end now.
    void begin(const RecordedFrame& frame);
    // The replayed host read a message of `id`, or sent it its picture.
    void message_read(uint32_t id);
    void picture_sent(uint32_t id);
    // The frame is over: any end not met yet (the replay left the recorded path) is met now.
    void end_frame();

private:
    struct Due {
        size_t messages_left = 0; // recorded messages still to be read before the end
        bool after_picture = false;
    };
    void meet(std::map<uint32_t, Due>::iterator due);

    End end_;
    std::map<uint32_t, Due> due_; // by player id
};

// Whether the host found this drop by itself at its connection, so the replay makes it happen
// the same way; a drop the rules make (wrong admin tokens) comes about by itself.
bool drop_is_fed_as_end(DropReason reason);

} // namespace cog::replay
