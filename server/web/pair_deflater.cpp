// Deflating a message against the last one: the client's inflater holds that message's text just
// before the new one, so a raw deflater given it as a dictionary may refer back into it as a
// deflater running since the connection began would, and its output depends only on the pair.
// The clients of one room are mostly sent the same pair each frame.
#include "server/web/pair_deflater.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace cog::web {

namespace {

// Pairs kept for clients that come later: the distinct pairs of a frame or two.
constexpr size_t PAIRS_KEPT = 16;
// Longer messages (whole pictures, large events) are compressed for their client alone rather
// than copied into the pairs kept.
constexpr size_t MAX_SHARED_MESSAGE_BYTES = 65536;
// The cheapest level: the messages are small and mostly repeat the dictionary. Level 6 writes a
// typing-pool change in about a sixth fewer bytes for about an eighth more time. ISA-L's fastest
// level takes a third of this time where a profile sees it, yet left the whole host slower (its
// wide vector code slows what runs after it), for an eighth more bytes.
constexpr int LEVEL = 1;
// 8 KiB of match table: the dictionary and message together are rarely longer, and the table is
// cleared for every compression.
constexpr int MEM_LEVEL = 5;
// The longest frame header: FIN, RSV1 and text; 127; 64-bit length.
constexpr size_t HEADER_ROOM = 10;
constexpr unsigned char SYNC_MARKER[4] = {0x00, 0x00, 0xff, 0xff};

// The part of a message later ones are compressed against.
std::string_view history_tail(std::string_view message) {
    return message.substr(message.size() - std::min(message.size(), HISTORY_BYTES));
}

size_t header_size(size_t payload) { return payload < 126 ? 2 : payload <= 0xffff ? 4 : 10; }

// A server's frame is never masked. RSV1 marks the payload compressed.
void write_header(unsigned char* at, size_t payload) {
    at[0] = 0x80 | 0x40 | 0x1;
    if (payload < 126) {
        at[1] = static_cast<unsigned char>(payload);
        return;
    }
    const int length_bytes = payload <= 0xffff ? 2 : 8;
    at[1] = length_bytes == 2 ? 126 : 127;
    for (int i = 0; i < length_bytes; ++i)
        at[2 + i] = static_cast<unsigned char>(payload >> (8 * (length_bytes - 1 - i)));
}

} // namespace

struct PairDeflater::Pair {
    int window_bits = -1; // -1: matches nothing
    bool kept = false;
    std::shared_ptr<const std::string> after;   // the history it was compressed against
    std::shared_ptr<const std::string> message; // its text, the history of the clients sent it
    PictureBuffer frame; // HEADER_ROOM bytes, then the payload; the header ends where it starts
    size_t start = 0;    // where the frame begins in `frame`

    // Histories are mostly the very same object; an equal one (after a long message, sent to
    // each client on its own) is compared by its text, and the client then takes this object.
    bool matches(const ClientHistory& history, std::string_view text) const {
        if (window_bits != history.window_bits || kept != history.kept || !message || *message != text) return false;
        if (after == history.last) return true;
        return after && history.last && *after == *history.last;
    }
    std::string_view view() const { return std::string_view(frame.data() + start, frame.size() - start); }
};

struct PairDeflater::Stream {
    z_stream z{};
    bool ready = false;
    ~Stream() {
        if (ready) deflateEnd(&z);
    }
};

PairDeflater::PairDeflater() = default;
PairDeflater::~PairDeflater() = default;

PairDeflater::Stream* PairDeflater::stream_for(int window_bits) {
    // zlib cannot deflate with a 256-byte window, but with a 512-byte one it never refers back
    // more than 250 bytes, so a client that agreed to 256 inflates it all the same.
    const int bits = std::clamp(window_bits, 9, 15);
    const size_t index = static_cast<size_t>(bits - 9);
    if (streams_.size() <= index) streams_.resize(index + 1);
    std::unique_ptr<Stream>& stream = streams_[index];
    if (!stream) stream = std::make_unique<Stream>();
    if (!stream->ready)
        stream->ready = deflateInit2(&stream->z, LEVEL, Z_DEFLATED, -bits, MEM_LEVEL, Z_DEFAULT_STRATEGY) == Z_OK;
    return stream->ready ? stream.get() : nullptr;
}

bool PairDeflater::compress(const ClientHistory& history, std::string_view message, PictureBuffer& frame) {
    Stream* stream = stream_for(history.window_bits);
    if (!stream) return false;
    z_stream& z = stream->z;
    deflateReset(&z);
    if (history.kept && history.last && !history.last->empty()) {
        const std::string_view tail = history_tail(*history.last);
        deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(tail.data()), static_cast<uInt>(tail.size()));
    }
    ++compressions_;
    // Room for the bound and the flush's empty block (not cleared first); should zlib want more,
    // it gets more.
    frame.resize(HEADER_ROOM + deflateBound(&z, message.size()) + 16);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(message.data()));
    z.avail_in = static_cast<uInt>(message.size());
    size_t used = HEADER_ROOM;
    for (;;) {
        z.next_out = reinterpret_cast<Bytef*>(frame.data() + used);
        z.avail_out = static_cast<uInt>(frame.size() - used);
        if (deflate(&z, Z_SYNC_FLUSH) == Z_STREAM_ERROR) return false;
        used = frame.size() - z.avail_out;
        if (z.avail_out != 0) break;
        frame.resize(frame.size() * 2);
    }
    // The flush ends with an empty stored block, which the receiver puts back itself.
    if (used < HEADER_ROOM + 4 || std::memcmp(frame.data() + used - 4, SYNC_MARKER, 4) != 0) return false;
    frame.resize(used - 4);
    return true;
}

std::string_view PairDeflater::send(ClientHistory& history, std::string_view message) {
    const bool shared = message.size() <= MAX_SHARED_MESSAGE_BYTES;
    Pair* found = nullptr;
    // The newest first: the clients of a frame mostly ask for the pair the one before them did.
    if (shared)
        for (size_t n = 1; n <= std::min(pairs_.size(), PAIRS_KEPT) && !found; ++n) {
            Pair* pair = pairs_[(next_pair_ - n) % PAIRS_KEPT].get();
            if (pair && pair->matches(history, message)) found = pair;
        }
    if (!found) {
        // The slot taken in turn; a long message gets the last slot, which is never shared.
        if (pairs_.size() < PAIRS_KEPT + 1) pairs_.resize(PAIRS_KEPT + 1);
        const size_t slot = shared ? next_pair_++ % PAIRS_KEPT : PAIRS_KEPT;
        if (!pairs_[slot]) pairs_[slot] = std::make_unique<Pair>();
        Pair& pair = *pairs_[slot];
        pair.window_bits = -1; // matches nothing until it is whole
        if (!compress(history, message, pair.frame)) return {};
        const size_t payload = pair.frame.size() - HEADER_ROOM;
        pair.start = HEADER_ROOM - header_size(payload);
        write_header(reinterpret_cast<unsigned char*>(pair.frame.data() + pair.start), payload);
        pair.kept = history.kept;
        pair.after = history.last;
        // What later messages are compressed against: all of it for a shared pair (the next pair
        // matches by this very object), only the part used for a long one.
        pair.message = std::make_shared<const std::string>(
            shared ? message : history_tail(message));
        if (shared) pair.window_bits = history.window_bits;
        found = &pair;
    }
    if (history.kept) history.last = found->message;
    return found->view();
}

} // namespace cog::web
