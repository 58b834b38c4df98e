// The replayed players' connections: in-memory channels the recorded messages are fed into, each
// bounded by what the host takes of it, so a recording cannot pile messages up in the replay.
#pragma once

#include "server/network/connections.h"
#include "server/web/web_channel.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace cog::replay {

enum class FeedResult : uint8_t { Fed, NoConnection, PilesUp };

class PlayerFeeds {
public:
    // What a message waiting in a channel holds besides its bytes (its string and its place).
    static constexpr size_t MESSAGE_OVERHEAD_BYTES = 64;
    // Bytes (with that overhead) that may wait in one player's channel: a frame of a real game
    // feeds a player no more than the host reads from him in a frame (its read budget, and one
    // message at the frame limit finished in it), and the host takes them all in that frame.
    static constexpr size_t MAX_WAITING_BYTES = 4 * web::MAX_WEB_MESSAGE_BYTES;

    // `max_total_bytes`: what may wait in all channels together.
    explicit PlayerFeeds(size_t max_total_bytes) : max_total_bytes_(max_total_bytes) {}

    // A new connection for seat `id`; the one it had, if any, is closed as the host closes it.
    std::shared_ptr<web::WebChannel> open(uint32_t id, std::string peer);
    web::WebChannel* find(uint32_t id);
    // Hands `body` to the connection of `id`, unless it would wait past the bounds.
    FeedResult feed(uint32_t id, std::string_view body);
    // After a frame: forgets what the host took, and the connections it let go.
    void settle(const std::map<uint32_t, ClientSocket>& sockets);
    // What the host sent is not read back: the digests were taken as it was sent.
    void discard_output(uint32_t id);
    void discard_all_output();

private:
    struct Feed {
        std::shared_ptr<web::WebChannel> channel;
        std::deque<size_t> waiting; // bytes of each message fed and not yet taken, oldest first
        size_t waiting_bytes = 0;   // with MESSAGE_OVERHEAD_BYTES for each
    };
    void forget_taken(Feed& feed);

    std::map<uint32_t, Feed> feeds_; // by player id
    size_t max_total_bytes_;
    size_t total_bytes_ = 0; // waiting in all channels
};

} // namespace cog::replay
