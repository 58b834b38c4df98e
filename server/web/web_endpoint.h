// The host's web endpoint: HTTP for the browser client's files and WebSockets at WEB_SOCKET_PATH,
// run by libwebsockets inside the host's frame loop. service() never waits: it handles what the
// sockets hold right now, a bounded number of rounds, and returns.
#pragma once

#include "server/web/web_channel.h"
#include "server/web/tls_files.h"
#include "server/web/web_files.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct lws_context;
struct lws_vhost;

namespace cog::web {

inline constexpr const char* WEB_SOCKET_PATH = "/play";
// Bytes of request line and headers one HTTP request may carry.
inline constexpr int MAX_HTTP_HEADER_BYTES = 4096;
// Sockets the library may hold at once (browsers, page loads, the listener); connections beyond
// it wait in the kernel's backlog instead of costing memory.
inline constexpr unsigned MAX_WEB_SOCKETS = 512;
// Service rounds per call while channels still have output or a round read something; each round
// writes at most one message per channel and reads at most WEB_READ_BYTES per socket, so one
// call takes up to MAX_SERVICE_ROUNDS * WEB_READ_BYTES (32 KiB) from each socket.
inline constexpr int MAX_SERVICE_ROUNDS = 32;

// Bytes the library reads from a socket at a time (its service buffer, shared by every socket).
// The library inflates each read of a compressed message into an output buffer of
// 2^WEB_INFLATE_ROOM_POWER bytes; when that buffer fills before the read is used up, it leaves the
// rest of the read in the shared buffer to finish at a later service, after another socket's read
// has overwritten it (garbled messages, inflate errors), and when it fills at the very end of a
// message it aborts the process. Deflate expands a byte into at most 1032, so with this much room
// every read is inflated whole at once and nothing is ever left behind.
inline constexpr unsigned WEB_READ_BYTES = 1024;
inline constexpr int WEB_INFLATE_ROOM_POWER = 21;
static_assert(1032u * WEB_READ_BYTES + 65536u <= (1u << WEB_INFLATE_ROOM_POWER));

struct WebConfig {
    WebConfig() = default;
    // Plain HTTP, the common case; TLS files are set by name afterwards.
    WebConfig(uint16_t port_, std::string root_, bool deflate_) : port(port_), root(std::move(root_)), deflate(deflate_) {}
    uint16_t port = 0;     // 0: any free port
    std::string root;      // the web client's folder
    bool deflate = true;   // offer permessage-deflate
    // Both set: HTTPS and WSS on the port, with this PEM certificate (chain) and private key.
    std::string tls_certificate;
    std::string tls_key;
};

enum class WebError : uint8_t { None, NoFiles, ListenFailed, BadTlsFiles };
const char* web_error_name(WebError error);

class WebEndpoint {
public:
    // With TLS files that fail check_tls_files, BadTlsFiles and the reason in `tls_error`.
    static std::unique_ptr<WebEndpoint> open(const WebConfig& config, WebError& error,
                                             TlsFileError* tls_error = nullptr);
    ~WebEndpoint();
    WebEndpoint(const WebEndpoint&) = delete;
    WebEndpoint& operator=(const WebEndpoint&) = delete;

    uint16_t port() const { return port_; }
    // Served over TLS: the page is https:// and its WebSocket wss://.
    bool secure() const { return secure_; }
    // WebSockets the library holds open.
    size_t channel_count() const { return channels_.size(); }
    // Accepts, reads, writes and closes whatever is ready, without waiting.
    void service();
    // WebSockets opened since the last call. The endpoint keeps its own reference until the
    // library closes the socket.
    std::vector<std::shared_ptr<WebChannel>> take_opened();

    // Library callbacks land here.
    int on_event(struct lws* wsi, int reason, void* in, size_t len);

private:
    WebEndpoint() = default;
    void request_output();
    int write_one(WebChannel& channel);
    void flow_control();
    int serve_http(struct lws* wsi, const char* url);

    WebFiles files_;
    lws_context* context_ = nullptr;
    size_t received_bytes_ = 0; // message bytes handed to channels since the endpoint opened
    uint16_t port_ = 0;
    bool secure_ = false;
    // Shared with the channels, which the host may hold a little longer than the endpoint lives.
    std::shared_ptr<FramePool> received_pool_ = std::make_shared<FramePool>(MAX_WEB_RECEIVED_BYTES);
    std::map<struct lws*, std::shared_ptr<WebChannel>> channels_;
    std::vector<std::shared_ptr<WebChannel>> opened_;
};

} // namespace cog::web
