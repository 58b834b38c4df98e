// Compressed WebSocket frames for connections taking picture changes: each message is deflated
// against the one sent before it, so the same pair costs zlib once however many clients it goes to.
#pragma once

#include "shared/protocol/json.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace cog::web {

// Bytes of the last message used as the next one's dictionary. A change refers back to the change
// before it, a few hundred bytes; after a whole picture, this much of it is plenty and keeps the
// dictionary cheap to set up.
inline constexpr size_t HISTORY_BYTES = 8192;

// What one client's inflater holds of the host's messages, as far as the host uses it.
struct ClientHistory {
    int window_bits = 15; // the window the client agreed to inflate with (8..15)
    bool kept = true;     // false: the client forgets each message once inflated
    // The last message sent, shared with every client sent the same pair: clients holding the
    // same text object hold the same history. Null before the first.
    std::shared_ptr<const std::string> last;
};

class PairDeflater {
public:
    PairDeflater();
    ~PairDeflater();
    PairDeflater(const PairDeflater&) = delete;
    PairDeflater& operator=(const PairDeflater&) = delete;

    // A whole text frame (header and compressed payload) carrying `message` to a client whose
    // history is `history`, valid until the next call; the history then ends with `message`.
    // Empty, and the history as it was, when zlib cannot be set up.
    std::string_view send(ClientHistory& history, std::string_view message);
    // Frames compressed so far, over all calls: what zlib was asked to do.
    size_t compressions() const { return compressions_; }

private:
    struct Pair; // one message after one history, and its frame
    struct Stream;
    Stream* stream_for(int window_bits);
    bool compress(const ClientHistory& history, std::string_view message, PictureBuffer& frame);

    std::vector<std::unique_ptr<Pair>> pairs_; // the latest pairs, replaced in turn
    size_t next_pair_ = 0;
    std::vector<std::unique_ptr<Stream>> streams_; // one per window size, made when first needed
    size_t compressions_ = 0;
};

} // namespace cog::web
