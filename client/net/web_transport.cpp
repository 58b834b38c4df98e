// libwebsockets as a client: one context per transport, serviced without waiting, messages kept
// whole and bounded, reading paused by flow control once a frame's share has arrived.
#include "client/net/web_transport.h"

#include "shared/log/log.h"
#include "shared/protocol/picture_change.h"

#include <libwebsockets.h>

#include <arpa/inet.h>
#include <linux/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace cog::client {

namespace {

// Library service calls per read at most; each reads one buffer per ready socket.
constexpr int SERVICE_ROUNDS = 32;
constexpr unsigned SERVICE_BUFFER = 65536; // bytes the library reads from the socket at once
// The library's own limit on an unanswered handshake; the frame loop gives up sooner.
constexpr unsigned LIBRARY_TIMEOUT_S = 5;
constexpr int WAIT_STEP_MS = 5; // while open() waits before any window exists
constexpr const char* SYSTEM_CA_BUNDLE = "/etc/ssl/certs/ca-certificates.crt";

void log_library_line(int level, const char* line) {
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (level & LLL_ERR) LOG_WARN("[WS] %s", text.c_str());
}

int callback(struct lws* wsi, enum lws_callback_reasons reason, void* user, void* in, size_t len) {
    auto* transport = static_cast<WebTransport*>(lws_context_user(lws_get_context(wsi)));
    if (!transport) return lws_callback_http_dummy(wsi, reason, user, in, len);
    return transport->on_event(wsi, static_cast<int>(reason), in, len);
}

const lws_protocols PROTOCOLS[] = {
    {"cogwell", callback, 0, SERVICE_BUFFER, 0, nullptr, 0},
    // Asked for on every connection: the host then sends most pictures as changes.
    {PICTURE_CHANGES_SUBPROTOCOL, callback, 0, SERVICE_BUFFER, 1, nullptr, 0},
    {nullptr, nullptr, 0, 0, 0, nullptr, 0},
};

// The host keeps its compression context across messages, so each picture costs about its
// differences from the last one.
const lws_extension EXTENSIONS[] = {
    {"permessage-deflate", lws_extension_callback_pm_deflate, "permessage-deflate; client_max_window_bits"},
    {nullptr, nullptr, nullptr},
};

// The library names a failed attempt in words only, and says "Unable to connect" when the TCP
// handshake failed, most often because nothing listens on the port.
ConnectError error_from_reason(const char* text) {
    if (!text) return ConnectError::Failed;
    if (std::strstr(text, "Unable to connect")) return ConnectError::Refused;
    if (std::strstr(text, "timed out") || std::strstr(text, "timeout")) return ConnectError::TimedOut;
    return ConnectError::Failed;
}

uint64_t wire_bytes_of(struct lws* wsi) {
    tcp_info info{};
    socklen_t size = sizeof info;
    if (getsockopt(lws_get_socket_fd(wsi), IPPROTO_TCP, TCP_INFO, &info, &size) != 0) return 0;
    return size >= offsetof(tcp_info, tcpi_bytes_received) + sizeof info.tcpi_bytes_received ? info.tcpi_bytes_received
                                                                                              : 0;
}

} // namespace

WebTransport::~WebTransport() {
    close();
    if (!context_) return;
    // Callbacks that run while the context goes away must find nothing to act on.
    lws_context* context = context_;
    context_ = nullptr;
    lws_context_destroy(context);
}

bool WebTransport::make_context() {
    lws_set_log_level(LLL_ERR, log_library_line);
    lws_context_creation_info info;
    std::memset(&info, 0, sizeof info);
    info.port = CONTEXT_PORT_NO_LISTEN;
    info.protocols = PROTOCOLS;
    info.extensions = EXTENSIONS;
    info.user = this;
    info.pt_serv_buf_size = SERVICE_BUFFER;
    info.timeout_secs = LIBRARY_TIMEOUT_S;
    info.gid = -1;
    info.uid = -1;
    // Ready for wss://: OpenSSL set up once, host certificates checked against Debian's bundle.
    info.options = LWS_SERVER_OPTION_DO_SSL_GLOBAL_INIT;
    if (access(SYSTEM_CA_BUNDLE, R_OK) == 0) info.client_ssl_ca_filepath = SYSTEM_CA_BUNDLE;
    context_ = lws_create_context(&info);
    return context_ != nullptr;
}

void WebTransport::service_once() {
    // A negative timeout polls without waiting; 0 would sleep until the library's next timer.
    if (context_) lws_service(context_, -1);
}

void WebTransport::close() {
    struct lws* wsi = wsi_;
    wsi_ = nullptr;
    stage_ = Stage::Closed; // the callbacks of the closing below find nothing to act on
    if (wsi) lws_set_timeout(wsi, PENDING_TIMEOUT_CLOSE_SEND, LWS_TO_KILL_SYNC);
    outbox_.clear();
    outbox_bytes_ = 0;
    partial_.clear();
    skipping_ = false;
    skipped_ = 0;
    paused_ = false;
    message_bytes_ = 0;
    wire_bytes_ = 0;
    compressed_ = false;
}

std::string web_play_path(const std::string& room) {
    return room.empty() ? std::string(WEB_PLAY_PATH) : "/r/" + room + WEB_PLAY_PATH;
}

ConnectError WebTransport::start_connect(const HostAddress& host) {
    close();
    if (!context_ && !make_context()) return ConnectError::Failed;
    char text[INET_ADDRSTRLEN] = "";
    inet_ntop(AF_INET, &host.address.sin_addr, text, sizeof text);
    const int port = ntohs(host.address.sin_port);
    address_text_ = text; // numeric: the library's lookup of it never waits
    host_name_ = (host.name.empty() ? address_text_ : host.name) + ":" + std::to_string(port);
    lws_client_connect_info info;
    std::memset(&info, 0, sizeof info);
    info.context = context_;
    info.address = address_text_.c_str();
    info.port = port;
    path_ = web_play_path(host.room);
    info.path = path_.c_str();
    info.protocol = PICTURE_CHANGES_SUBPROTOCOL;
    info.host = host_name_.c_str();
    info.origin = host_name_.c_str();
    info.ietf_version_or_minus_one = -1;
    info.pwsi = &wsi_;
    if (host.tls) {
        info.ssl_connection = LCCSCF_USE_SSL;
        if (host.insecure)
            info.ssl_connection |= LCCSCF_ALLOW_SELFSIGNED | LCCSCF_SKIP_SERVER_CERT_HOSTNAME_CHECK | LCCSCF_ALLOW_EXPIRED;
    }
    stage_ = Stage::Connecting;
    failure_ = ConnectError::None;
    if (!lws_client_connect_via_info(&info)) {
        wsi_ = nullptr;
        stage_ = Stage::Closed;
        return failure_ != ConnectError::None ? failure_ : ConnectError::Failed;
    }
    return finish_connect();
}

ConnectError WebTransport::finish_connect() {
    if (stage_ == Stage::Connecting) service_once();
    switch (stage_) {
    case Stage::Connecting: return ConnectError::InProgress;
    case Stage::Open:
    case Stage::PeerGone: return ConnectError::None;
    case Stage::Closed: break;
    }
    const ConnectError failure = failure_ != ConnectError::None ? failure_ : ConnectError::Failed;
    close();
    return failure;
}

ConnectError WebTransport::wait_connect(int timeout_ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        const ConnectError result = finish_connect();
        if (result != ConnectError::InProgress) return result;
        if (std::chrono::steady_clock::now() >= deadline) {
            close();
            return ConnectError::TimedOut;
        }
        pollfd p{wsi_ ? lws_get_socket_fd(wsi_) : -1, POLLIN, 0};
        ::poll(&p, 1, WAIT_STEP_MS);
    }
}

ProtocolError WebTransport::send(std::string_view body) {
    if (stage_ != Stage::Open || !wsi_) return ProtocolError::ConnectionClosed;
    if (outbox_bytes_ + body.size() > MAX_OUTBOX) return ProtocolError::SendFailed;
    std::string& message = outbox_.emplace_back(LWS_PRE, '\0');
    message.append(body);
    outbox_bytes_ += body.size();
    lws_callback_on_writable(wsi_);
    service_once(); // written now rather than at the next frame's read
    return stage_ == Stage::Open ? ProtocolError::None : ProtocolError::ConnectionClosed;
}

size_t WebTransport::unsent_bytes() const {
    // What the library holds of a message the socket did not take whole counts as one byte.
    const bool held = stage_ == Stage::Open && wsi_ && lws_partial_buffered(wsi_);
    return outbox_bytes_ + (held ? 1 : 0);
}

ProtocolError WebTransport::read_available(size_t max_bytes) {
    if (stage_ != Stage::Open) return ProtocolError::ConnectionClosed;
    budget_left_ = max_bytes;
    for (int round = 0; round < SERVICE_ROUNDS && stage_ == Stage::Open; ++round) {
        if (budget_left_ == 0 || inbox_.unread() >= MAX_INBOX_UNREAD) break;
        pause_reading(false);
        const uint64_t before = message_bytes_;
        service_once();
        if (message_bytes_ == before) break; // nothing more has arrived
    }
    // Between reads (a send services the library too) only the inbox's bound holds reading back.
    budget_left_ = MAX_INBOX_UNREAD;
    if (wsi_) wire_bytes_ = wire_bytes_of(wsi_);
    return stage_ == Stage::Open ? ProtocolError::None : ProtocolError::ConnectionClosed;
}

size_t WebTransport::take_skipped() {
    const size_t skipped = skipped_;
    skipped_ = 0;
    return skipped;
}

TrafficCount WebTransport::traffic() const { return {wire_bytes_, message_bytes_, compressed_}; }

void WebTransport::pause_reading(bool pause) {
    if (pause == paused_ || !wsi_) return;
    paused_ = pause;
    lws_rx_flow_control(wsi_, pause ? 0 : 1);
}

void WebTransport::receive(std::string_view bytes, bool last) {
    message_bytes_ += bytes.size();
    budget_left_ -= std::min(budget_left_, bytes.size());
    if (skipping_) {
        skipping_ = !last;
    } else if (partial_.size() + bytes.size() > MAX_FRAME_BODY) {
        // Dropped as it comes, so a message of any length costs no more memory than the limit.
        partial_.clear();
        ++skipped_;
        skipping_ = !last;
    } else {
        partial_.append(bytes);
        if (last) {
            deliver(partial_);
            partial_.clear();
        }
    }
    if (budget_left_ == 0 || inbox_.unread() >= MAX_INBOX_UNREAD) pause_reading(true);
}

void WebTransport::deliver(std::string_view body) {
    // Reading pauses at MAX_INBOX_UNREAD; what the library still hands over past twice that is dropped.
    if (body.empty() || inbox_.unread() + 4 + body.size() > 2 * MAX_INBOX_UNREAD) {
        ++skipped_;
        return;
    }
    for (int shift = 24; shift >= 0; shift -= 8) inbox_.bytes.push_back(static_cast<char>(body.size() >> shift));
    inbox_.bytes.append(body);
}

int WebTransport::write_next() {
    if (outbox_.empty() || !wsi_) return 0;
    std::string& message = outbox_.front();
    const size_t body = message.size() - LWS_PRE;
    if (lws_write(wsi_, reinterpret_cast<unsigned char*>(message.data()) + LWS_PRE, body, LWS_WRITE_TEXT) < 0)
        return -1; // the library closes the connection
    outbox_bytes_ -= body;
    outbox_.pop_front();
    if (!outbox_.empty()) lws_callback_on_writable(wsi_);
    return 0;
}

void WebTransport::peer_gone(const char* reason) {
    wsi_ = nullptr;
    if (stage_ == Stage::Connecting) {
        stage_ = Stage::Closed;
        failure_ = error_from_reason(reason);
    } else if (stage_ == Stage::Open) {
        stage_ = Stage::PeerGone;
    }
}

int WebTransport::on_event(struct lws* wsi, int reason_number, void* in, size_t len) {
    const auto reason = static_cast<lws_callback_reasons>(reason_number);
    // A closed transport (or one being closed) has nothing to do with what the library reports.
    if (!context_ || stage_ == Stage::Closed || stage_ == Stage::PeerGone || (wsi_ && wsi != wsi_))
        return lws_callback_http_dummy(wsi, reason, nullptr, in, len);
    switch (reason) {
    case LWS_CALLBACK_CLIENT_CONNECTION_ERROR: peer_gone(static_cast<const char*>(in)); return 0;
    case LWS_CALLBACK_CLIENT_FILTER_PRE_ESTABLISH: {
        char extensions[256] = "";
        const int n = lws_hdr_copy(wsi, extensions, sizeof extensions, WSI_TOKEN_EXTENSIONS);
        compressed_ = n > 0 && std::strstr(extensions, "permessage-deflate") != nullptr;
        return 0;
    }
    case LWS_CALLBACK_CLIENT_ESTABLISHED:
        wsi_ = wsi;
        stage_ = Stage::Open;
        if (!outbox_.empty()) lws_callback_on_writable(wsi);
        return 0;
    case LWS_CALLBACK_CLIENT_RECEIVE:
        receive(std::string_view(static_cast<const char*>(in), len),
                lws_is_final_fragment(wsi) && lws_remaining_packet_payload(wsi) == 0);
        return 0;
    case LWS_CALLBACK_CLIENT_WRITEABLE: return write_next();
    case LWS_CALLBACK_CLIENT_CLOSED:
    case LWS_CALLBACK_CLOSED:
    case LWS_CALLBACK_WSI_DESTROY: peer_gone(nullptr); return 0;
    default: return lws_callback_http_dummy(wsi, reason, nullptr, in, len);
    }
}

} // namespace cog::client
