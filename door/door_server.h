// The door: one port for the browser page, the room API and every room's WebSocket, which it
// passes through to the room's own endpoint byte for byte. One thread, one epoll.
#pragma once

#include "door/address_limits.h"
#include "door/byte_buffer.h"
#include "door/client_stream.h"
#include "door/door_metrics.h"
#include "door/http_request.h"
#include "door/room_source.h"
#include "door/secure_random.h"
#include "door/web_folder.h"
#include "shared/metrics/snapshot_exchange.h"
#include "shared/platform/clock.h"

#include <csignal>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <sys/socket.h>
#include <unordered_map>
#include <vector>

namespace cog::door {

struct DoorConfig {
    uint16_t port = 8080;                   // 0: any free port
    int64_t request_timeout_ms = 5'000;     // a request (or a kept-alive pause) not whole by then is closed
    int64_t room_wait_ms = 15'000;          // a WebSocket waiting for its room to be made
    int64_t drain_timeout_ms = 30'000;      // an answer or a closing proxy that makes no progress
    size_t pipe_bytes = 128 * 1024;         // each way of a proxied connection
    int rooms_per_address = 5;              // rooms one address may make per rooms_period_ms
    int64_t rooms_period_ms = 600'000;
    int connections_per_address = 64;       // sockets one address may hold at once
    int unknown_codes_per_address = 10;     // answers of an unknown code per unknown_period_ms
    int64_t unknown_period_ms = 60'000;
    bool proxy_header = true;               // each proxied connection starts with a PROXY v2 header
};

enum class DoorOpenError : uint8_t { None, Socket, Bind, Epoll };

class DoorServer {
public:
    DoorServer(DoorConfig config, RoomSource& rooms, SecureRandom& random, const WebFolder& web, SSL_CTX* tls,
               Clock& clock);
    ~DoorServer();
    DoorServer(const DoorServer&) = delete;
    DoorServer& operator=(const DoorServer&) = delete;

    DoorOpenError open();
    uint16_t port() const { return port_; }
    // Serves until `stop` is set, then stops every room and returns.
    void run(const volatile std::sig_atomic_t& stop);
    // One round: waits at most `max_wait_ms` for sockets, then rooms and timers.
    void run_once(int max_wait_ms);
    size_t connection_count() const { return connections_.size(); }
    // After each round the counts go to `exchange` (nullptr: kept, not published).
    void publish_metrics_to(metrics::SnapshotExchange<DoorMetrics>* exchange) { metrics_out_ = exchange; }
    const DoorMetrics& metrics() const { return metrics_; }

private:
    enum class Phase : uint8_t { Sniff, Request, Respond, WaitRoom, Proxy };
    struct Connection;
    struct RoomMeta {
        std::string link_base; // "http://host:port" as the room's maker reached the door
        int64_t asked_ms = 0;
        int players = 0;
        bool made = false;
    };

    void accept_all();
    void on_event(uint64_t key, uint32_t events);
    void on_client(Connection& c, uint32_t events);
    void sniff(Connection& c);
    void read_request(Connection& c);
    void route(Connection& c, const HttpHead& head);
    void serve_file(Connection& c, const HttpHead& head, std::string_view path);
    void make_room(Connection& c, const HttpHead& head);
    void answer_busy(Connection& c);
    void ask_room(Connection& c, std::string_view typed);
    void open_websocket(Connection& c, const HttpHead& head, std::string_view typed, std::string_view rest);
    bool unknown_code(Connection& c);
    void connect_room(Connection& c, const RoomAddress& address);
    void room_unreachable(Connection& c);
    void compose(Connection& c, int status, std::string_view content_type, size_t body_bytes, bool close,
                 std::string_view extra_headers);
    void answer(Connection& c, int status, std::string_view content_type, std::string body, bool close = false,
                std::string_view extra_headers = {});
    void write_answer(Connection& c);
    void finish_answer(Connection& c);
    void pump(Connection& c);
    void update_interest(Connection& c);
    void close_connection(uint64_t id);
    void poll_rooms();
    void check_deadlines();
    void set_players(const std::string& code, int delta);
    int64_t now_ms() const;
    // door_server_metrics.cpp
    void refuse(Refusal reason) { ++metrics_.refusals[index(reason)]; }
    void count_room_event(const RoomEvent& event, const RoomMeta& meta);
    void publish_metrics();

    DoorConfig config_;
    RoomSource& rooms_;
    SecureRandom& random_;
    const WebFolder& web_;
    SSL_CTX* tls_;
    Clock& clock_;
    int listen_fd_ = -1, epoll_fd_ = -1;
    uint16_t port_ = 0;
    bool accepting_ = true;
    int64_t accept_paused_until_ms_ = 0;
    int64_t housekept_ms_ = -1; // when rooms and deadlines were last looked at
    uint64_t next_id_ = 1;
    std::unordered_map<uint64_t, std::unique_ptr<Connection>> connections_;
    std::vector<uint64_t> closing_;
    std::map<std::string, RoomMeta, std::less<>> live_;
    AddressRate room_rate_, unknown_rate_;
    AddressCount sockets_;
    DoorMetrics metrics_;
    metrics::SnapshotExchange<DoorMetrics>* metrics_out_ = nullptr;
};

} // namespace cog::door
