// Replayed connections, their waiting messages counted against the host's taking.
#include "replay/player_feeds.h"

namespace cog::replay {

namespace {
void discard(web::WebChannel& channel) {
    while (channel.has_output()) channel.pop_output();
}
} // namespace

std::shared_ptr<web::WebChannel> PlayerFeeds::open(uint32_t id, std::string peer) {
    auto channel = std::make_shared<web::WebChannel>();
    channel->peer_ = std::move(peer);
    Feed& feed = feeds_[id];
    if (feed.channel) feed.channel->set_fault(web::ChannelFault::Closed);
    total_bytes_ -= feed.waiting_bytes;
    feed = Feed{channel, {}, 0};
    return channel;
}

web::WebChannel* PlayerFeeds::find(uint32_t id) {
    const auto feed = feeds_.find(id);
    return feed == feeds_.end() ? nullptr : feed->second.channel.get();
}

FeedResult PlayerFeeds::feed(uint32_t id, std::string_view body) {
    const auto it = feeds_.find(id);
    if (it == feeds_.end()) return FeedResult::NoConnection;
    Feed& feed = it->second;
    const size_t cost = body.size() + MESSAGE_OVERHEAD_BYTES;
    if (feed.waiting_bytes + cost > MAX_WAITING_BYTES || total_bytes_ + cost > max_total_bytes_)
        return FeedResult::PilesUp;
    feed.channel->receive(body, true);
    feed.waiting.push_back(body.size());
    feed.waiting_bytes += cost;
    total_bytes_ += cost;
    return FeedResult::Fed;
}

// The channel hands out its messages in the order they came, so those still waiting are the
// last ones fed, as many as make up its bytes.
void PlayerFeeds::forget_taken(Feed& feed) {
    const web::WebChannel& channel = *feed.channel;
    const size_t left = channel.next_message_bytes() == web::NO_MESSAGE ? 0 : channel.inbox_bytes();
    size_t fed = feed.waiting_bytes - feed.waiting.size() * MESSAGE_OVERHEAD_BYTES;
    while (!feed.waiting.empty() && (fed > left || left == 0)) {
        fed -= feed.waiting.front();
        feed.waiting_bytes -= feed.waiting.front() + MESSAGE_OVERHEAD_BYTES;
        total_bytes_ -= feed.waiting.front() + MESSAGE_OVERHEAD_BYTES;
        feed.waiting.pop_front();
    }
}

void PlayerFeeds::settle(const std::map<uint32_t, ClientSocket>& sockets) {
    for (auto it = feeds_.begin(); it != feeds_.end();) {
        discard(*it->second.channel);
        forget_taken(it->second);
        if (sockets.count(it->first)) {
            ++it;
            continue;
        }
        total_bytes_ -= it->second.waiting_bytes;
        it = feeds_.erase(it);
    }
}

void PlayerFeeds::discard_output(uint32_t id) {
    if (web::WebChannel* channel = find(id)) discard(*channel);
}

void PlayerFeeds::discard_all_output() {
    for (auto& [id, feed] : feeds_) discard(*feed.channel);
}

} // namespace cog::replay
