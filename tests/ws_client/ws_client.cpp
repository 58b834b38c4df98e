// Handshake, framing (RFC 6455) and permessage-deflate (RFC 7692) on the client side.
#include "tests/ws_client/ws_client.h"

#include <algorithm>

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace cog::test {

namespace {

int connect_loopback(uint16_t port, const char* source) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in from{};
    from.sin_family = AF_INET;
    inet_pton(AF_INET, source, &from.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0) {
        ::close(fd);
        return -1;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    inet_pton(AF_INET, "127.0.0.1", &addr.sin_addr);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    return fd;
}

bool has_header(std::string_view head, std::string_view needle) {
    std::string lower(head);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower.find(needle) != std::string::npos;
}

// The value of a header (named in lower case), trimmed; empty when absent.
std::string header_value(std::string_view head, std::string_view name) {
    std::string lower(head);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const size_t at = lower.find("\r\n" + std::string(name) + ":");
    if (at == std::string::npos) return {};
    size_t begin = at + 3 + name.size();
    const size_t end = head.find("\r\n", begin);
    std::string value(head.substr(begin, end == std::string::npos ? std::string_view::npos : end - begin));
    while (!value.empty() && value.front() == ' ') value.erase(0, 1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\r')) value.pop_back();
    return value;
}

} // namespace

WsClient::WsClient(uint16_t port, bool deflate, std::string_view path, std::string_view protocol, const char* source) {
    fd_ = connect_loopback(port, source);
    std::string request = "GET " + std::string(path) + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                          "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                          "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n";
    if (deflate) request += "Sec-WebSocket-Extensions: permessage-deflate; client_max_window_bits\r\n";
    if (!protocol.empty()) request += "Sec-WebSocket-Protocol: " + std::string(protocol) + "\r\n";
    request += "\r\n";
    out_ = request;
    flush();
}

WsClient::~WsClient() {
    if (fd_ >= 0) ::close(fd_);
    if (inflater_ready_) inflateEnd(&inflater_);
    if (deflater_ready_) deflateEnd(&deflater_);
}

bool WsClient::flush() {
    while (fd_ >= 0 && !out_.empty()) {
        const ssize_t n = ::send(fd_, out_.data(), out_.size(), MSG_NOSIGNAL);
        if (n <= 0) return false;
        out_.erase(0, static_cast<size_t>(n));
    }
    return out_.empty();
}

void WsClient::send_text(std::string_view body) { queue_frame(0x81, body); } // FIN, text

void WsClient::send_compressed(std::string_view body) {
    // One compressor for the connection, as the server keeps its inflater from message to
    // message: a repeated message costs a few bytes. Settings as a browser's: the default level,
    // and the largest window the server allowed.
    if (!deflater_ready_) {
        deflateInit2(&deflater_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -client_window_bits_, 8, Z_DEFAULT_STRATEGY);
        deflater_ready_ = true;
    }
    std::string out(deflateBound(&deflater_, static_cast<uLong>(body.size())) + 16, '\0');
    deflater_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.data()));
    deflater_.avail_in = static_cast<uInt>(body.size());
    deflater_.next_out = reinterpret_cast<Bytef*>(out.data());
    deflater_.avail_out = static_cast<uInt>(out.size());
    deflate(&deflater_, Z_SYNC_FLUSH);
    out.resize(out.size() - deflater_.avail_out - 4); // the 00 00 FF FF tail is left off on the wire
    queue_frame(0xC1, out);                             // FIN, compressed (RSV1), text
}

void WsClient::queue_frame(unsigned char first_byte, std::string_view body) {
    std::string frame;
    frame.push_back(static_cast<char>(first_byte));
    const size_t n = body.size();
    if (n < 126) {
        frame.push_back(static_cast<char>(0x80 | n));
    } else if (n < 65536) {
        frame.push_back(static_cast<char>(0x80 | 126));
        frame.push_back(static_cast<char>(n >> 8));
        frame.push_back(static_cast<char>(n));
    } else {
        frame.push_back(static_cast<char>(0x80 | 127));
        for (int shift = 56; shift >= 0; shift -= 8) frame.push_back(static_cast<char>(static_cast<uint64_t>(n) >> shift));
    }
    const unsigned char mask[4] = {0x12, 0x34, 0x56, 0x78};
    frame.append(reinterpret_cast<const char*>(mask), 4);
    const size_t start = frame.size();
    frame.append(body);
    for (size_t i = 0; i < n; ++i) frame[start + i] = static_cast<char>(frame[start + i] ^ mask[i % 4]);
    out_ += frame;
    flush();
}

bool WsClient::read_some(int wait_ms) {
    flush();
    if (fd_ < 0 || closed_) return false;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, wait_ms) <= 0) return false;
    char buffer[65536];
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n <= 0) {
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) closed_ = true;
        return false;
    }
    wire_bytes_ += static_cast<size_t>(n);
    in_.append(buffer, static_cast<size_t>(n));
    if (!open_) parse_handshake();
    return true;
}

void WsClient::parse_handshake() {
    const size_t end = in_.find("\r\n\r\n");
    if (end == std::string::npos) return;
    const std::string head = in_.substr(0, end);
    in_.erase(0, end + 4);
    open_ = head.rfind("HTTP/1.1 101", 0) == 0;
    deflate_ = open_ && has_header(head, "sec-websocket-extensions: permessage-deflate");
    if (!open_) closed_ = true;
    protocol_ = header_value(head, "sec-websocket-protocol");
    const std::string extensions = header_value(head, "sec-websocket-extensions");
    constexpr std::string_view WINDOW_BITS = "client_max_window_bits=";
    const size_t bits = extensions.find(WINDOW_BITS);
    if (bits != std::string::npos)
        client_window_bits_ = std::clamp(std::atoi(extensions.c_str() + bits + WINDOW_BITS.size()), 9, 15);
    if (deflate_) {
        inflateInit2(&inflater_, -15); // raw deflate, the stream kept from message to message
        inflater_ready_ = true;
    }
}

bool WsClient::wait_open(int wait_ms) {
    while (!open_ && !closed_ && read_some(wait_ms)) {
    }
    return open_;
}

bool WsClient::take_frame(std::vector<std::string>& out) {
    if (in_.size() < 2) return false;
    const auto* b = reinterpret_cast<const unsigned char*>(in_.data());
    const bool fin = (b[0] & 0x80) != 0;
    const bool rsv1 = (b[0] & 0x40) != 0;
    const int opcode = b[0] & 0x0F;
    uint64_t length = b[1] & 0x7F;
    size_t at = 2;
    if (length == 126) {
        if (in_.size() < 4) return false;
        length = (uint64_t{b[2]} << 8) | b[3];
        at = 4;
    } else if (length == 127) {
        if (in_.size() < 10) return false;
        length = 0;
        for (int i = 0; i < 8; ++i) length = (length << 8) | b[2 + i];
        at = 10;
    }
    if (in_.size() < at + length) return false;
    const std::string payload = in_.substr(at, length);
    in_.erase(0, at + length);
    if (opcode == 0x8) {
        closed_ = true;
        return true;
    }
    if (opcode == 0x9 || opcode == 0xA) return true; // ping, pong: nothing to deliver
    if (opcode != 0x0) message_compressed_ = rsv1;
    message_ += payload;
    if (!fin) return true;
    std::string body;
    if (message_compressed_ && inflater_ready_) {
        // The sender's flush leaves off the 00 00 FF FF tail; put it back before inflating.
        std::string input = message_ + std::string("\x00\x00\xff\xff", 4);
        inflater_.next_in = reinterpret_cast<Bytef*>(input.data());
        inflater_.avail_in = static_cast<uInt>(input.size());
        char chunk[65536];
        do {
            inflater_.next_out = reinterpret_cast<Bytef*>(chunk);
            inflater_.avail_out = sizeof chunk;
            const int result = inflate(&inflater_, Z_SYNC_FLUSH);
            if (result != Z_OK && result != Z_BUF_ERROR) break;
            body.append(chunk, sizeof chunk - inflater_.avail_out);
        } while (inflater_.avail_in > 0 || inflater_.avail_out == 0);
    } else {
        body = std::move(message_);
    }
    message_.clear();
    message_bytes_ += body.size();
    out.push_back(std::move(body));
    return true;
}

std::vector<std::string> WsClient::receive(int wait_ms) {
    std::vector<std::string> out;
    for (;;) {
        while (open_ && take_frame(out)) {
        }
        if (!read_some(wait_ms)) break;
    }
    while (open_ && take_frame(out)) {
    }
    return out;
}

bool WsClient::closed_by_peer(int wait_ms) {
    std::vector<std::string> ignored;
    while (!closed_ && read_some(wait_ms)) {
        while (open_ && take_frame(ignored)) {
        }
    }
    return closed_;
}

HttpGet::HttpGet(uint16_t port, std::string_view raw_path, std::string_view extra_headers, const char* source) {
    fd_ = connect_loopback(port, source);
    const std::string request = "GET " + std::string(raw_path) + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                                "\r\n" + std::string(extra_headers.empty() ? "Connection: close\r\n" : extra_headers) +
                                "\r\n";
    if (fd_ < 0 || ::send(fd_, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size()))
        done_ = true;
}

HttpGet::~HttpGet() {
    if (fd_ >= 0) ::close(fd_);
}

bool HttpGet::poll(int wait_ms) {
    pollfd p{fd_, POLLIN, 0};
    char buffer[65536];
    while (!done_ && ::poll(&p, 1, wait_ms) > 0) {
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n <= 0) {
            done_ = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
            break;
        }
        in_.append(buffer, static_cast<size_t>(n));
    }
    const size_t head_end = in_.find("\r\n\r\n");
    if (!done_ && head_end != std::string::npos) {
        // Complete when the declared length is in (a keep-alive server may leave the socket open).
        std::string head = in_.substr(0, head_end);
        for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const size_t at = head.find("content-length:");
        if (at != std::string::npos && in_.size() - head_end - 4 >= std::stoul(head.substr(at + 15))) done_ = true;
    }
    return done_;
}

int HttpGet::status() const {
    return in_.rfind("HTTP/1.", 0) == 0 && in_.size() > 12 ? std::atoi(in_.c_str() + 9) : 0;
}

std::string HttpGet::body() const {
    const size_t at = in_.find("\r\n\r\n");
    return at == std::string::npos ? std::string() : in_.substr(at + 4);
}

DribblingRequest::DribblingRequest(uint16_t port, const char* source) {
    fd_ = connect_loopback(port, source);
    if (fd_ >= 0) (void)::send(fd_, "GET / HTTP/1.1\r\n", 16, MSG_NOSIGNAL);
}

DribblingRequest::~DribblingRequest() {
    if (fd_ >= 0) ::close(fd_);
}

void DribblingRequest::dribble() {
    if (fd_ >= 0) (void)::send(fd_, "X-A: b\r\n", 8, MSG_NOSIGNAL);
}

bool DribblingRequest::closed_by_peer() {
    if (fd_ < 0) return true;
    char byte;
    const ssize_t n = ::recv(fd_, &byte, 1, 0);
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
}

} // namespace cog::test
