// Browser players over real WebSockets beside TCP players: the same messages, byte for byte, the
// same reconnection, and the same drops for a sender of an oversized message or a browser that
// cannot keep up.
#include "tests/host/host_harness.h"
#include "tests/ws_client/ws_client.h"

#include "server/options/options.h"
#include "server/recording/frame_observer.h"
#include "shared/protocol/json.h"
#include "shared/protocol/picture_change.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include <sys/socket.h>

namespace cog::test {
namespace {

std::string login_text(std::string_view name, uint32_t previous_id) {
    ClientMessage login;
    login.kind = ClientMessageKind::LOGIN;
    login.player_name = name;
    login.previous_player_id = previous_id;
    std::string text;
    write_json(text, login);
    return text;
}

ReceivedMessage decode(std::string body) {
    ReceivedMessage m;
    m.body = std::move(body);
    m.arena = std::make_unique<std::pmr::monotonic_buffer_resource>();
    read_json(m.body, m.message, m.arena.get());
    return m;
}

struct WebHost : ::testing::Test {
    explicit WebHost(const std::function<void(HostConfig&)>& configure = {})
        : h(false, 0, DebugCommandsMode::OPEN, true, configure) {}
    HostHarness h;
    void SetUp() override {
        ASSERT_TRUE(h.start());
        ASSERT_NE(h.web_port(), 0);
    }
    // Every message the browser receives while `done` is awaited, frame by frame.
    std::vector<ReceivedMessage> take(WsClient& client, int frames) {
        std::vector<ReceivedMessage> out;
        for (int i = 0; i < frames; ++i) {
            h.frames(1);
            for (auto& body : client.receive(2)) out.push_back(decode(std::move(body)));
        }
        return out;
    }
    uint32_t login(WsClient& client, std::string_view name, uint32_t previous_id = 0) {
        if (!drive_until([&] { h.frames(1); }, [&] { return client.wait_open(2); }, 100)) return 0;
        client.send_text(login_text(name, previous_id));
        uint32_t id = 0;
        drive_until([&] { h.frames(1); },
                    [&] {
                        for (auto& body : client.receive(2)) {
                            ReceivedMessage m = decode(std::move(body));
                            if (m.message.kind == ServerMessageKind::EVENT && m.message.event.kind == EventKind::INIT)
                                id = m.message.event.client_id;
                        }
                        return id != 0;
                    },
                    100);
        return id;
    }
};

// Runs `frames` frames and returns what each of the two players received in them. The browser's
// messages are read until it has as many as the TCP player (it may trail by a read).
struct TwoStreams {
    std::vector<ReceivedMessage> tcp, web;
};
TwoStreams record(HostHarness& h, TestClient& tcp, WsClient& browser, int frames) {
    TwoStreams got;
    for (int frame = 0; frame < frames; ++frame) {
        h.frames(1);
        for (auto& m : tcp.receive_all(2)) {
            // An answer to a command is its sender's alone.
            if (m.message.kind != ServerMessageKind::EVENT || m.message.event.kind != EventKind::CHAT_MESSAGE)
                got.tcp.push_back(std::move(m));
        }
        for (auto& body : browser.receive(2)) got.web.push_back(decode(std::move(body)));
    }
    for (int settle = 0; settle < 20 && got.web.size() < got.tcp.size(); ++settle)
        for (auto& body : browser.receive(5)) got.web.push_back(decode(std::move(body)));
    return got;
}

// In the lobby both players see the same picture, so the browser's messages, inflated from one
// compressed stream, must be the TCP player's frame bodies byte for byte. In the typing pool,
// where pictures are largest and each player sees his own, the streams keep in step and the
// browser's bytes on the wire are a small fraction of the TCP player's.
TEST_F(WebHost, ABrowserAndATcpPlayerReceiveTheSameMessages) {
    TestClient tcp(h.port());
    WsClient browser(h.web_port(), true);
    ASSERT_EQ(login(browser, "Web"), 1u);
    EXPECT_TRUE(browser.deflate_accepted());
    ConsoleCapture console;
    ASSERT_EQ(h.login(tcp, "Tcp"), 2u);
    EXPECT_TRUE(console.contains("Player 2 (Tcp) joined"));
    browser.receive(5);
    tcp.receive_all(5);

    const TwoStreams lobby = record(h, tcp, browser, 60);
    ASSERT_GE(lobby.tcp.size(), 60u);
    ASSERT_EQ(lobby.web.size(), lobby.tcp.size());
    for (size_t i = 0; i < lobby.tcp.size(); ++i) ASSERT_EQ(lobby.web[i].body, lobby.tcp[i].body) << "message " << i;

    tcp.send_command("push typewriter");
    const size_t wire_before = browser.wire_bytes();
    const TwoStreams pool = record(h, tcp, browser, 60);
    ASSERT_GE(pool.tcp.size(), 60u);
    ASSERT_EQ(pool.web.size(), pool.tcp.size());
    size_t tcp_bytes = 0;
    for (size_t i = 0; i < pool.tcp.size(); ++i) {
        const ServerMessage& a = pool.web[i].message;
        const ServerMessage& b = pool.tcp[i].message;
        ASSERT_EQ(a.kind, b.kind) << "message " << i;
        EXPECT_EQ(a.event.kind, b.event.kind) << "message " << i;
        EXPECT_EQ(a.commands.size(), b.commands.size()) << "message " << i;
        tcp_bytes += pool.tcp[i].body.size() + 4;
    }
    EXPECT_GT(tcp_bytes, 60u * 5000); // the typing pool's pictures are large...
    EXPECT_LT((browser.wire_bytes() - wire_before) * 10, tcp_bytes); // ...and compress well
}

// The whole picture the host made for each viewer in each frame, whichever way it travelled.
struct PicturesMade : FrameObserver {
    int frame = 0;
    std::map<uint32_t, std::vector<std::pair<int, std::string>>> by_viewer; // (frame, body)
    void frame_begun() override { ++frame; }
    void picture_sent(uint32_t id, std::string_view body, std::span<const uint32_t>) override {
        by_viewer[id].emplace_back(frame, std::string(body));
    }
    const std::string* body_of(uint32_t id, int in_frame) const {
        for (const auto& [f, body] : by_viewer.at(id))
            if (f == in_frame) return &body;
        return nullptr;
    }
};

// Browsers that ask for changes rebuild, from each change and the picture before it, exactly the
// whole picture the host made for each: in the lobby the TCP player's picture of the same frame
// byte for byte, in the typing pool their own. The second browser is mostly sent the change
// worked out for the first, though its pictures are not the first's.
TEST_F(WebHost, PicturesRebuiltFromChangesAreTheWholePicturesByteForByte) {
    PicturesMade made;
    h.state().observer = &made;
    struct Detach {
        HostState& state;
        ~Detach() { state.observer = nullptr; }
    } detach{h.state()};
    TestClient tcp(h.port());
    ASSERT_EQ(h.login(tcp, "Tcp"), 1u);
    struct Browser {
        uint32_t id;
        std::unique_ptr<WsClient> socket;
        std::vector<ReceivedMessage> rebuilt; // each picture it has, re-encoded whole
        size_t changes = 0;
    };
    std::vector<Browser> browsers;
    for (uint32_t id : {2u, 3u}) {
        auto socket = std::make_unique<WsClient>(h.web_port(), true, "/play", PICTURE_CHANGES_SUBPROTOCOL);
        ASSERT_TRUE(drive_until([&] { h.frames(1); }, [&] { return socket->wait_open(2); }, 100));
        EXPECT_EQ(socket->protocol(), PICTURE_CHANGES_SUBPROTOCOL);
        socket->send_text(login_text("Web" + std::to_string(id), 0)); // every picture from the first is kept
        browsers.push_back({id, std::move(socket), {}, 0});
    }

    const auto take_pictures = [&](int frames) {
        for (int i = 0; i < frames; ++i) {
            h.frames(1);
            tcp.receive_all(0);
            for (Browser& browser : browsers)
                for (auto& body : browser.socket->receive(2)) {
                    if (body.starts_with(R"({"kind":1,)")) {
                        browser.rebuilt.push_back(decode(std::move(body)));
                    } else if (body.starts_with(R"({"kind":2,)")) {
                        std::pmr::monotonic_buffer_resource strings;
                        PictureChange change;
                        ASSERT_FALSE(read_json(body, change, &strings));
                        ASSERT_FALSE(browser.rebuilt.empty()) << "a change before any picture";
                        DrawList commands;
                        ASSERT_EQ(apply_picture_change(browser.rebuilt.back().message.commands, change, commands, 16384),
                                  ChangeError::None);
                        std::string whole;
                        write_json(whole, ServerMessage{ServerMessageKind::DRAW_COMMANDS, Event{}, commands});
                        browser.rebuilt.push_back(decode(std::move(whole)));
                        ++browser.changes;
                    }
                }
        }
    };
    const auto check_against_made = [&](const Browser& browser, size_t from, bool lobby) {
        SCOPED_TRACE(browser.id);
        const auto& sent = made.by_viewer.at(browser.id);
        ASSERT_GE(sent.size(), browser.rebuilt.size());
        for (size_t i = from; i < browser.rebuilt.size(); ++i) {
            ASSERT_EQ(browser.rebuilt[i].body, sent[i].second) << "picture " << i;
            const std::string* tcp_picture = made.body_of(1, sent[i].first);
            if (lobby && tcp_picture) {
                ASSERT_EQ(browser.rebuilt[i].body, *tcp_picture) << "picture " << i;
            }
        }
    };
    take_pictures(60);
    for (const Browser& browser : browsers) {
        check_against_made(browser, 0, true);
        EXPECT_GE(browser.changes, 50u);
    }

    tcp.send_command("push typewriter");
    std::vector<size_t> lobby_pictures, wire_before, inflated_before;
    for (const Browser& browser : browsers) {
        lobby_pictures.push_back(browser.rebuilt.size());
        wire_before.push_back(browser.socket->wire_bytes());
        inflated_before.push_back(browser.socket->message_bytes());
    }
    const size_t written_before = h.state().picture_changes.changes_written();
    take_pictures(120);
    for (size_t b = 0; b < browsers.size(); ++b) {
        const Browser& browser = browsers[b];
        check_against_made(browser, lobby_pictures[b], false);
        EXPECT_GE(browser.changes, 150u);
        size_t whole_bytes = 0;
        for (size_t i = lobby_pictures[b]; i < browser.rebuilt.size(); ++i) whole_bytes += browser.rebuilt[i].body.size();
        // What travels is a fraction of the pictures it stands for, before and after compression.
        EXPECT_LT((browser.socket->message_bytes() - inflated_before[b]) * 3, whole_bytes);
        EXPECT_LT((browser.socket->wire_bytes() - wire_before[b]) * 50, whole_bytes);
    }
    // Their own pictures, in the typing pool...
    EXPECT_NE(made.by_viewer.at(2).back().second, made.by_viewer.at(3).back().second);
    // ...mostly from one change a frame.
    EXPECT_LT(h.state().picture_changes.changes_written() - written_before, 120u * 3 / 2);
}

TEST_F(WebHost, ABrowserGetsItsSeatBackWithItsPreviousId) {
    TestClient watcher(h.port());
    h.login(watcher, "Watcher");
    auto first = std::make_unique<WsClient>(h.web_port(), true);
    const uint32_t id = login(*first, "Ann");
    ASSERT_EQ(id, 2u);
    const uint8_t mask = h.state().global.players.at(id).mask;
    first.reset(); // the tab is closed
    ASSERT_TRUE(h.frames_until([&] { return !h.state().global.players.at(id).connected; }, 100));
    EXPECT_EQ(count_events(watcher.receive_all(5), EventKind::PLAYER_LEFT), 1u);

    ConsoleCapture console;
    WsClient again(h.web_port(), true);
    EXPECT_EQ(login(again, "Ann", id), id);
    EXPECT_TRUE(console.contains("Player 2 (Ann) reconnected"));
    EXPECT_EQ(h.state().global.players.at(id).mask, mask);
    const auto seen = watcher.receive_all(5);
    ASSERT_NE(first_event(seen, EventKind::PLAYER_JOINED), nullptr);
    EXPECT_EQ(first_event(seen, EventKind::PLAYER_JOINED)->message.event.player_id, id);
}

// One address holds only so many seats, over TCP and the WebSocket alike: one more is refused and
// closed, a player's own seat goes back to it however full its address, and a seat given up lets
// the next one in.
// Stands in for a remote machine: the per-address limits count it.
constexpr const char* REMOTE = "127.0.0.2";
constexpr const char* REMOTE_OTHER = "127.0.0.3";

TEST_F(WebHost, OneAddressHoldsOnlySoManySeats) {
    h.state().seat_claims.max_per_address = 2;
    TestClient tcp(h.port(), 0, REMOTE);
    const HostHarness::Seat first = h.claim_seat(tcp, "Tcp", 0, "");
    ASSERT_EQ(first.id, 1u);
    auto browser = std::make_unique<WsClient>(h.web_port(), true, "/play", "", REMOTE);
    ASSERT_EQ(login(*browser, "Web"), 2u);

    ConsoleCapture console;
    TestClient third(h.port(), 0, REMOTE);
    third.send_login("Third");
    EXPECT_TRUE(drive_until([&] { h.frames(1); }, [&] { return third.closed_by_peer(2); }, 100));
    EXPECT_TRUE(console.contains("[NETWORK] Login of 'Third' from 127.0.0.2 refused: 2 players are already seated "
                                 "from that address (--max-players-per-address 2); 0 more refused"));
    for (int i = 0; i < 3; ++i) { // 16 ms frames: all three within the second
        WsClient fourth(h.web_port(), true, "/play", "", REMOTE);
        ASSERT_TRUE(drive_until([&] { h.frames(1); }, [&] { return fourth.wait_open(2); }, 20));
        fourth.send_text(login_text("Fourth", 0));
        EXPECT_TRUE(drive_until([&] { h.frames(1); }, [&] { return fourth.closed_by_peer(2); }, 20));
    }
    h.clock.advance_ns(1'000'000'000);
    EXPECT_EQ(h.state().next_player_id, 3u);
    // One line a second, however fast they come; the next counts those it did not write.
    EXPECT_EQ(console.count("refused: 2 players are already seated"), 1u);
    WsClient fifth(h.web_port(), true, "/play", "", REMOTE);
    EXPECT_EQ(login(fifth, "Fifth"), 0u);
    EXPECT_EQ(console.count("refused: 2 players are already seated"), 2u);
    EXPECT_TRUE(console.contains("Login of 'Fifth' from 127.0.0.2 refused: 2 players are already seated from that "
                                 "address (--max-players-per-address 2); 3 more refused"));

    h.clock.advance_ns(2'100'000'000); // the TCP player's connection died unnoticed
    TestClient back(h.port(), 0, REMOTE);
    EXPECT_EQ(h.claim_seat(back, "Tcp", first.id, first.secret).id, first.id);
    browser.reset();
    ASSERT_TRUE(h.frames_until([&] { return !h.state().global.players.at(2).connected; }, 100));
    WsClient next(h.web_port(), true, "/play", "", REMOTE);
    EXPECT_EQ(login(next, "Next"), 3u);
    h.state().seat_claims.max_per_address = 0; // no limit
    TestClient many(h.port(), 0, REMOTE);
    EXPECT_EQ(h.login(many, "Many"), 4u);
}

// This machine's own address is never limited: with 64 silent sockets open from 127.0.0.1, 60
// players from there all get seats, every per-address limit at its default.
TEST_F(WebHost, TheMachinesOwnAddressIsNotLimited) {
    h.state().seat_claims.max_per_address = HostOptions{}.max_players_per_address;
    h.state().connections.pending_logins_per_address = DEFAULT_PENDING_LOGINS_PER_ADDRESS;
    std::vector<std::unique_ptr<TestClient>> silent;
    for (int i = 0; i < 64; ++i) silent.push_back(std::make_unique<TestClient>(h.port()));
    h.frames(3);
    std::vector<std::unique_ptr<TestClient>> players;
    for (int i = 0; i < 60; ++i) {
        players.push_back(std::make_unique<TestClient>(h.port()));
        players.back()->send_login("Local");
    }
    ASSERT_TRUE(h.frames_until([&] { return h.state().next_player_id == 61; }, 300));
    for (auto& player : players) EXPECT_FALSE(player->closed_by_peer(0));
}

TEST_F(WebHost, AnOversizedMessageDropsOnlyItsSender) {
    TestClient tcp(h.port());
    WsClient honest(h.web_port(), true), flooder(h.web_port(), false);
    ASSERT_EQ(h.login(tcp, "Tcp"), 1u);
    ASSERT_EQ(login(honest, "Honest"), 2u);
    ASSERT_EQ(login(flooder, "Flooder"), 3u);
    ConsoleCapture console;
    flooder.send_text(std::string(web::MAX_WEB_MESSAGE_BYTES + 1, ' '));
    ASSERT_TRUE(h.frames_until(
        [&] {
            flooder.flush();
            return !h.state().global.players.at(3).connected;
        },
        300));
    EXPECT_TRUE(console.contains("Receive error from 3: MessageTooLarge"));
    EXPECT_TRUE(drive_until([&] { h.frames(1); }, [&] { return flooder.closed_by_peer(2); }, 100));
    EXPECT_TRUE(h.state().global.players.at(1).connected);
    EXPECT_TRUE(h.state().global.players.at(2).connected);
    EXPECT_EQ(first_event(tcp.receive_all(5), EventKind::PLAYER_LEFT)->message.event.player_id, 3u);
    const auto still = take(honest, 5);
    EXPECT_GE(count_draws(still), 4u);
    EXPECT_EQ(first_event(still, EventKind::PLAYER_LEFT)->message.event.player_id, 3u);
}

// A browser that stops reading fills its bounded outbox and is dropped like a TCP client whose
// send buffer is full; nobody else notices anything but its PLAYER_LEFT.
TEST_F(WebHost, ABrowserThatCannotKeepUpIsDropped) {
    WsClient reader(h.web_port(), false), stuck(h.web_port(), false);
    ASSERT_EQ(login(reader, "Reader"), 1u);
    const int tiny = 4096;
    setsockopt(stuck.fd(), SOL_SOCKET, SO_RCVBUF, &tiny, sizeof tiny);
    ASSERT_EQ(login(stuck, "Stuck"), 2u);
    reader.send_text("{\"kind\":3,\"settings_command\":\"push typewriter\"}");
    ConsoleCapture console;
    ASSERT_TRUE(h.frames_until(
        [&] {
            reader.receive(0);
            return !h.state().global.players.at(2).connected;
        },
        1500));
    EXPECT_TRUE(console.contains("Send to player 2 failed: SendFailed, disconnecting"));
    EXPECT_TRUE(h.state().global.players.at(1).connected);
    EXPECT_LE(h.state().web->channel_count(), 1u);
}

TEST_F(WebHost, ABrowserMustLogInFirst) {
    WsClient rude(h.web_port(), true);
    ASSERT_TRUE(drive_until([&] { h.frames(1); }, [&] { return rude.wait_open(2); }, 100));
    ConsoleCapture console;
    rude.send_text("{\"kind\":1}");
    EXPECT_TRUE(drive_until([&] { h.frames(1); }, [&] { return rude.closed_by_peer(2); }, 100));
    EXPECT_TRUE(console.contains("Expected LOGIN message from new client"));
    EXPECT_EQ(h.state().next_player_id, 1u);
}

// A room with the per-address limits a real host starts with.
struct WebHostWithAddressLimits : WebHost {
    WebHostWithAddressLimits()
        : WebHost([](HostConfig& config) {
              config.pending_logins_per_address = DEFAULT_PENDING_LOGINS_PER_ADDRESS;
              config.handshakes_per_address = web::DEFAULT_HANDSHAKES_PER_ADDRESS;
          }) {}
};

// One address holding more sockets than the endpoint once had places, dribbling header lines,
// and opening WebSockets that never log in, locks out nobody from another address.
TEST_F(WebHostWithAddressLimits, OneAddressHoldingSocketsLocksNobodyElseOut) {
    std::vector<std::unique_ptr<DribblingRequest>> held;
    for (int i = 0; i < 600; ++i) held.push_back(std::make_unique<DribblingRequest>(h.web_port(), REMOTE_OTHER));
    std::vector<std::unique_ptr<WsClient>> silent;
    for (int i = 0; i < 80; ++i) silent.push_back(std::make_unique<WsClient>(h.web_port(), true, "/play", "", REMOTE_OTHER));
    for (int frame = 0; frame < 30; ++frame) {
        h.frames(1);
        for (auto& socket : held) socket->dribble();
        for (auto& client : silent) client->wait_open(0);
    }
    WsClient honest(h.web_port(), true, "/play", {}, "127.0.0.2");
    EXPECT_NE(login(honest, "Ann"), 0u);
}

} // namespace
} // namespace cog::test
