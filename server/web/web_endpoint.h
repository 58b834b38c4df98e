// The host's web endpoint: HTTP for the browser client's files and WebSockets at WEB_SOCKET_PATH,
// run by libwebsockets inside the host's frame loop. service() never waits: it handles what the
// sockets hold right now, a bounded number of rounds, and returns.
#pragma once

#include "server/web/handshake_counts.h"
#include "server/web/pair_deflater.h"
#include "server/web/proxy_gate.h"
#include "server/web/tls_admission.h"
#include "server/web/tls_files.h"
#include "server/web/web_channel.h"
#include "server/web/web_files.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct lws_context;
struct lws_vhost;

namespace cog::web {

inline constexpr const char* WEB_SOCKET_PATH = "/play";
// Bytes of request line and headers one HTTP request may carry; more is answered 431. The
// library keeps LIBRARY_HEADER_ROOM bytes per request being read (it closes a request that
// outgrows even that), of which the URI and the headers it knows are counted against the limit.
inline constexpr int MAX_HTTP_HEADER_BYTES = 4096;
inline constexpr int LIBRARY_HEADER_ROOM = 4 * MAX_HTTP_HEADER_BYTES;
// Requests the library reads at once (each holding LIBRARY_HEADER_ROOM); others wait their turn.
inline constexpr int HTTP_HEADER_POOL = 64;
// Sockets one address may hold on the web port before the host has them as WebSockets, by
// default: two browsers loading the page at once (six connections each) and their upgrades.
inline constexpr unsigned DEFAULT_HANDSHAKES_PER_ADDRESS = 16;
// Seconds a TLS handshake, a request or an upgrade may take to arrive whole, and an idle
// keep-alive may last.
inline constexpr int HANDSHAKE_TIMEOUT_S = 5;
// Service rounds per call while channels still have output or a round read or refused something;
// each round writes at most one message per channel, reads at most WEB_READ_BYTES per socket and
// refuses at most one socket, so one call takes up to MAX_SERVICE_ROUNDS * WEB_READ_BYTES (32 KiB)
// from each socket.
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
// The compressor likewise deflates each outgoing message into 2^WEB_DEFLATE_ROOM_POWER bytes. When
// they fill before the message is used up, the library keeps pointing at the rest of the message
// and deflates it at a later service, after the message has been freed. Stored blocks cost at most
// 5 bytes per 16 KiB, so with this much room every message is deflated whole in one step; only the
// part a message actually fills is ever touched.
inline constexpr int WEB_DEFLATE_ROOM_POWER = 21;
static_assert(MAX_WEB_SEND_BYTES + MAX_WEB_SEND_BYTES / 1024 + 64 <= (size_t{1} << WEB_DEFLATE_ROOM_POWER));

struct WebConfig {
    WebConfig() = default;
    // Plain HTTP, the common case; TLS files are set by name afterwards.
    WebConfig(uint16_t port_, std::string root_, bool deflate_) : port(port_), root(std::move(root_)), deflate(deflate_) {}
    uint16_t port = 0;     // 0: any free port
    std::string root;      // the web client's folder
    bool deflate = true;   // offer permessage-deflate
    unsigned handshakes_per_address = DEFAULT_HANDSHAKES_PER_ADDRESS; // 0: no limit
    // New TLS sockets one address may open per second (0: no limit; 127.0.0.1 and ::1 never
    // counted). Whoever opens them, a few handshakes a frame at most are worked on.
    unsigned tls_sockets_per_address_second = DEFAULT_TLS_SOCKETS_PER_ADDRESS_SECOND;
    // Pages served elsewhere whose WebSockets are accepted besides the host's own page ("*": any).
    std::vector<std::string> allowed_origins;
    // Both set: HTTPS and WSS on the port, with this PEM certificate (chain) and private key.
    std::string tls_certificate;
    std::string tls_key;
    // Front doors whose connections start with a PROXY header naming the player; empty: none, and
    // the library listens on the port itself, as it always has.
    std::vector<TrustedNet> trusted_proxies;
    // Microseconds of a steady clock for the endpoint's deadlines and budgets; empty: the library's.
    std::function<int64_t()> clock_us;
};

// A socket's peer as the per-address limits and the log see it.
struct PeerAddress {
    std::string host = "?"; // the address alone, what per-address limits count
    uint16_t port = 0;
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
    // Writes the messages queued since, as far as each socket takes them now; what is left goes
    // at a later service. True when something is left, or a channel is to be closed.
    bool write_queued();
    // WebSockets opened since the last call. The endpoint keeps its own reference until the
    // library closes the socket.
    std::vector<std::shared_ptr<WebChannel>> take_opened();

    // Library callbacks land here.
    int on_event(struct lws* wsi, int reason, void* in, size_t len);
    // A ClientHello has arrived: whether this frame's handshake budget lets it be answered.
    bool admit_handshake();
    // Sockets refused at the gate of trusted front doors, since the start.
    size_t proxy_refusals() const { return gate_.refused_total(); }

private:
    WebEndpoint() = default;
    void request_output();
    int write_one(WebChannel& channel);
    int write_deflated(WebChannel& channel, std::string_view body);
    void flow_control();
    int serve_http(struct lws* wsi, const char* url);
    bool admit_socket(int fd);
    int confirm_upgrade(struct lws* wsi, const char* upgrade);
    void log_refusals();
    void log_tls_refusals();
    int finish_transaction(struct lws* wsi);
    void close_overdue_requests();
    void give_back_memory();
    bool open_gated_listener(uint16_t port);
    void pass_gate();
    PeerAddress address_of(int fd) const;
    std::string peer_of(struct lws* wsi) const;

    WebFiles files_;
    lws_context* context_ = nullptr;
    // Work that may have more of its kind waiting: a socket that gave a whole read's worth, and
    // sockets refused (the library takes no other socket from its listener in a round that
    // refused one).
    size_t activity_ = 0;
    std::function<int64_t()> now_us_; // µs
    HandshakeCounts handshakes_;
    TlsAdmission tls_admission_;
    size_t tls_refusals_unlogged_ = 0; // TLS sockets and handshakes refused since the last log line
    int64_t tls_refusal_logged_us_ = 0;
    size_t closed_since_trim_ = 0;     // WebSockets closed since freed memory was last given back
    int64_t trimmed_us_ = 0;           // the library's clock then
    std::vector<std::string> allowed_origins_;
    size_t refusals_unlogged_ = 0;   // sockets refused for their address since the last log line
    int64_t refusal_logged_us_ = 0;  // the library's clock at that line
    uint16_t port_ = 0;
    bool secure_ = false;
    // Shared with the channels, which the host may hold a little longer than the endpoint lives.
    std::shared_ptr<FramePool> received_pool_ = std::make_shared<FramePool>(MAX_WEB_RECEIVED_BYTES);
    std::map<struct lws*, std::shared_ptr<WebChannel>> channels_;
    std::vector<std::shared_ptr<WebChannel>> opened_;
    std::vector<WebChannel*> writing_; // write_queued()'s list, kept from call to call
    // Shared by the channels taking picture changes, which are mostly sent the same messages.
    PairDeflater deflater_;
    // With trusted front doors the endpoint listens itself: each new socket passes the gate
    // before the library sees a byte of it, and is known by the address it passed with.
    ProxyGate gate_;
    int gated_listener_ = -1;
    lws_vhost* vhost_ = nullptr;
    std::map<int, PeerAddress> gated_peers_; // socket -> the address it passed the gate with
};

} // namespace cog::web
