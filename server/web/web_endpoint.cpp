// libwebsockets set-up, its callback, file serving and the bounded service rounds.
#include "server/web/web_endpoint.h"

#include "server/web/deflate_offer.h"
#include "server/web/origin_check.h"

#include "shared/log/log.h"
#include "shared/log/printable.h"
#include "shared/protocol/picture_change.h"

#include <libwebsockets.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <malloc.h>
#include <netinet/in.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <strings.h>

namespace cog::web {

namespace {

// The library's own diagnostics, as host log lines (errors only: the rest is chatter).
void log_library_line(int level, const char* line) {
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (level & LLL_ERR) LOG_WARN("[WEB] %s", text.c_str());
}

// Called by OpenSSL once a ClientHello has been read, before the key exchange and the signature
// that make a handshake costly: one past the frame's budget is ended there, for next to nothing.
int on_client_hello(SSL* ssl, int* alert, void* endpoint) {
    (void)ssl;
    if (static_cast<WebEndpoint*>(endpoint)->admit_handshake()) return SSL_CLIENT_HELLO_SUCCESS;
    *alert = SSL_AD_HANDSHAKE_FAILURE;
    return SSL_CLIENT_HELLO_ERROR;
}

int callback(struct lws* wsi, enum lws_callback_reasons reason, void* user, void* in, size_t len) {
    auto* endpoint = static_cast<WebEndpoint*>(lws_context_user(lws_get_context(wsi)));
    if (!endpoint) return lws_callback_http_dummy(wsi, reason, user, in, len);
    // The TLS port's OpenSSL context, as the library sets it up.
    if (reason == LWS_CALLBACK_OPENSSL_LOAD_EXTRA_SERVER_VERIFY_CERTS) {
        SSL_CTX_set_client_hello_cb(static_cast<SSL_CTX*>(user), on_client_hello, endpoint);
        return 0;
    }
    return endpoint->on_event(wsi, static_cast<int>(reason), in, len);
}

// The most a received piece takes from the socket beyond its own bytes: a frame header (14) and
// deflate's block framing, with room to spare.
constexpr size_t PIECE_OVERHEAD_BYTES = 32;

// WebSockets closed before their memory is handed back to the system.
constexpr size_t CLOSES_PER_TRIM = 64;

// A piece at least this large was read into pages of the library's room that nothing else touches.
constexpr size_t RELEASED_PIECE_BYTES = 64 * 1024;

// The pages a received piece filled in the library's buffer (the inflater's output room, or the
// receive buffer for an uncompressed message) go back to the system once the channel has the
// bytes: the library writes that room afresh for each piece and never reads a piece again, so the
// megabytes one large message filled are held only while it is being read, not for the life of
// the socket. The room stays reserved; a later large piece touches its pages anew.
void release_piece_pages(const void* piece, size_t length) {
    if (length < RELEASED_PIECE_BYTES) return;
    const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const uintptr_t first = (reinterpret_cast<uintptr_t>(piece) + page - 1) & ~(page - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(piece) + length) & ~(page - 1);
    if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_DONTNEED);
}

const lws_protocols PROTOCOLS[] = {
    // Index 0 serves HTTP and any WebSocket that names no subprotocol (a browser's plain one).
    // The receive buffer's size is what lets the inflater have 2^WEB_INFLATE_ROOM_POWER bytes of
    // room (the library caps the room at it); outgoing messages go out in 64 KiB writes.
    {"cogwell", callback, 0, size_t{1} << WEB_INFLATE_ROOM_POWER, 0, nullptr, 65536},
    // A client that names this one gets its pictures as changes from the one before.
    {PICTURE_CHANGES_SUBPROTOCOL, callback, 0, size_t{1} << WEB_INFLATE_ROOM_POWER, 1, nullptr, 65536},
    {nullptr, nullptr, 0, 0, 0, nullptr, 0},
};

// The server keeps its compression context from message to message: consecutive pictures share
// most of their bytes, so each compresses to little more than its differences. The library's
// zlib level 1 is kept: about 28 times smaller pictures in the typing pool for the least CPU;
// level 3 reaches about 39 times for somewhat more, level 6 about 55 times for nearly twice as much.
const lws_extension EXTENSIONS[] = {
    {"permessage-deflate", lws_extension_callback_pm_deflate, "permessage-deflate; client_max_window_bits"},
    {nullptr, nullptr, nullptr},
};

// libwebsockets 4.1 resets its deflater after each message when the client promises to compress
// each of its own messages alone (client_no_context_takeover), and its inflater when the client
// asks the host to (server_no_context_takeover): the wrong way round. A client asking for the
// latter is sent messages that refer back to earlier ones it has already forgotten, and cannot
// read them. The two are set here the way the offer meant them.
void keep_context_as_offered(struct lws* wsi, const DeflateOffer& offer) {
    lws_set_extension_option(wsi, "permessage-deflate", "client_no_context_takeover",
                             offer.server_no_context_takeover ? "1" : "0");
    lws_set_extension_option(wsi, "permessage-deflate", "server_no_context_takeover",
                             offer.client_no_context_takeover ? "1" : "0");
}

// The compressor's settings are ours, whatever the browser's offer named: the library also takes
// its private options (buffer sizes, level, memory) from the offer, which would let a client
// shrink the inflater's room back to the size that corrupts and aborts, or make the host compress
// at its most expensive level. False when the browser did not agree to permessage-deflate.
bool set_deflate_options(struct lws* wsi) {
    const std::string room = std::to_string(WEB_INFLATE_ROOM_POWER);
    const std::string out_room = std::to_string(WEB_DEFLATE_ROOM_POWER);
    bool agreed = true;
    for (const auto& [name, value] : {std::pair<const char*, const char*>{"rx_buf_size", room.c_str()},
                                      {"tx_buf_size", out_room.c_str()},
                                      {"compression_level", "1"},
                                      {"mem_level", "8"}})
        agreed = lws_set_extension_option(wsi, "permessage-deflate", name, value) == 0 && agreed;
    return agreed;
}

PeerAddress peer_address_of(int fd) {
    PeerAddress peer;
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) return peer;
    char text[INET6_ADDRSTRLEN] = "?";
    if (address.ss_family == AF_INET) {
        const auto* in4 = reinterpret_cast<const sockaddr_in*>(&address);
        inet_ntop(AF_INET, &in4->sin_addr, text, sizeof text);
        peer.port = ntohs(in4->sin_port);
    } else if (address.ss_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&address);
        inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
        peer.port = ntohs(in6->sin6_port);
    }
    peer.host = text;
    return peer;
}

std::string header(struct lws* wsi, lws_token_indexes token) {
    const int length = lws_hdr_total_length(wsi, token);
    if (length <= 0) return {};
    std::string text(static_cast<size_t>(length) + 1, '\0');
    const int copied = lws_hdr_copy(wsi, text.data(), length + 1, token);
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

// The request line's and the known headers' bytes, with each header's separators.
size_t header_bytes(struct lws* wsi) {
    size_t total = 0;
    for (int token = 0; token < WSI_TOKEN_COUNT; ++token) {
        const int length = lws_hdr_total_length(wsi, static_cast<lws_token_indexes>(token));
        if (length > 0) total += static_cast<size_t>(length) + 4;
    }
    return total;
}

// Sockets the library may hold: as many as the process may open, since it looks sockets up by
// their number, and every socket of the process (game port, recording) takes a number.
unsigned file_limit() {
    constexpr rlim_t MOST = 1u << 20; // the library keeps a table entry per possible number
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return static_cast<unsigned>(MOST);
    return static_cast<unsigned>(std::min(limit.rlim_cur, MOST));
}

std::string request_path(struct lws* wsi) {
    char uri[MAX_HTTP_HEADER_BYTES];
    const int n = lws_hdr_copy(wsi, uri, sizeof uri, WSI_TOKEN_GET_URI);
    return n > 0 ? std::string(uri, static_cast<size_t>(n)) : std::string();
}

int complete_transaction(struct lws* wsi) { return lws_http_transaction_completed(wsi) ? -1 : 0; }

} // namespace

const char* web_error_name(WebError error) {
    switch (error) {
    case WebError::None: return "None";
    case WebError::NoFiles: return "NoFiles";
    case WebError::ListenFailed: return "ListenFailed";
    case WebError::BadTlsFiles: return "BadTlsFiles";
    }
    return "?";
}

PeerAddress WebEndpoint::address_of(int fd) const {
    const auto it = gated_peers_.find(fd);
    return it == gated_peers_.end() ? peer_address_of(fd) : it->second;
}

std::string WebEndpoint::peer_of(struct lws* wsi) const {
    const PeerAddress peer = address_of(lws_get_socket_fd(wsi));
    return peer.host + ":" + std::to_string(peer.port);
}

// The port the library would have opened: IPv4, every interface, non-blocking.
bool WebEndpoint::open_gated_listener(uint16_t port) {
    gated_listener_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (gated_listener_ < 0) return false;
    const int on = 1;
    setsockopt(gated_listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    socklen_t size = sizeof address;
    if (bind(gated_listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(gated_listener_, SOMAXCONN) != 0 ||
        getsockname(gated_listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return false;
    port_ = ntohs(address.sin_port);
    return true;
}

// New sockets wait at the gate until their first bytes are judged; those that pass are the
// library's from then on, exactly as if it had accepted them, header gone.
void WebEndpoint::pass_gate() {
    const int64_t now_ns = now_us_() * 1000;
    for (size_t taken = 0; taken < MAX_SOCKETS_AWAITING_HEADER; ++taken) {
        const int fd = accept4(gated_listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            break;
        }
        gate_.add(fd, now_ns);
    }
    for (const PassedSocket& passed : gate_.take_passed(now_ns, "[WEB] ")) {
        gated_peers_[passed.fd] = PeerAddress{passed.address, passed.port};
        if (!admit_socket(passed.fd)) {
            gated_peers_.erase(passed.fd);
            close(passed.fd);
        } else if (!lws_adopt_socket_vhost(vhost_, passed.fd)) { // the library has closed it
            gated_peers_.erase(passed.fd);
        }
    }
}

std::unique_ptr<WebEndpoint> WebEndpoint::open(const WebConfig& config, WebError& error, TlsFileError* tls_error) {
    std::unique_ptr<WebEndpoint> endpoint(new WebEndpoint());
    if (!endpoint->files_.load(config.root)) {
        error = WebError::NoFiles;
        return nullptr;
    }
    const bool secure = !config.tls_certificate.empty() || !config.tls_key.empty();
    const TlsFileError tls = secure ? check_tls_files(config.tls_certificate, config.tls_key) : TlsFileError::None;
    if (tls_error) *tls_error = tls;
    if (tls != TlsFileError::None) {
        error = WebError::BadTlsFiles;
        return nullptr;
    }
    lws_set_log_level(LLL_ERR, log_library_line);
    lws_context_creation_info info;
    std::memset(&info, 0, sizeof info);
    info.port = config.port;
    info.protocols = PROTOCOLS;
    info.extensions = config.deflate ? EXTENSIONS : nullptr;
    info.user = endpoint.get();
    info.max_http_header_data = LIBRARY_HEADER_ROOM;
    info.max_http_header_pool = HTTP_HEADER_POOL;
    info.timeout_secs = HANDSHAKE_TIMEOUT_S;      // a request or handshake left unfinished
    info.keepalive_timeout = HANDSHAKE_TIMEOUT_S; // an idle connection between requests
    info.pt_serv_buf_size = WEB_READ_BYTES;
    info.fd_limit_per_thread = file_limit();
    info.options = LWS_SERVER_OPTION_DISABLE_IPV6;
    info.server_string = "cogwell";
    endpoint->handshakes_ = HandshakeCounts(config.handshakes_per_address, int64_t{HANDSHAKE_TIMEOUT_S} * 1'000'000);
    endpoint->tls_admission_ = TlsAdmission(config.tls_sockets_per_address_second);
    endpoint->now_us_ = config.clock_us ? config.clock_us : [] { return int64_t{lws_now_usecs()}; };
    endpoint->allowed_origins_ = config.allowed_origins;
    const bool gated = !config.trusted_proxies.empty();
    if (gated) {
        endpoint->gate_.trust(config.trusted_proxies, int64_t{HANDSHAKE_TIMEOUT_S} * 1'000'000'000);
        info.port = CONTEXT_PORT_NO_LISTEN_SERVER;
    }
    if (secure) {
        // A player who typed the address without https:// is sent to it rather than met with silence.
        info.options |= LWS_SERVER_OPTION_DO_SSL_GLOBAL_INIT | LWS_SERVER_OPTION_ALLOW_NON_SSL_ON_SSL_PORT |
                        LWS_SERVER_OPTION_REDIRECT_HTTP_TO_HTTPS;
        info.ssl_cert_filepath = config.tls_certificate.c_str();
        info.ssl_private_key_filepath = config.tls_key.c_str();
    }
    endpoint->context_ = lws_create_context(&info);
    lws_vhost* vhost = endpoint->context_ ? lws_get_vhost_by_name(endpoint->context_, "default") : nullptr;
    const bool listening = gated ? vhost && endpoint->open_gated_listener(config.port)
                                 : vhost && lws_get_vhost_listen_port(vhost) > 0;
    if (!listening) {
        error = WebError::ListenFailed;
        return nullptr;
    }
    if (!gated) endpoint->port_ = static_cast<uint16_t>(lws_get_vhost_listen_port(vhost));
    endpoint->vhost_ = vhost;
    endpoint->secure_ = secure;
    error = WebError::None;
    return endpoint;
}

WebEndpoint::~WebEndpoint() {
    if (gated_listener_ >= 0) close(gated_listener_);
    if (!context_) return;
    // The callbacks that run while the context goes away must not reach a half-destroyed object.
    lws_context* context = context_;
    context_ = nullptr;
    lws_context_destroy(context);
    for (auto& [wsi, channel] : channels_) channel->wsi = nullptr;
}

// Until the host has them, new WebSockets still count against their address: however many one
// address opens at once, a service upgrades only its share before the host sees them.
std::vector<std::shared_ptr<WebChannel>> WebEndpoint::take_opened() {
    std::vector<std::shared_ptr<WebChannel>> opened;
    opened.swap(opened_);
    for (const auto& channel : opened)
        if (channel->wsi) handshakes_.remove(channel->wsi);
    return opened;
}

void WebEndpoint::service() {
    if (!context_) return;
    close_overdue_requests();
    if (gate_.enabled()) pass_gate();
    for (int round = 0; round < MAX_SERVICE_ROUNDS; ++round) {
        flow_control();
        request_output();
        const size_t activity_before = activity_;
        // A negative timeout polls without waiting.
        lws_service(context_, -1);
        // A socket that had a read's worth may have more: a large message must get in well
        // before its sender counts as stalled. Behind a refused socket may wait an honest one.
        bool more = activity_ != activity_before;
        for (const auto& [wsi, channel] : channels_) {
            more = more || channel->has_output();
            channel->read_this_round = 0; // for the next round, or the next service
        }
        if (!more) break;
    }
    flow_control();
    give_back_memory();
}

// A closed WebSocket's memory (the library's structures, its inflater's state and window, tens of
// kilobytes) goes back to malloc, which keeps it: after a burst of hundreds it is left in the
// middle of its heap. Handing it back to the system walks the whole heap, which can take
// milliseconds, so it is done only once many have closed, and at most once a second.
void WebEndpoint::give_back_memory() {
    const int64_t now_us = now_us_();
    if (closed_since_trim_ < CLOSES_PER_TRIM || now_us - trimmed_us_ < 1'000'000) return;
    malloc_trim(0);
    closed_since_trim_ = 0;
    trimmed_us_ = now_us;
}

// Straight from the host's frame, not from the library's writable callback: the frame's pictures
// leave at once, without each socket going through poll() for POLLOUT first. A socket still
// holding part of an earlier write waits for the library, which finishes that part first.
bool WebEndpoint::write_queued() {
    writing_.clear();
    bool left = false;
    for (const auto& [wsi, channel] : channels_) {
        left = left || channel->close_requested();
        if (channel->has_output() && channel->fault() == ChannelFault::None && !channel->close_requested())
            writing_.push_back(channel.get());
    }
    for (WebChannel* channel : writing_) {
        while (channel->wsi && channel->has_output() && !lws_partial_buffered(channel->wsi))
            if (write_one(*channel) != 0 || channel->fault() != ChannelFault::None) break;
        left = left || (channel->wsi && (channel->has_output() || lws_partial_buffered(channel->wsi)));
    }
    return left;
}

void WebEndpoint::request_output() {
    for (const auto& [wsi, channel] : channels_) {
        if (channel->close_requested()) lws_set_timeout(wsi, PENDING_TIMEOUT_CLOSE_SEND, LWS_TO_KILL_ASYNC);
        else if (channel->has_output() && channel->fault() == ChannelFault::None) lws_callback_on_writable(wsi);
    }
}

// Reading pauses while the host has not taken the messages already received.
void WebEndpoint::flow_control() {
    for (const auto& [wsi, channel] : channels_) {
        const bool pause = channel->inbox_full() || channel->fault() != ChannelFault::None;
        if (pause == channel->reading_paused) continue;
        channel->reading_paused = pause;
        lws_rx_flow_control(wsi, pause ? 0 : 1);
    }
}

int WebEndpoint::write_one(WebChannel& channel) {
    if (channel.close_requested()) return -1;
    if (!channel.has_output() || channel.fault() != ChannelFault::None) return 0;
    std::string& message = channel.next_output();
    const std::string_view body = std::string_view(message).substr(LWS_PRE);
    const int written = channel.host_deflates
                            ? write_deflated(channel, body)
                            : lws_write(channel.wsi, reinterpret_cast<unsigned char*>(message.data()) + LWS_PRE,
                                        body.size(), LWS_WRITE_TEXT);
    if (written < 0) {
        channel.set_fault(ChannelFault::Closed);
        return -1;
    }
    channel.pop_output();
    return 0;
}

// A frame the host compressed is, to the library, bytes to send: it passes them on as they are,
// keeping what the socket does not take yet, and its own compressor never runs for the channel.
int WebEndpoint::write_deflated(WebChannel& channel, std::string_view body) {
    const std::string_view frame = deflater_.send(channel.history, body);
    if (frame.empty()) return -1;
    return lws_write(channel.wsi, reinterpret_cast<unsigned char*>(const_cast<char*>(frame.data())), frame.size(),
                     LWS_WRITE_HTTP);
}

// Refused sockets are counted and logged at most once a second, so a flood of them cannot flood
// the log too.
void WebEndpoint::log_refusals() {
    const int64_t now_us = now_us_();
    if (refusals_unlogged_ == 0 || now_us - refusal_logged_us_ < 1'000'000) return;
    LOG_WARN("[WEB] Too many unfinished requests from one address, refused %zu", refusals_unlogged_);
    refusals_unlogged_ = 0;
    refusal_logged_us_ = now_us;
}

void WebEndpoint::log_tls_refusals() {
    const int64_t now_us = now_us_();
    if (tls_refusals_unlogged_ == 0 || now_us - tls_refusal_logged_us_ < 1'000'000) return;
    LOG_WARN("[WEB] Too many TLS handshakes, refused %zu", tls_refusals_unlogged_);
    tls_refusals_unlogged_ = 0;
    tls_refusal_logged_us_ = now_us;
}

bool WebEndpoint::admit_handshake() {
    if (tls_admission_.admits_handshake(now_us_())) return true;
    ++tls_refusals_unlogged_;
    log_tls_refusals();
    return false;
}

bool WebEndpoint::admit_socket(int fd) {
    const std::string address = address_of(fd).host;
    if (!handshakes_.admits(address)) {
        ++refusals_unlogged_;
        ++activity_;
        log_refusals();
        return false;
    }
    const TlsRefusal tls = secure_ ? tls_admission_.admits_socket(address, now_us_()) : TlsRefusal::None;
    if (tls == TlsRefusal::None) return true;
    ++tls_refusals_unlogged_;
    // Behind a socket refused for its address may wait another's; once the frame's budget is
    // spent, nothing more is taken until the next.
    if (tls == TlsRefusal::AddressRate) ++activity_;
    log_tls_refusals();
    return false;
}

namespace {

// The library's list of statuses stops short of this one.
constexpr unsigned HTTP_STATUS_HEADERS_TOO_LARGE = 431;

// Answers what ends the request; the connection stays for the next one.
int answer_status(struct lws* wsi, unsigned status) {
    if (lws_return_http_status(wsi, status, nullptr)) return -1;
    return 1;
}

bool headers_too_large(struct lws* wsi) { return header_bytes(wsi) > static_cast<size_t>(MAX_HTTP_HEADER_BYTES); }

} // namespace

// Only WebSockets are upgraded (never HTTP/2 in clear text, which nothing here needs), only
// within the header limit, and only from the host's own page, a native client or an allowed origin.
int WebEndpoint::confirm_upgrade(struct lws* wsi, const char* upgrade) {
    handshakes_.answered(wsi, now_us_()); // the upgrade must finish within a fresh timeout
    if (!upgrade || strcasecmp(upgrade, "websocket") != 0) return answer_status(wsi, HTTP_STATUS_FORBIDDEN);
    if (headers_too_large(wsi)) return answer_status(wsi, HTTP_STATUS_HEADERS_TOO_LARGE);
    const std::string origin = header(wsi, WSI_TOKEN_ORIGIN);
    if (origin_allowed(origin, header(wsi, WSI_TOKEN_HOST), allowed_origins_)) return 0;
    LOG_WARN("[WEB] Refused WebSocket from %s: origin '%s' not allowed", peer_of(wsi).c_str(), printable(origin).c_str());
    return answer_status(wsi, HTTP_STATUS_FORBIDDEN);
}

// The connection waits for its next request, which must come within the handshake timeout.
int WebEndpoint::finish_transaction(struct lws* wsi) {
    handshakes_.answered(wsi, now_us_());
    return complete_transaction(wsi);
}

// Requests (and TLS handshakes) that have taken too long to arrive whole are closed, however
// slowly their bytes keep coming: the library's own timeout starts again with every byte. They are
// closed outright: a keep-alive timeout would have the library say goodbye to a TLS peer and wait
// for its answer as long again.
void WebEndpoint::close_overdue_requests() {
    for (const void* socket : handshakes_.take_overdue(now_us_()))
        lws_set_timeout(static_cast<struct lws*>(const_cast<void*>(socket)), PENDING_TIMEOUT_USER_OK,
                        LWS_TO_KILL_ASYNC);
}

int WebEndpoint::serve_http(struct lws* wsi, const char* url) {
    handshakes_.request_arrived(wsi);
    if (headers_too_large(wsi)) {
        if (lws_return_http_status(wsi, HTTP_STATUS_HEADERS_TOO_LARGE, nullptr)) return -1;
        return finish_transaction(wsi);
    }
    const ServedFile* file = files_.find(url ? url : "");
    if (!file) {
        LOG_WARN("[WEB] Refused request for '%s' from %s: not a file of the web client", printable(url ? url : "").c_str(),
                 peer_of(wsi).c_str());
        if (lws_return_http_status(wsi, HTTP_STATUS_NOT_FOUND, nullptr)) return -1;
        return finish_transaction(wsi);
    }
    const int result = lws_serve_http_file(wsi, file->path.c_str(), file->mime, nullptr, 0);
    if (result < 0) return -1;
    return result > 0 ? finish_transaction(wsi) : 0;
}

int WebEndpoint::on_event(struct lws* wsi, int reason_number, void* in, size_t len) {
    const auto reason = static_cast<lws_callback_reasons>(reason_number);
    switch (reason) {
    case LWS_CALLBACK_HTTP: return serve_http(wsi, static_cast<const char*>(in));
    case LWS_CALLBACK_HTTP_FILE_COMPLETION: return finish_transaction(wsi);
    case LWS_CALLBACK_FILTER_NETWORK_CONNECTION:
        return admit_socket(static_cast<int>(reinterpret_cast<intptr_t>(in))) ? 0 : 1;
    case LWS_CALLBACK_SERVER_NEW_CLIENT_INSTANTIATED:
        handshakes_.add(wsi, address_of(lws_get_socket_fd(wsi)).host, now_us_());
        return lws_callback_http_dummy(wsi, reason, nullptr, in, len);
    case LWS_CALLBACK_WSI_DESTROY:
        handshakes_.remove(wsi);
        gated_peers_.erase(lws_get_socket_fd(wsi));
        return lws_callback_http_dummy(wsi, reason, nullptr, in, len);
    case LWS_CALLBACK_HTTP_CONFIRM_UPGRADE: return confirm_upgrade(wsi, static_cast<const char*>(in));
    case LWS_CALLBACK_FILTER_PROTOCOL_CONNECTION: {
        const std::string path = request_path(wsi);
        // Plain HTTP on a TLS port is only let in to be redirected; its WebSockets stay shut.
        if (secure_ && !lws_is_ssl(wsi)) {
            LOG_WARN("[WEB] Refused a WebSocket without TLS from %s", peer_of(wsi).c_str());
            return 1;
        }
        if (path == WEB_SOCKET_PATH) return 0;
        LOG_WARN("[WEB] Refused WebSocket at '%s' from %s", printable(path).c_str(), peer_of(wsi).c_str());
        return 1;
    }
    case LWS_CALLBACK_ESTABLISHED: {
        handshakes_.request_arrived(wsi); // counted until the host takes it, with no deadline
        auto channel = std::make_shared<WebChannel>(received_pool_);
        channel->wsi = wsi;
        channel->peer_ = peer_of(wsi);
        const lws_protocols* protocol = lws_get_protocol(wsi);
        channel->picture_changes = protocol && std::strcmp(protocol->name, PICTURE_CHANGES_SUBPROTOCOL) == 0;
        const bool deflating = set_deflate_options(wsi);
        const DeflateOffer offer = first_deflate_offer(header(wsi, WSI_TOKEN_EXTENSIONS));
        keep_context_as_offered(wsi, offer);
        channel->host_deflates = deflating && channel->picture_changes;
        channel->history.window_bits = offer.server_max_window_bits;
        channel->history.kept = !offer.server_no_context_takeover;
        channels_[wsi] = channel;
        opened_.push_back(std::move(channel));
        return 0;
    }
    case LWS_CALLBACK_RECEIVE: {
        const auto it = channels_.find(wsi);
        if (it == channels_.end()) return -1;
        const bool last = lws_is_final_fragment(wsi) && lws_remaining_packet_payload(wsi) == 0;
        // The library reads a socket WEB_READ_BYTES at a time: one that gave that much in this
        // round may hold more, one that gave less has been read to its end. A piece costs the
        // socket at most PIECE_OVERHEAD_BYTES more than it delivers (its frame's header, deflate's
        // framing of bytes that did not compress).
        it->second->read_this_round += len + PIECE_OVERHEAD_BYTES;
        if (it->second->read_this_round >= WEB_READ_BYTES) ++activity_;
        it->second->receive(std::string_view(static_cast<const char*>(in), len), last);
        release_piece_pages(in, len);
        if (it->second->fault() != ChannelFault::None || it->second->inbox_full()) flow_control();
        return 0;
    }
    case LWS_CALLBACK_SERVER_WRITEABLE: {
        const auto it = channels_.find(wsi);
        return it == channels_.end() ? -1 : write_one(*it->second);
    }
    case LWS_CALLBACK_CLOSED: {
        const auto it = channels_.find(wsi);
        if (it == channels_.end()) return 0;
        it->second->set_fault(ChannelFault::Closed);
        it->second->wsi = nullptr;
        channels_.erase(it);
        ++closed_since_trim_;
        return 0;
    }
    default: return lws_callback_http_dummy(wsi, reason, nullptr, in, len);
    }
}

} // namespace cog::web
