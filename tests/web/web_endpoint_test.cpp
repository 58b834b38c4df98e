// The web endpoint over real sockets: files, refused paths, WebSocket messages both ways with and
// without compression, and an oversized message dropping only its sender.
#include "server/web/web_endpoint.h"
#include "shared/log/console.h"
#include "tests/ws_client/ws_client.h"

#include <gtest/gtest.h>

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
        fs::create_symlink(base / "secret.txt", base / "site" / "leak.txt");
        WebError error = WebError::ListenFailed;
        endpoint = WebEndpoint::open({0, (base / "site").string(), true}, error);
        ASSERT_EQ(error, WebError::None);
        ASSERT_NE(endpoint->port(), 0);
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
                             "/leak.txt", "//etc/passwd", "/etc/passwd", "/index.html/../../secret.txt"}) {
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
    EXPECT_NE(get.status(), 200);
    EXPECT_TRUE(get.poll(0)); // answered or closed, never left hanging
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
