// libFuzzer target: a browser's messages as the host takes them. The library hands the endpoint
// each WebSocket message in pieces (inflated, any sizes, the last one marked); the channel joins
// and bounds them, and the host takes whole messages within its byte budget and decodes them.
// Two channels share one pool, so pieces of one interleave with the other's and the pool's
// pauses and give-backs are exercised as well.
#include "server/network/connections.h"
#include "server/network/transport.h"
#include "shared/log/console.h"

// Built by scripts/fuzz.sh from this file and the protocol and log sources alone: the channel and
// transport code comes in here (the channel uses only a constant of the WebSocket library).
#include "server/network/socket_util.cpp"
#include "server/network/transport.cpp"
#include "server/web/web_channel.cpp"

#include <cstddef>
#include <cstdint>
#include <memory_resource>

namespace {
void discard(void*, std::string_view) {}

// Pieces are stretched by repetition so a small input can reach the message and pool limits.
std::string piece_of(const uint8_t* data, size_t size, size_t repeat) {
    std::string piece;
    for (size_t i = 0; i < repeat; ++i) piece.append(reinterpret_cast<const char*>(data), size);
    return piece;
}
} // namespace

// Input layout: repeated [op byte][length byte][length bytes]. The op's bit 0 picks the channel,
// bit 1 marks the piece as the message's last, bits 2-3 choose what happens (a piece, a piece
// repeated 4096 times, the host taking messages within a small budget, or within a whole frame's),
// bit 4 closes the channel's connection.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    cog::console_set_sink(&discard, nullptr);
    auto pool = std::make_shared<cog::FramePool>(4u << 20);
    cog::Transport transports[2] = {{-1, std::make_shared<cog::web::WebChannel>(pool)},
                                    {-1, std::make_shared<cog::web::WebChannel>(pool)}};
    cog::FrameReader reader;
    size_t at = 0;
    while (at + 2 <= size) {
        const uint8_t op = data[at];
        size_t length = data[at + 1];
        at += 2;
        if (length > size - at) length = size - at;
        cog::web::WebChannel& channel = *transports[op & 1].web;
        const bool last = op & 2;
        switch ((op >> 2) & 3) {
        case 0: channel.receive(piece_of(data + at, length, 1), last); break;
        case 1: channel.receive(piece_of(data + at, length, 4096), last); break;
        default: {
            const size_t budget = ((op >> 2) & 3) == 2 ? length : cog::MAX_READ_BYTES_PER_CLIENT_FRAME;
            for (int taken = 0; taken < 64; ++taken) {
                std::pmr::monotonic_buffer_resource arena;
                std::string copy;
                const cog::Received r = cog::transport_receive(transports[op & 1], reader, &arena, budget,
                                                               cog::MAX_READ_BYTES_PER_CLIENT_FRAME, &copy);
                if (r.error != cog::ProtocolError::None && r.error != cog::ProtocolError::JsonDecodeFailed) break;
                if (copy.size() > cog::web::MAX_WEB_MESSAGE_BYTES) __builtin_trap();
            }
        }
        }
        if (op & 16) channel.set_fault(cog::web::ChannelFault::Closed);
        // Whatever the channels hold, the pool counts no more than they do.
        if (pool->held > transports[0].web->inbox_bytes() + transports[1].web->inbox_bytes() + 2 * cog::web::MAX_WEB_MESSAGE_BYTES)
            __builtin_trap();
        at += length;
    }
    return 0;
}
