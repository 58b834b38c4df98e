// The room's metrics endpoint, scraped over a plain socket while real clients play: each counter
// moves with what happened in the frames before the scrape, the scrape passes Prometheus' own
// checker, and the endpoint answers only what it should, within its bounds.
#include "tests/host/host_harness.h"
#include "tests/support/scrape.h"
#include "tests/ws_client/ws_client.h"

#include "shared/protocol/json.h"
#include "shared/protocol/picture_change.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace cog::test {
namespace {

int connect_to(uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Sends `request` and reads the answer until the server closes (or 5 s pass).
std::string http_exchange(uint16_t port, std::string_view request) {
    const int fd = connect_to(port);
    if (fd < 0) return {};
    [[maybe_unused]] const ssize_t sent = send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string answer;
    char buffer[4096];
    pollfd p{fd, POLLIN, 0};
    while (poll(&p, 1, 5000) > 0) {
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        answer.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    return answer;
}

std::string scrape_body(uint16_t port) {
    const std::string answer = http_exchange(port, "GET /metrics HTTP/1.1\r\nHost: room\r\n\r\n");
    const size_t body = answer.find("\r\n\r\n");
    return body == std::string::npos ? std::string() : answer.substr(body + 4);
}

std::string login_text(std::string_view name) {
    ClientMessage login;
    login.kind = ClientMessageKind::LOGIN;
    login.player_name = name;
    std::string text;
    write_json(text, login);
    return text;
}

struct Metrics : ::testing::Test {
    HostHarness h{false, 0, DebugCommandsMode::OPEN, true, [](HostConfig& c) {
                      c.metrics_port_any = true;
                      c.max_players_per_address = 1;
                  }};
    void SetUp() override {
        ASSERT_TRUE(h.start());
        ASSERT_NE(h.host->metrics_port(), 0);
    }
    std::map<std::string, double> scrape() { return scrape_samples(scrape_body(h.host->metrics_port())); }
};

TEST_F(Metrics, CountersMoveWithTheGame) {
    // The clients of the steps, kept alive until the end.
    std::vector<std::unique_ptr<TestClient>> tcp;
    std::unique_ptr<WsClient> browser;
    const auto tcp_client = [&](const char* source = "127.0.0.1") -> TestClient& {
        tcp.push_back(std::make_unique<TestClient>(h.port(), 0, source));
        return *tcp.back();
    };
    struct Step {
        const char* what;
        std::function<void()> play;
        const char* series;
        double least, most; // how far the series moves
    };
    const Step steps[] = {
        {"a TCP login", [&] { h.login(tcp_client(), "Ann"); }, "cogwell_logins_accepted_total", 1, 1},
        {"a TCP player seated", [&] { h.login(tcp_client(), "Bob"); }, "cogwell_players{transport=\"tcp\"}", 1, 1},
        {"a login's bytes", [&] { h.login(tcp_client(), "Cy"); }, "cogwell_received_bytes_total{transport=\"tcp\"}",
         10, 1e9},
        {"pictures sent whole", [&] { h.frames(3); }, "cogwell_pictures_sent_total{form=\"whole\"}", 9, 1e9},
        {"a first message that is not a LOGIN",
         [&] {
             ClientMessage input;
             input.kind = ClientMessageKind::INPUT;
             tcp_client().send_message(input);
             h.frames(3);
         },
         "cogwell_logins_refused_total{reason=\"bad_message\"}", 1, 1},
        {"a second seat for an address holding its one",
         [&] {
             h.login(tcp_client("127.0.0.2"), "Dee");
             tcp_client("127.0.0.2").send_login("Eve");
             h.frames(3);
         },
         "cogwell_logins_refused_total{reason=\"address_seats\"}", 1, 1},
        {"a seated player closing",
         [&] {
             shutdown(tcp.front()->fd(), SHUT_WR); // an orderly end: close() would reset with data unread
             h.frames(3);
         },
         "cogwell_connections_dropped_total{reason=\"closed\"}", 1, 1},
        {"a browser taking changes",
         [&] {
             browser = std::make_unique<WsClient>(h.web_port(), true, "/play", PICTURE_CHANGES_SUBPROTOCOL);
             drive_until([&] { h.frames(1); }, [&] { return browser->wait_open(2); }, 100);
             browser->send_text(login_text("Fay"));
             for (int i = 0; i < 20; ++i) {
                 h.frames(1);
                 browser->receive(2);
             }
         },
         "cogwell_pictures_sent_total{form=\"changes\"}", 1, 1e9},
        {"the browser seated", [&] { h.frames(1); }, "cogwell_players{transport=\"websocket_changes\"}", 0, 0},
    };
    for (const Step& step : steps) {
        const std::map<std::string, double> before = scrape();
        ASSERT_TRUE(before.contains(step.series)) << step.series;
        step.play();
        const double moved = scrape()[step.series] - before.at(step.series);
        EXPECT_GE(moved, step.least) << step.what << ": " << step.series;
        EXPECT_LE(moved, step.most) << step.what << ": " << step.series;
    }
    const std::map<std::string, double> last = scrape();
    EXPECT_EQ(last.at("cogwell_players{transport=\"websocket_changes\"}"), 1);
    EXPECT_GT(last.at("cogwell_sent_bytes_total{transport=\"websocket\"}"), 0);
    EXPECT_EQ(last.at("cogwell_screen_info{screen=\"LOBBY\"}"), 1);
    EXPECT_GT(last.at("cogwell_frame_duration_seconds_count"), 0);
}

// Prometheus' own checker on a scrape of a room that has seen some play.
TEST_F(Metrics, ScrapePassesPromtool) {
    TestClient client(h.port());
    h.login(client, "Ann");
    h.frames(5);
    const std::string body = scrape_body(h.host->metrics_port());
    ASSERT_NE(body.find("# TYPE cogwell_frame_duration_seconds histogram"), std::string::npos) << body;
    const PromtoolVerdict verdict = promtool_check_metrics(body);
    EXPECT_EQ(verdict.status, 0) << "promtool (from Debian's prometheus package) says:\n" << verdict.said << "\non:\n" << body;
}

// Only GET /metrics is answered with metrics; anything else, or too much, is turned away, and a
// client that never sends its request holds the endpoint no longer than its timeout.
TEST_F(Metrics, EndpointAnswersOnlyWhatItShould) {
    const uint16_t port = h.host->metrics_port();
    const int silent = connect_to(port);
    struct Case {
        std::string request;
        const char* status;
    };
    const Case cases[] = {
        {"GET /metrics HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK"},
        {"GET /metrics?x=1 HTTP/1.0\r\n\r\n", "HTTP/1.1 200 OK"},
        {"GET / HTTP/1.1\r\n\r\n", "HTTP/1.1 404"},
        {"GET /play HTTP/1.1\r\n\r\n", "HTTP/1.1 404"},
        {"POST /metrics HTTP/1.1\r\n\r\n", "HTTP/1.1 405"},
        {"GET /metrics HTTP/1.1\r\nX: " + std::string(8000, 'a') + "\r\n\r\n", "HTTP/1.1 431"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(http_exchange(port, c.request).substr(0, std::string_view(c.status).size()), c.status)
            << c.request.substr(0, 40);
    close(silent);
}

} // namespace
} // namespace cog::test
