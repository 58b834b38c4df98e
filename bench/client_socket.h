// Client-side helpers for the load tools: a loopback connection and a framed ClientMessage.
#pragma once

#include "shared/protocol/json.h"

#include <arpa/inet.h>
#include <cstdint>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace cog::bench {

// A no-delay TCP connection to 127.0.0.1:port, or -1.
inline int connect_loopback(uint16_t port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    inet_pton(AF_INET, "127.0.0.1", &addr.sin_addr);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(fd);
        return -1;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

// The length-prefixed frame of a message.
inline std::string frame_of(const ClientMessage& message) {
    std::string text;
    write_json(text, message);
    const uint32_t n = static_cast<uint32_t>(text.size());
    return std::string{static_cast<char>(n >> 24), static_cast<char>(n >> 16), static_cast<char>(n >> 8),
                       static_cast<char>(n)} +
           text;
}

inline void send_frame(int fd, const ClientMessage& message) {
    const std::string frame = frame_of(message);
    send(fd, frame.data(), frame.size(), MSG_NOSIGNAL);
}

} // namespace cog::bench
