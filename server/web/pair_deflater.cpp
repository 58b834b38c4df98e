// Deflating a message against the last one: the client's inflater holds that message's text just
// before the new one, so a raw deflater given it as a dictionary may refer back into it as a
// deflater running since the connection began would, and its output depends only on the pair.
// The clients of one room are mostly sent the same pair each frame.
//
// The compressor is ISA-L's fastest level with the fixed Huffman codes. Once a frame, starting
// from caches other work has emptied, it costs about a third of zlib's cheapest level (about
// 7 us against 20-40 for a typing-pool change), for about an eighth more bytes: zlib builds
// three Huffman trees for every flushed message, however short.
#include "server/web/pair_deflater.h"

#include <immintrin.h>
#include <isa-l/igzip_lib.h>

#include <algorithm>
#include <cstring>

namespace cog::web {

namespace {

// Pairs kept for clients that come later: the distinct pairs of a frame or two.
constexpr size_t PAIRS_KEPT = 16;
// Longer messages (whole pictures, large events) are compressed for their client alone rather
// than copied into the pairs kept.
constexpr size_t MAX_SHARED_MESSAGE_BYTES = 65536;
// Level 0 needs no buffer of its own; level 1 writes a typing-pool change in about a sixth fewer
// bytes for twice the time.
constexpr uint32_t LEVEL = 0;
// The longest frame header: FIN, RSV1 and text; 127; 64-bit length.
constexpr size_t HEADER_ROOM = 10;
constexpr unsigned char SYNC_MARKER[4] = {0x00, 0x00, 0xff, 0xff};

// The part of a message later ones are compressed against.
std::string_view history_tail(std::string_view message) {
    return message.substr(message.size() - std::min(message.size(), HISTORY_BYTES));
}

// ISA-L's vector code returns with the upper halves of the vector registers in use. Until they
// are cleared, every SSE instruction the host runs afterwards (all of its floating point) waits
// on them: in a typing pool of 100 it made drawing the pictures twice as slow.
__attribute__((target("avx"))) void clear_upper_vector_state() { _mm256_zeroupper(); }

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

// `message` deflated into `frame` after HEADER_ROOM bytes, against what `history` holds.
bool deflate_into(isal_zstream& z, const ClientHistory& history, std::string_view message, PictureBuffer& frame) {
    isal_deflate_reset(&z);
    z.level = LEVEL;
    z.gzip_flag = IGZIP_DEFLATE;
    z.flush = SYNC_FLUSH;
    z.end_of_stream = 0;
    z.hist_bits = static_cast<uint16_t>(std::clamp(history.window_bits, 8, 15));
    if (history.kept && history.last && !history.last->empty()) {
        const std::string_view tail = history_tail(*history.last);
        if (isal_deflate_set_dict(&z, reinterpret_cast<uint8_t*>(const_cast<char*>(tail.data())),
                                  static_cast<uint32_t>(tail.size())) != COMP_OK)
            return false;
    }
    // A fixed code spends at most 9 bits on a byte; room for that and the block marks, and should
    // the compressor want more, it gets more.
    frame.resize(HEADER_ROOM + message.size() + message.size() / 8 + 64);
    z.next_in = reinterpret_cast<uint8_t*>(const_cast<char*>(message.data()));
    z.avail_in = static_cast<uint32_t>(message.size());
    size_t used = HEADER_ROOM;
    for (;;) {
        z.next_out = reinterpret_cast<uint8_t*>(frame.data() + used);
        z.avail_out = static_cast<uint32_t>(frame.size() - used);
        if (isal_deflate(&z) != COMP_OK) return false;
        used = frame.size() - z.avail_out;
        // Room left over means the input is used up and the flush written.
        if (z.avail_out != 0) break;
        frame.resize(frame.size() * 2);
    }
    // The flush ends with an empty stored block, which the receiver puts back itself.
    if (used < HEADER_ROOM + 4 || std::memcmp(frame.data() + used - 4, SYNC_MARKER, 4) != 0) return false;
    frame.resize(used - 4);
    return true;
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

// One stream serves every window: the window is a setting of each compression. It is large (the
// history it may refer to and its match table), so it lives on the heap, made once.
struct PairDeflater::Stream {
    isal_zstream z{};
    // Whether the compressor may have used AVX registers, which then need clearing.
    bool avx = __builtin_cpu_supports("avx");
    Stream() {
        isal_deflate_init(&z);
        // Kept by every reset: a message's own codes would cost their table in every short message.
        isal_deflate_set_hufftables(&z, nullptr, IGZIP_HUFFTABLE_STATIC);
    }
};

PairDeflater::PairDeflater() = default;
PairDeflater::~PairDeflater() = default;

bool PairDeflater::compress(const ClientHistory& history, std::string_view message, PictureBuffer& frame) {
    if (!stream_) stream_ = std::make_unique<Stream>();
    ++compressions_;
    const bool done = deflate_into(stream_->z, history, message, frame);
    if (stream_->avx) clear_upper_vector_state();
    return done;
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
