// How one client's messages travel: a TCP socket carrying length-prefixed frames, or a browser's
// WebSocket carrying one message body per WebSocket message. Everything above this file (logins,
// budgets, stalls, broken marks, drops) is the same code for both.
#pragma once

#include "server/web/web_channel.h"
#include "shared/protocol/framing.h"

#include <memory>
#include <memory_resource>
#include <string>
#include <string_view>

namespace cog {

struct Transport {
    int fd = -1;                             // TCP; -1 for a WebSocket
    std::shared_ptr<web::WebChannel> web;    // WebSocket; empty for TCP
    bool operator==(const Transport&) const = default;
};

// Reads at most one message within `max_bytes`, like receive_message on a socket. A WebSocket
// message is taken whole or not at all; one larger than the budget is taken only when the
// budget is untouched this frame, so it is never put off for ever. `body_copy`, when given,
// receives the bytes of the message taken (a recording keeps exactly what arrived).
Received transport_receive(const Transport& transport, FrameReader& reader, std::pmr::memory_resource* strings,
                           size_t max_bytes, size_t frame_budget, std::string* body_copy = nullptr);

// Sends one encoded frame (4-byte header, then the body): the whole frame on TCP, the body alone
// as one WebSocket message. A client that cannot take it is SendFailed.
ProtocolError transport_send_frame(const Transport& transport, std::string_view frame);
ProtocolError transport_send(const Transport& transport, const ServerMessage& message);

// Part of a message has arrived and the rest has not.
bool transport_message_started(const Transport& transport, const FrameReader& reader);

void transport_close(const Transport& transport);
std::string transport_peer(const Transport& transport);

} // namespace cog
