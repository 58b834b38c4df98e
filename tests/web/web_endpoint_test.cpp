// The web endpoint over real sockets: files, refused paths, WebSocket messages both ways with and
// without compression, and an oversized message dropping only its sender.
#include "server/web/web_endpoint.h"
#include "shared/log/console.h"
#include "tests/ws_client/ws_client.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <zlib.h>

#if defined(__SANITIZE_ADDRESS__)
extern "C" void __sanitizer_purge_allocator();
#else
#include <malloc.h>
#endif

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace cog::web {
namespace {

namespace fs = std::filesystem;
using test::HttpGet;
using test::WsClient;

struct Endpoint : ::testing::Test {
    fs::path base = fs::temp_directory_path() / ("cog_web_endpoint_" + std::to_string(getpid()));
    std::unique_ptr<WebEndpoint> endpoint;
    std::vector<std::shared_ptr<WebChannel>> channels;

    void SetUp() override {
        fs::remove_all(base);
        fs::create_directories(base / "site");
        std::ofstream(base / "site" / "index.html") << "<html>cogwell</html>";
        std::ofstream(base / "secret.txt") << "top secret";
        fs::create_directories(base / "site" / ".git");
        std::ofstream(base / "site" / ".git" / "config") << "top secret";
        std::ofstream(base / "site" / ".env") << "top secret";
        fs::create_symlink(base / "secret.txt", base / "site" / "leak.txt");
        WebError error = WebError::ListenFailed;
        endpoint = WebEndpoint::open(site(), error);
        ASSERT_EQ(error, WebError::None);
        ASSERT_NE(endpoint->port(), 0);
    }
    WebConfig site() const {
        WebConfig config;
        config.root = (base / "site").string();
        return config;
    }
    void TearDown() override {
        endpoint.reset();
        fs::remove_all(base);
    }
    void service() {
        endpoint->service();
        for (auto& c : endpoint->take_opened()) channels.push_back(std::move(c));
    }
    HttpGet& fetch(HttpGet& get) {
        test::drive_until([&] { service(); }, [&] { return get.poll(); }, 500);
        return get;
    }
    bool open(WsClient& client) {
        return test::drive_until([&] { service(); }, [&] { return client.wait_open(1); },
                                 500);
    }
    std::vector<std::string> receive(WsClient& client, size_t count) {
        std::vector<std::string> got;
        test::drive_until([&] { service(); },
                          [&] {
                              for (auto& m : client.receive(1)) got.push_back(std::move(m));
                              return got.size() >= count;
                          },
                          500);
        return got;
    }
    std::string take(WebChannel& channel) {
        std::string message;
        test::drive_until([&] { service(); }, [&] { return channel.take_message(message); }, 500);
        return message;
    }
};

// The log lines of one test.
struct LogLines {
    std::string text;
    LogLines() {
        console_set_sink([](void* self, std::string_view line) { static_cast<LogLines*>(self)->text.append(line); }, this);
    }
    ~LogLines() { console_set_sink(nullptr, nullptr); }
};

TEST_F(Endpoint, ServesTheClientAndRefusesEverythingElse) {
    LogLines log;
    HttpGet index(endpoint->port(), "/");
    EXPECT_EQ(fetch(index).status(), 200);
    EXPECT_EQ(index.body(), "<html>cogwell</html>");
    for (const char* path : {"/../secret.txt", "/%2e%2e/secret.txt", "/%2e%2e%2fsecret.txt", "/..%2fsecret.txt",
                             "/leak.txt", "//etc/passwd", "/etc/passwd", "/index.html/../../secret.txt", "/.env",
                             "/.git/config"}) {
        HttpGet get(endpoint->port(), path);
        fetch(get);
        EXPECT_GE(get.status(), 400) << path;
        EXPECT_EQ(get.body().find("top secret"), std::string::npos) << path;
    }
    HttpGet nothing(endpoint->port(), "/leak.txt");
    EXPECT_EQ(fetch(nothing).status(), 404);
    EXPECT_NE(log.text.find("[WEB] Refused request for '/leak.txt' from 127.0.0.1:"), std::string::npos) << log.text;
}

TEST_F(Endpoint, ABoundedRequestHeaderIsRefused) {
    HttpGet get(endpoint->port(), "/" + std::string(2 * MAX_HTTP_HEADER_BYTES, 'a'));
    fetch(get);
    EXPECT_EQ(get.status(), 431);
    HttpGet agent(endpoint->port(), "/", "User-Agent: " + std::string(MAX_HTTP_HEADER_BYTES, 'a') + "\r\n");
    EXPECT_EQ(fetch(agent).status(), 431);
    HttpGet beyond(endpoint->port(), "/" + std::string(2 * LIBRARY_HEADER_ROOM, 'a'));
    fetch(beyond);
    EXPECT_NE(beyond.status(), 200);
    EXPECT_TRUE(beyond.poll(0)); // answered or closed, never left hanging
}

constexpr const char* UPGRADE = "Upgrade: websocket\r\nConnection: Upgrade\r\n"
                                "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n";

TEST_F(Endpoint, UpgradesOnlyToWebSocketsFromItsOwnPageNativeClientsOrAllowedOrigins) {
    LogLines log;
    const std::string own = "Origin: http://127.0.0.1:" + std::to_string(endpoint->port()) + "\r\n";
    const auto status_of = [&](const std::string& headers) {
        HttpGet get(endpoint->port(), "/play", headers);
        test::drive_until([&] { service(); }, [&] { return get.poll() || get.status() != 0; }, 500);
        return get.status();
    };
    EXPECT_EQ(status_of(std::string(UPGRADE) + "Origin: http://evil.example\r\n"), 403);
    EXPECT_NE(log.text.find("[WEB] Refused WebSocket from 127.0.0.1:"), std::string::npos) << log.text;
    EXPECT_NE(log.text.find("origin 'http://evil.example' not allowed"), std::string::npos) << log.text;
    EXPECT_EQ(status_of(std::string(UPGRADE) + "Origin: http://127.0.0.1:1\r\n"), 403); // another port
    EXPECT_EQ(status_of(std::string(UPGRADE) + own), 101);
    EXPECT_EQ(status_of(UPGRADE), 101); // a native client sends no Origin
    EXPECT_EQ(status_of("Upgrade: h2c\r\nConnection: Upgrade, HTTP2-Settings\r\nHTTP2-Settings: AAMAAABkAARAAAAAAAIAAAAA\r\n"),
              403);

    WebConfig config = site();
    config.allowed_origins = {"https://front.example/"};
    WebError error = WebError::ListenFailed;
    endpoint = WebEndpoint::open(config, error);
    ASSERT_EQ(error, WebError::None);
    EXPECT_EQ(status_of(std::string(UPGRADE) + "Origin: https://FRONT.example\r\n"), 101);
    EXPECT_EQ(status_of(std::string(UPGRADE) + "Origin: http://evil.example\r\n"), 403);
    config.allowed_origins = {"*"};
    endpoint = WebEndpoint::open(config, error);
    EXPECT_EQ(status_of(std::string(UPGRADE) + "Origin: http://evil.example\r\n"), 101);
}

TEST_F(Endpoint, OneAddressHoldsOnlyAFewUnfinishedRequestsAndOnlyForAFewSeconds) {
    LogLines log;
    WebConfig config = site();
    config.handshakes_per_address = 3;
    WebError error = WebError::ListenFailed;
    endpoint = WebEndpoint::open(config, error);
    ASSERT_EQ(error, WebError::None);
    std::vector<std::unique_ptr<test::DribblingRequest>> held;
    for (int i = 0; i < 8; ++i) held.push_back(std::make_unique<test::DribblingRequest>(endpoint->port(), "127.0.0.5"));
    for (int i = 0; i < 20; ++i) {
        service();
        for (auto& socket : held) socket->dribble();
    }
    size_t refused = 0;
    for (auto& socket : held) refused += socket->closed_by_peer();
    EXPECT_EQ(refused, held.size() - 3);
    EXPECT_NE(log.text.find("[WEB] Too many unfinished requests from one address, refused"), std::string::npos);

    // Another address is served meanwhile; the first one gets nothing more.
    HttpGet other(endpoint->port(), "/", {}, "127.0.0.2");
    EXPECT_EQ(fetch(other).status(), 200);
    HttpGet same(endpoint->port(), "/", {}, "127.0.0.5");
    EXPECT_EQ(fetch(same).status(), 0);

    // The three held ones are closed once they have taken too long, however they dribble.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(HANDSHAKE_TIMEOUT_S + 3);
    size_t closed = 0;
    while (closed < held.size() && std::chrono::steady_clock::now() < deadline) {
        service();
        closed = 0;
        for (auto& socket : held) {
            socket->dribble();
            closed += socket->closed_by_peer();
        }
        usleep(20000);
    }
    EXPECT_EQ(closed, held.size());
    HttpGet later(endpoint->port(), "/", {}, "127.0.0.5");
    EXPECT_EQ(fetch(later).status(), 200);
}

// WebSockets opened at once from one address count against it until the host has taken them:
// however many arrive together, one service upgrades only the address's share.
TEST_F(Endpoint, ABurstOfWebSocketsFromOneAddressIsUpgradedOnlyUpToItsShare) {
    WebConfig config = site();
    config.handshakes_per_address = 4;
    WebError error = WebError::ListenFailed;
    endpoint = WebEndpoint::open(config, error);
    ASSERT_EQ(error, WebError::None);
    std::vector<std::unique_ptr<WsClient>> burst;
    for (int i = 0; i < 40; ++i)
        burst.push_back(std::make_unique<WsClient>(endpoint->port(), true, "/play", "", "127.0.0.4"));
    for (int i = 0; i < 10; ++i) {
        endpoint->service();
        for (auto& client : burst) client->wait_open(0);
    }
    EXPECT_EQ(endpoint->take_opened().size(), 4u);
    size_t open = 0;
    for (auto& client : burst) open += client->is_open();
    EXPECT_EQ(open, 4u);
}

TEST_F(Endpoint, CarriesWholeMessagesBothWaysWithAndWithoutCompression) {
    for (const bool deflate : {true, false}) {
        SCOPED_TRACE(deflate);
        channels.clear();
        WsClient client(endpoint->port(), deflate);
        ASSERT_TRUE(open(client));
        EXPECT_EQ(client.deflate_accepted(), deflate);
        ASSERT_TRUE(test::drive_until([&] { service(); }, [&] { return !channels.empty(); }, 100));
        WebChannel& channel = *channels.back();
        client.send_text("{\"kind\":0,\"player_name\":\"Ann\"}");
        EXPECT_EQ(take(channel), "{\"kind\":0,\"player_name\":\"Ann\"}");

        // Pictures that repeat one another: identical after inflating, much smaller on the wire.
        std::vector<std::string> sent;
        for (int i = 0; i < 30; ++i) {
            std::string picture = "{\"kind\":1,\"commands\":[";
            for (int c = 0; c < 300; ++c) picture += "{\"kind\":0,\"x\":" + std::to_string(c + (i % 3)) + ".00000000},";
            picture += "]}";
            sent.push_back(picture);
            ASSERT_TRUE(channel.queue(picture));
        }
        const size_t wire_before = client.wire_bytes();
        EXPECT_EQ(receive(client, sent.size()), sent);
        size_t payload = 0;
        for (const auto& s : sent) payload += s.size();
        const size_t wire = client.wire_bytes() - wire_before;
        if (deflate) EXPECT_LT(wire * 20, payload);
        else EXPECT_GT(wire, payload);

        // Messages that barely compress, queued together: each must be deflated whole before the
        // next is taken, or the compressor reads a message that is no longer there.
        std::vector<std::string> noisy;
        uint32_t seed = 12345;
        for (const size_t size : {size_t{300000}, MAX_WEB_SEND_BYTES, size_t{70000}}) {
            std::string text(size, ' ');
            for (char& ch : text) ch = static_cast<char>('!' + ((seed = seed * 1664525u + 1013904223u) >> 25) % 90);
            noisy.push_back(text);
            ASSERT_TRUE(channel.queue(text));
        }
        EXPECT_EQ(receive(client, noisy.size()), noisy);
    }
}

TEST_F(Endpoint, OnlyThePlayPathOpensAWebSocket) {
    for (const char* path : {"/chat", "/playx", "/play/", "/play/anything", "/pla", "/PLAY"}) {
        WsClient wrong(endpoint->port(), false, path);
        test::drive_until([&] { service(); }, [&] { return wrong.closed_by_peer(1); }, 300);
        EXPECT_FALSE(wrong.is_open()) << path;
        EXPECT_TRUE(channels.empty()) << path;
    }
    WsClient right(endpoint->port(), false, "/play");
    EXPECT_TRUE(open(right));
}

TEST_F(Endpoint, AnOversizedMessageFaultsOnlyItsSender) {
    WsClient flooder(endpoint->port(), true), honest(endpoint->port(), true);
    ASSERT_TRUE(open(flooder));
    ASSERT_TRUE(open(honest));
    ASSERT_TRUE(test::drive_until([&] { service(); }, [&] { return channels.size() == 2; }, 100));
    flooder.send_text(std::string(MAX_WEB_MESSAGE_BYTES + 1, 'x'));
    honest.send_text("still here");
    WebChannel* flooding = nullptr;
    WebChannel* other = nullptr;
    ASSERT_TRUE(test::drive_until(
        [&] {
            service();
            flooder.flush();
        },
        [&] {
            for (auto& c : channels)
                if (c->fault() == ChannelFault::TooLarge) flooding = c.get();
            return flooding != nullptr;
        },
        2000));
    for (auto& c : channels)
        if (c.get() != flooding) other = c.get();
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(take(*other), "still here");
    EXPECT_EQ(other->fault(), ChannelFault::None);
    std::string nothing;
    EXPECT_FALSE(flooding->take_message(nothing));

    // The host closes the faulted one; the other keeps working.
    flooding->close();
    EXPECT_TRUE(test::drive_until([&] { service(); }, [&] { return flooder.closed_by_peer(1); }, 300));
    ASSERT_TRUE(other->queue("hello"));
    EXPECT_EQ(receive(honest, 1), std::vector<std::string>{"hello"});
}

// Bytes of this process in memory, once what was freed has been given back to the system (the
// address sanitizer's quarantine included).
size_t resident_bytes() {
#if defined(__SANITIZE_ADDRESS__)
    __sanitizer_purge_allocator();
#else
    malloc_trim(0);
#endif
    size_t pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

// One compressed text message as a browser frames it (masked, here with a zero key): `body`
// deflated on its own, which any inflater takes whatever it read before.
std::string compressed_frame(const std::string& body) {
    z_stream z{};
    deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out(body.size() / 256 + 1024, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.data()));
    z.avail_in = static_cast<uInt>(body.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_SYNC_FLUSH);
    deflateEnd(&z);
    out.resize(out.size() - z.avail_out - 4); // without the flush's 00 00 FF FF
    return std::string{'\xC1', '\xFE', static_cast<char>(out.size() >> 8), static_cast<char>(out.size() & 0xff)} +
           std::string(4, '\0') + out;
}

// A kilobyte that inflates past the message limit fills a megabyte of the library's room on each
// of many sockets; those pages are given back as soon as the piece has been read.
TEST_F(Endpoint, ALargeCompressedMessageTakesMemoryOnlyWhileItIsRead) {
    constexpr size_t SOCKETS = 24;
    std::vector<std::unique_ptr<WsClient>> clients;
    for (size_t i = 0; i < SOCKETS; ++i) {
        clients.push_back(std::make_unique<WsClient>(endpoint->port(), true));
        ASSERT_TRUE(open(*clients.back()));
    }
    ASSERT_TRUE(test::drive_until([&] { service(); }, [&] { return channels.size() == SOCKETS; }, 100));
    // A first small message makes each socket's inflater before the count starts.
    const std::string small = compressed_frame("{}");
    for (auto& client : clients)
        ASSERT_EQ(::send(client->fd(), small.data(), small.size(), MSG_NOSIGNAL), ssize_t(small.size()));
    ASSERT_TRUE(test::drive_until([&] { service(); },
                                  [&] {
                                      return std::all_of(channels.begin(), channels.end(),
                                                         [](const auto& c) { return c->next_message_bytes() == 2; });
                                  },
                                  100));
    const std::string bomb = compressed_frame(std::string(MAX_WEB_MESSAGE_BYTES + MAX_WEB_MESSAGE_BYTES / 5, 'a'));
    ASSERT_LT(bomb.size(), 2000u);
    const size_t before = resident_bytes();
    for (auto& client : clients)
        ASSERT_EQ(::send(client->fd(), bomb.data(), bomb.size(), MSG_NOSIGNAL), ssize_t(bomb.size()));
    ASSERT_TRUE(test::drive_until([&] { service(); },
                                  [&] {
                                      return std::all_of(channels.begin(), channels.end(), [](const auto& c) {
                                          return c->fault() == ChannelFault::TooLarge;
                                      });
                                  },
                                  500));
    const size_t after = resident_bytes();
    EXPECT_LT(after - std::min(before, after), SOCKETS * MAX_WEB_MESSAGE_BYTES / 4);
}

TEST_F(Endpoint, ABrowserThatGoesAwayIsSeenAsClosed) {
    auto client = std::make_unique<WsClient>(endpoint->port(), true);
    ASSERT_TRUE(open(*client));
    ASSERT_TRUE(test::drive_until([&] { service(); }, [&] { return !channels.empty(); }, 100));
    client.reset();
    EXPECT_TRUE(test::drive_until([&] { service(); }, [&] { return channels[0]->fault() == ChannelFault::Closed; }, 300));
    EXPECT_FALSE(channels[0]->queue("late"));
}

} // namespace
} // namespace cog::web
