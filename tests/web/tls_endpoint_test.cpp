// The web port over TLS against raw ClientHellos: only the frame's budget of handshakes is
// answered whoever sends them, and a handshake left unfinished is closed once its time is up.
#include "server/web/web_endpoint.h"
#include "shared/log/console.h"
#include "tests/support/test_certificate.h"
#include "tests/support/tls_client_hello.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace cog::web {
namespace {

namespace fs = std::filesystem;

// A TCP connection from a loopback address that sends bytes and remembers what came back first.
class RawTls {
public:
    RawTls(uint16_t port, const char* source) {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in from{}, to{};
        from.sin_family = to.sin_family = AF_INET;
        inet_pton(AF_INET, source, &from.sin_addr);
        inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
        to.sin_port = htons(port);
        if (bind(fd_, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0 ||
            connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
            close(fd_);
            fd_ = -1;
        }
    }
    ~RawTls() {
        if (fd_ >= 0) close(fd_);
    }
    RawTls(const RawTls&) = delete;
    RawTls& operator=(const RawTls&) = delete;
    void send_bytes(std::string_view bytes) { ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
    // Reads what has arrived without waiting.
    void poll_now() {
        char buffer[4096];
        for (ssize_t n; !closed_ && (n = recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT)) != 0;) {
            if (n < 0) {
                closed_ = errno != EAGAIN && errno != EWOULDBLOCK;
                return;
            }
            if (first_ == 0) first_ = static_cast<unsigned char>(buffer[0]);
        }
        closed_ = true;
    }
    bool connected() const { return fd_ >= 0; }
    // 0x16: a handshake record (the ServerHello); 0x15: an alert; 0: nothing yet.
    unsigned char first_byte() const { return first_; }
    bool closed() const { return closed_; }

private:
    int fd_ = -1;
    unsigned char first_ = 0;
    bool closed_ = false;
};

constexpr unsigned char HANDSHAKE_RECORD = 0x16;

struct TlsEndpoint : ::testing::Test {
    fs::path base = fs::temp_directory_path() / ("cog_web_tls_" + std::to_string(getpid()));
    int64_t now_us = 1'000'000'000; // the endpoint's clock, moved by hand
    std::unique_ptr<WebEndpoint> endpoint;
    const std::string hello = test::prepared_client_hello();

    void SetUp() override {
        fs::remove_all(base);
        fs::create_directories(base / "site");
        std::ofstream(base / "site" / "index.html") << "<html>cogwell</html>";
        test::TestCertificate pair;
        ASSERT_TRUE(test::make_test_certificate(base.string(), "tls", pair));
        ASSERT_FALSE(hello.empty());
        WebConfig config;
        config.root = (base / "site").string();
        config.tls_certificate = pair.certificate;
        config.tls_key = pair.key;
        config.clock_us = [this] { return now_us; };
        WebError error = WebError::ListenFailed;
        endpoint = WebEndpoint::open(config, error);
        ASSERT_EQ(error, WebError::None);
    }
    void TearDown() override {
        endpoint.reset();
        fs::remove_all(base);
    }
    // Services the endpoint until every socket has its answer (or `steps` have passed).
    void serve(std::vector<std::unique_ptr<RawTls>>& sockets, int steps = 200) {
        for (int i = 0; i < steps; ++i) {
            endpoint->service();
            bool all = true;
            for (auto& s : sockets) {
                s->poll_now();
                all = all && (s->first_byte() != 0 || s->closed());
            }
            if (all) return;
            usleep(2000);
        }
    }
};

struct LogLines {
    std::string text;
    LogLines() {
        console_set_sink([](void* self, std::string_view line) { static_cast<LogLines*>(self)->text.append(line); }, this);
    }
    ~LogLines() { console_set_sink(nullptr, nullptr); }
};

// From this machine's own address, which no per-address limit counts, as from any other: the
// first frame answers a burst's worth, the next one a frame's.
TEST_F(TlsEndpoint, AFrameAnswersOnlyItsBudgetOfClientHellos) {
    LogLines log;
    for (const unsigned budget : {TLS_HANDSHAKE_BURST, TLS_HANDSHAKES_PER_FRAME}) {
        std::vector<std::unique_ptr<RawTls>> sockets;
        for (unsigned i = 0; i < TLS_HANDSHAKE_BURST + 8; ++i) {
            sockets.push_back(std::make_unique<RawTls>(endpoint->port(), "127.0.0.1"));
            ASSERT_TRUE(sockets.back()->connected());
            sockets.back()->send_bytes(hello);
        }
        serve(sockets);
        size_t answered = 0, refused = 0;
        for (auto& s : sockets) {
            answered += s->first_byte() == HANDSHAKE_RECORD;
            refused += s->first_byte() != HANDSHAKE_RECORD && s->closed();
        }
        EXPECT_EQ(answered, budget);
        EXPECT_EQ(refused, sockets.size() - budget);
        now_us += FRAME_US;
    }
    EXPECT_NE(log.text.find("[WEB] Too many TLS handshakes, refused"), std::string::npos) << log.text;
}

// Silent, stopped part-way through its ClientHello, or answered and never finished: each is
// closed when its time is up, not a moment later.
TEST_F(TlsEndpoint, AnUnfinishedHandshakeIsClosedOnceItsTimeIsUp) {
    std::vector<std::unique_ptr<RawTls>> sockets;
    for (const char* source : {"127.0.0.2", "127.0.0.3", "127.0.0.4"})
        sockets.push_back(std::make_unique<RawTls>(endpoint->port(), source));
    sockets[1]->send_bytes(hello.substr(0, 20));
    sockets[2]->send_bytes(hello);
    serve(sockets, 50);
    EXPECT_EQ(sockets[2]->first_byte(), HANDSHAKE_RECORD);
    now_us += int64_t{HANDSHAKE_TIMEOUT_S} * 1'000'000 - 10'000;
    serve(sockets, 10);
    for (auto& s : sockets) EXPECT_FALSE(s->closed());
    now_us += 20'000;
    for (int i = 0; i < 100; ++i) {
        endpoint->service();
        for (auto& s : sockets) s->poll_now();
        usleep(5000);
    }
    for (size_t i = 0; i < sockets.size(); ++i) EXPECT_TRUE(sockets[i]->closed()) << i;
}

} // namespace
} // namespace cog::web
