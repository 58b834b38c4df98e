// The two transports behind one set of calls.
#include "server/network/transport.h"

#include "server/network/socket_util.h"

#include <algorithm>

namespace cog {

namespace {

ProtocolError channel_error(web::ChannelFault fault) {
    switch (fault) {
    case web::ChannelFault::None: return ProtocolError::None;
    case web::ChannelFault::Closed: return ProtocolError::ConnectionClosed;
    case web::ChannelFault::TooLarge: return ProtocolError::MessageTooLarge;
    case web::ChannelFault::OutboxFull: return ProtocolError::SendFailed;
    }
    return ProtocolError::ReceiveFailed;
}

Received web_receive(web::WebChannel& channel, std::pmr::memory_resource* strings, size_t max_bytes,
                     size_t frame_budget, std::string* body_copy) {
    Received result;
    const size_t next = channel.next_message_bytes();
    // Messages already received are handed over before a fault that came after them.
    if (next == web::NO_MESSAGE || (next > max_bytes && max_bytes < frame_budget)) {
        result.error = next == web::NO_MESSAGE && channel.fault() != web::ChannelFault::None
                           ? channel_error(channel.fault())
                           : ProtocolError::Would_Block;
        return result;
    }
    std::string body;
    channel.take_message(body);
    result.bytes_read = std::min(body.size(), max_bytes);
    if (body_copy) body_copy->assign(body);
    result.error = decode_client_message(body, result.message, strings);
    channel.give_back(std::move(body));
    return result;
}

// A browser whose outbox is full (or that has gone) takes nothing more.
ProtocolError queue_body(web::WebChannel& channel, std::string_view body) {
    if (channel.fault() != web::ChannelFault::None) return ProtocolError::SendFailed;
    return channel.queue(body) ? ProtocolError::None : ProtocolError::SendFailed;
}

} // namespace

Received transport_receive(const Transport& transport, FrameReader& reader, std::pmr::memory_resource* strings,
                           size_t max_bytes, size_t frame_budget, std::string* body_copy) {
    if (transport.web) return web_receive(*transport.web, strings, max_bytes, frame_budget, body_copy);
    return receive_message(transport.fd, reader, strings, max_bytes, body_copy);
}

ProtocolError transport_send_frame(const Transport& transport, std::string_view frame) {
    if (!transport.web) return send_frame(transport.fd, frame);
    return queue_body(*transport.web, frame.substr(4));
}

ProtocolError transport_send(const Transport& transport, const ServerMessage& message) {
    if (!transport.web) return send_message(transport.fd, message);
    std::string frame;
    const ProtocolError error = encode_frame(message, frame);
    // The body alone: a WebSocket message carries its own length.
    return error == ProtocolError::None ? transport_send_frame(transport, frame) : error;
}

bool transport_message_started(const Transport& transport, const FrameReader& reader) {
    return transport.web ? transport.web->message_started() : reader.frame_started();
}

void transport_close(const Transport& transport) {
    if (transport.web) transport.web->close();
    else close_socket(transport.fd);
}

std::string transport_peer(const Transport& transport) {
    return transport.web ? transport.web->peer() : peer_address(transport.fd);
}

} // namespace cog
