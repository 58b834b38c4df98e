// The host's end of a WebSocket, written by hand so that it can send what no library would: a
// message whose fragments never end, or one of tens of megabytes, plain or deflated.
#pragma once

#include "shared/protocol/json.h"
#include "tests/client/hostile_host.h"

#include <openssl/evp.h>
#include <openssl/sha.h>
#include <zlib.h>

namespace cog::client::hostile {

inline constexpr uint8_t WS_FIN = 0x80, WS_RSV1 = 0x40, WS_TEXT = 0x1, WS_CONTINUATION = 0x0;

// An unmasked frame header, as a server writes it.
inline std::string ws_header(uint8_t first_byte, uint64_t length) {
    std::string h(1, static_cast<char>(first_byte));
    if (length < 126) {
        h += static_cast<char>(length);
    } else if (length < 65536) {
        h += {static_cast<char>(126), static_cast<char>(length >> 8), static_cast<char>(length)};
    } else {
        h += static_cast<char>(127);
        for (int shift = 56; shift >= 0; shift -= 8) h += static_cast<char>(length >> shift);
    }
    return h;
}

// The server's side of permessage-deflate: one raw deflate stream across messages, each flushed
// to a byte boundary with its 00 00 FF FF tail left off.
class Deflater {
public:
    Deflater() { deflateInit2(&z_, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY); }
    ~Deflater() { deflateEnd(&z_); }
    // A whole compressed text message.
    std::string message(std::string_view body) {
        std::string out = flushed(body);
        out.resize(out.size() - 4);
        return ws_header(WS_FIN | WS_RSV1 | WS_TEXT, out.size()) + out;
    }
    // More of a message that never ends: zeros, a kilobyte on the wire for each megabyte inflated.
    std::string zeros(size_t inflated_bytes) { return flushed(std::string(inflated_bytes, '\0')); }

private:
    std::string flushed(std::string_view in) {
        std::string out(in.size() / 2 + 1024, '\0');
        z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
        z_.avail_in = static_cast<uInt>(in.size());
        z_.next_out = reinterpret_cast<Bytef*>(out.data());
        z_.avail_out = static_cast<uInt>(out.size());
        deflate(&z_, Z_SYNC_FLUSH);
        out.resize(out.size() - z_.avail_out);
        return out;
    }
    z_stream z_{};
};

class WsHostEnd final : public HostEnd {
public:
    using HostEnd::HostEnd;

    // Reads the client's upgrade request and answers it, agreeing to compress when `deflate`.
    bool handshake(bool deflate, int ms) {
        std::string request;
        const auto give_up = Clock::now() + std::chrono::milliseconds(ms);
        while (request.find("\r\n\r\n") == std::string::npos && Clock::now() < give_up) {
            char buffer[4096];
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n > 0) request.append(buffer, static_cast<size_t>(n));
            pollfd p{fd_, POLLIN, 0};
            poll(&p, 1, 10);
        }
        const size_t key_at = request.find("Sec-WebSocket-Key: ");
        if (key_at == std::string::npos) return false;
        const size_t key_end = request.find("\r\n", key_at);
        const std::string key = request.substr(key_at + 19, key_end - key_at - 19) + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";
        unsigned char digest[SHA_DIGEST_LENGTH];
        SHA1(reinterpret_cast<const unsigned char*>(key.data()), key.size(), digest);
        unsigned char accept[64];
        EVP_EncodeBlock(accept, digest, SHA_DIGEST_LENGTH);
        std::string answer = "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                             "Sec-WebSocket-Accept: " + std::string(reinterpret_cast<char*>(accept)) + "\r\n";
        if (deflate) answer += "Sec-WebSocket-Extensions: permessage-deflate; client_no_context_takeover\r\n";
        return send_all(answer + "\r\n");
    }

    // The client's frames are masked, and deflated each on its own when compression was agreed.
    int drain() override {
        char buffer[65536];
        for (ssize_t n; (n = ::recv(fd_, buffer, sizeof buffer, 0)) > 0;) in_.append(buffer, static_cast<size_t>(n));
        int inputs = 0;
        while (take_frame(inputs)) {
        }
        return inputs;
    }

private:
    bool take_frame(int& inputs) {
        if (in_.size() < 2) return false;
        const auto byte = [&](size_t i) { return static_cast<uint8_t>(in_[i]); };
        uint64_t length = byte(1) & 0x7f;
        size_t at = 2;
        if (length >= 126) {
            const size_t bytes = length == 126 ? 2 : 8;
            if (in_.size() < at + bytes) return false;
            length = 0;
            for (size_t i = 0; i < bytes; ++i) length = length << 8 | byte(at + i);
            at += bytes;
        }
        if (in_.size() < at + 4 + length) return false;
        std::string payload = in_.substr(at + 4, length);
        for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>(payload[i] ^ in_[at + i % 4]);
        const uint8_t first = byte(0);
        in_.erase(0, at + 4 + length);
        if ((first & 0x0f) > WS_TEXT) return true; // close, ping, pong
        message_ += first & WS_RSV1 ? inflate_message(payload) : payload;
        if (!(first & WS_FIN)) return true;
        ClientMessage message;
        std::pmr::monotonic_buffer_resource arena;
        if (!read_json(message_, message, &arena)) inputs += count_input(message);
        message_.clear();
        return true;
    }
    static std::string inflate_message(std::string payload) {
        payload += std::string("\x00\x00\xff\xff", 4);
        z_stream z{};
        inflateInit2(&z, -15);
        std::string out(1 << 16, '\0');
        z.next_in = reinterpret_cast<Bytef*>(payload.data());
        z.avail_in = static_cast<uInt>(payload.size());
        z.next_out = reinterpret_cast<Bytef*>(out.data());
        z.avail_out = static_cast<uInt>(out.size());
        inflate(&z, Z_SYNC_FLUSH);
        out.resize(out.size() - z.avail_out);
        inflateEnd(&z);
        return out;
    }

    std::string in_, message_;
};

} // namespace cog::client::hostile
