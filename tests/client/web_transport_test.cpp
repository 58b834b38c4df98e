// The client over the host's WebSocket: the real host in-process (logging in, compressed pictures
// both ways, a lost link that comes back to its seat), the host's own web endpoint as a stand-in
// sending what a broken host might.
#include "client/session/client_state.h"
#include "client/session/connection_keeper.h"
#include "client/session/options.h"
#include "server/main/host.h"
#include "server/web/web_endpoint.h"
#include "shared/platform/random.h"
#include "shared/protocol/json.h"
#include "tests/client/client_capture.h"
#include "tests/support/test_certificate.h"
#include "tests/support/test_world.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace cog::client {
namespace {

// An empty folder for the web endpoint to serve: the native client asks it for no files.
struct EmptyFolder {
    std::string path;
    EmptyFolder() {
        std::string pattern = ::testing::TempDir() + "cogwell-web-XXXXXX";
        path = mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~EmptyFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

std::string picture_body(std::string_view text) {
    return R"({"kind":1,"event":{"kind":0},"commands":[{"kind":1,"text":")" + std::string(text) + R"(","font_size":20}]})";
}

std::string shown_texts(const HostReader& reader) {
    std::string texts;
    for (const DrawCommand& command : reader.picture()) texts.append(command.text).push_back('\n');
    return texts;
}

class RealHostOverWebSocket : public ::testing::Test {
protected:
    void SetUp() override {
        HostConfig config;
        config.port = 0;
        config.web_port = 0;
        config.web_port_any = true;
        config.web_root = folder.path;
        config.clock = &clock;
        config.random = &random;
        config.open_window = false;
        config.stop_requested = &stop;
        configure(config);
        host = std::make_unique<Host>(config);
        ASSERT_TRUE(host->start());
        ASSERT_NE(host->web_port(), 0);
        state.options.name = "Wes";
        state.host_address.transport = TransportKind::WebSocket;
        ASSERT_EQ(resolve_host("127.0.0.1", host->web_port(), state.host_address), ConnectError::None);
    }
    void TearDown() override {
        state.connection.close();
        if (host) host->shutdown();
    }
    // A host frame, then a client frame as the client's loop runs it, until `done` holds.
    bool frames_until(const std::function<bool()>& done, int max_frames = 300) {
        for (int i = 0; i < max_frames; ++i) {
            host->frame();
            const double now = static_cast<double>(clock.mono) / 1e9; // moves as the host sleeps out its frame
            state.reader.read_frame(state.connection, state.session, state.overlay, sound, now);
            keep_connected(state, now);
            send_input(state, now);
            if (done()) return true;
        }
        return false;
    }
    bool shows(std::string_view text) const { return shown_texts(state.reader).find(text) != std::string::npos; }
    virtual void configure(HostConfig&) {}

    ConsoleCapture console;
    EmptyFolder folder;
    test::FakeClock clock;
    SeededRandom random{7};
    std::atomic<bool> stop{false};
    std::unique_ptr<Host> host;
    ClientState state;
    CountingSound sound;
};

TEST_F(RealHostOverWebSocket, LogsInGetsCompressedPicturesAndComesBackToItsSeat) {
    ASSERT_TRUE(frames_until([&] { return state.session.logged_in && shows("Wes"); })) << console.text;
    EXPECT_TRUE(state.connection.traffic().compressed);
    const uint32_t id = state.session.client_id;
    EXPECT_NE(id, 0u);

    // The command goes up the compressed link; the typing pool's pictures come down it.
    ASSERT_EQ(state.connection.send(command_message("push typewriter")), ProtocolError::None);
    ASSERT_TRUE(frames_until([&] { return shows("Word "); })) << shown_texts(state.reader);
    const TrafficCount before = state.connection.traffic();
    frames_until([] { return false; }, 60);
    const TrafficCount after = state.connection.traffic();
    const uint64_t wire = after.wire_bytes - before.wire_bytes;
    const uint64_t decoded = after.message_bytes - before.message_bytes;
    // The pictures come as changes (a fraction of the whole pictures, which are some kilobytes
    // each), compressed again on the wire, and every one of them applies.
    std::string whole;
    write_json(whole, ServerMessage{ServerMessageKind::DRAW_COMMANDS, Event{},
                                    DrawList(state.reader.picture().begin(), state.reader.picture().end())});
    EXPECT_GT(whole.size(), 1000u);
    EXPECT_LT(decoded * 3, 60 * whole.size()) << decoded << " bytes of changes for pictures of " << whole.size();
    EXPECT_LT(wire * 3, decoded) << wire << " bytes on the wire for " << decoded;
    EXPECT_EQ(console.count("picture change"), 0u);

    // A lost link: the next attempt, started without waiting, asks for the old seat and gets it.
    state.connection.close();
    ASSERT_TRUE(frames_until([&] { return state.session.logged_in; })) << console.text;
    EXPECT_EQ(state.session.client_id, id);
    EXPECT_EQ(console.count("(Wes) reconnected"), 1u);
    EXPECT_TRUE(state.connection.traffic().compressed);
}

// The host serving its web port over TLS with a self-signed certificate.
class RealHostOverTls : public RealHostOverWebSocket {
protected:
    void configure(HostConfig& config) override {
        ASSERT_TRUE(test::make_test_certificate(folder.path, "host", certificate));
        config.tls_certificate = certificate.certificate;
        config.tls_key = certificate.key;
    }
    test::TestCertificate certificate;
};

TEST_F(RealHostOverTls, TakesASelfSignedCertificateOnlyWhenToldToAndPlaysOverWss) {
    // An attempt with the host serviced meanwhile, so a refusal is the handshake's, not a timeout.
    const auto attempt = [&](bool tls, bool insecure) {
        Connection probe;
        HostAddress address = state.host_address;
        address.tls = tls;
        address.insecure = insecure;
        ConnectError result = probe.start_connect(address);
        for (int i = 0; i < 200 && result == ConnectError::InProgress; ++i) {
            host->frame();
            result = probe.finish_connect();
        }
        return result;
    };
    EXPECT_EQ(attempt(true, true), ConnectError::None);
    EXPECT_EQ(attempt(true, false), ConnectError::Failed); // nobody vouches for the certificate
    EXPECT_NE(attempt(false, false), ConnectError::None);  // plain ws:// to a TLS port

    state.host_address.tls = true;
    state.host_address.insecure = true;
    ASSERT_TRUE(frames_until([&] { return state.session.logged_in && shows("Wes"); })) << console.text;
    EXPECT_TRUE(state.connection.traffic().compressed);
    ASSERT_EQ(state.connection.send(command_message("push typewriter")), ProtocolError::None);
    ASSERT_TRUE(frames_until([&] { return shows("Word "); })) << shown_texts(state.reader);
}

// The host's web endpoint, scripted: whatever the test queues reaches the client as one message.
class StandInWebHost : public ::testing::Test {
protected:
    void SetUp() override {
        web::WebError error = web::WebError::None;
        endpoint = web::WebEndpoint::open({0, folder.path, true}, error);
        ASSERT_TRUE(endpoint) << web::web_error_name(error);
        HostAddress address;
        address.transport = TransportKind::WebSocket;
        ASSERT_EQ(resolve_host("127.0.0.1", endpoint->port(), address), ConnectError::None);
        ASSERT_EQ(client.start_connect(address), ConnectError::InProgress);
        for (int i = 0; i < 500 && !(channel && client.is_open()); ++i) {
            endpoint->service();
            client.finish_connect();
            for (auto& opened : endpoint->take_opened()) channel = opened;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        ASSERT_TRUE(channel && client.is_open());
    }
    void put(std::string_view body) { ASSERT_TRUE(channel->queue(body)); }
    // Lets the endpoint write out what is queued.
    void deliver() {
        for (int i = 0; i < 8; ++i) {
            endpoint->service();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    ProtocolError read(const ReadLimits& limits = {}) {
        return reader.read_frame(client, session, overlay, sound, 10.0, limits);
    }

    ConsoleCapture console;
    EmptyFolder folder;
    std::unique_ptr<web::WebEndpoint> endpoint;
    std::shared_ptr<web::WebChannel> channel;
    Connection client;
    HostReader reader;
    Session session;
    Overlay overlay;
    CountingSound sound;
};

TEST_F(StandInWebHost, OversizeAndBrokenMessagesAreSkippedWithOneWarningAndTheLinkStays) {
    const std::string oversize = picture_body(std::string(MAX_FRAME_BODY, 'x')); // a few kB once deflated
    put(picture_body("first"));
    put(oversize);
    put("not json at all");
    put(picture_body("newest"));
    deliver();
    for (int i = 0; i < 5; ++i) EXPECT_EQ(read(), ProtocolError::None);
    EXPECT_TRUE(client.is_open());
    EXPECT_EQ(shown_texts(reader), "newest\n");
    EXPECT_EQ(console.count("too large or empty"), 1u);
    EXPECT_EQ(console.count("does not decode"), 1u);

    put(oversize);
    put(picture_body("after"));
    deliver();
    for (int i = 0; i < 5; ++i) read();
    EXPECT_TRUE(client.is_open());
    EXPECT_EQ(shown_texts(reader), "after\n");
    EXPECT_EQ(console.count("too large or empty"), 1u); // once per connection
}

TEST_F(StandInWebHost, EachFrameTakesItsShareAndTheRestWaitsInTheSocket) {
    const std::string one = picture_body("p");
    for (int i = 0; i < 10; ++i) put(one);
    put(picture_body("last"));
    deliver();
    ReadLimits limits;
    limits.bytes_per_frame = one.size() * 3;
    EXPECT_EQ(read(limits), ProtocolError::None);
    EXPECT_EQ(shown_texts(reader), "p\n");
    for (int i = 0; i < 6; ++i) read(limits);
    EXPECT_EQ(shown_texts(reader), "last\n");

    // The endpoint closing the socket: what came before is still taken, then the link is closed.
    put(picture_body("last words"));
    deliver();
    channel->close();
    deliver();
    ProtocolError result = ProtocolError::None;
    for (int i = 0; i < 5 && result == ProtocolError::None; ++i) result = read();
    EXPECT_EQ(result, ProtocolError::ConnectionClosed);
    EXPECT_FALSE(client.is_open());
    EXPECT_EQ(shown_texts(reader), "last words\n");
}

// Changes a broken or hostile host might send: each is refused without touching the picture
// shown, with one warning on the connection, and the client asks for a whole picture; the
// changes that follow before it comes are skipped, and after it changes apply again.
TEST_F(StandInWebHost, ChangesThatDoNotFitAreRefusedAndAWholePictureIsAskedFor) {
    EXPECT_TRUE(channel->picture_changes); // the client named the subprotocol
    const auto change = [](std::string_view keep, std::string_view text) {
        return R"({"kind":2,"base":2,"keep":[)" + std::string(keep) + R"(],"commands":[{"kind":1,"text":")" +
               std::string(text) + R"(","font_size":20}]})";
    };
    const auto requests = [&] {
        deliver();
        size_t count = 0;
        for (std::string message; channel->take_message(message);) count += message.starts_with(R"({"kind":4,)");
        return count;
    };
    put(change("0,0,1", "before any picture"));
    deliver();
    read();
    EXPECT_FALSE(reader.has_picture());
    EXPECT_EQ(requests(), 1u);

    const std::string two = R"({"kind":1,"event":{"kind":0},"commands":[{"kind":1,"text":"a","font_size":20},)"
                            R"({"kind":1,"text":"b","font_size":20}]})";
    put(two);
    put(change("1,1,1", "c")); // c b
    deliver();
    read();
    EXPECT_EQ(shown_texts(reader), "c\nb\n");

    // An edit changes a kept command in place; the text it brings outlives the change message.
    const auto edited = [](std::string_view at, std::string_view edits) {
        return R"({"kind":2,"base":2,"keep":[0,0,2],"commands":[],"edit_at":[)" + std::string(at) + R"(],"edits":[)" +
               std::string(edits) + "]}";
    };
    put(edited("1", R"({"text":"edited"})"));
    deliver();
    read();
    EXPECT_EQ(shown_texts(reader), "c\nedited\n");
    put(change("0,0,1,1,1,1", "x")); // c edited, then a fresh command after them
    deliver();
    read();
    EXPECT_EQ(shown_texts(reader), "c\nedited\nx\n");
    put(two);
    put(change("1,1,1", "c"));

    const std::string hostile[] = {
        change("0,1,2", "x"),          // past the end of the previous picture
        change("0,0,2,1,1,1", "x"),    // overlapping runs
        change("0,0,4294967295", "x"), // a huge count
        change("3,0,1", "x"),          // places no command fills
        edited("2", R"({"x":1})"),      // an edit past the end of the picture
        edited("1,1", R"({"x":1},{"x":2})"), // a command edited twice
        edited("0,1", R"({"x":1})"),    // places without edits
    };
    for (const std::string& bad : hostile) {
        SCOPED_TRACE(bad);
        put(bad);
        put(change("0,0,1", "skipped")); // made against the picture the host believes we have
        deliver();
        read();
        EXPECT_EQ(shown_texts(reader), "c\nb\n");
        EXPECT_EQ(requests(), 1u);
        put(two);
        deliver();
        read();
        EXPECT_EQ(shown_texts(reader), "a\nb\n");
        put(change("1,1,1", "c"));
        deliver();
        read();
        EXPECT_EQ(shown_texts(reader), "c\nb\n");
    }
    // A list of runs longer than any picture could need is refused while it is read.
    std::string long_keep = "0,0,1";
    for (int i = 1; i < 3 * 16384; ++i) long_keep += ",1,1,1";
    put(change(long_keep, "x"));
    deliver();
    read();
    EXPECT_EQ(shown_texts(reader), "c\nb\n");
    EXPECT_EQ(requests(), 1u);
    EXPECT_TRUE(client.is_open());
    EXPECT_EQ(console.count("picture change"), 1u); // one warning on the connection

    // A whole picture makes the changes before it in the same frame moot: none applies to it.
    put(two);
    deliver();
    read();
    put(change("1,1,1", "stale"));
    put(two);
    deliver();
    read();
    EXPECT_EQ(shown_texts(reader), "a\nb\n");
    EXPECT_EQ(requests(), 0u);
    // Each change costs the commands it builds, kept ones too: past the frame's budget the rest
    // cannot be followed, and a whole picture is asked for.
    ReadLimits limits;
    limits.change_commands_per_frame = 5;
    for (int i = 0; i < 4; ++i) put(edited("", ""));
    deliver();
    read(limits);
    EXPECT_EQ(requests(), 1u);
}

// --room sends the WebSocket to the door's path for that room; without it, to the host's own.
TEST(RoomThroughDoor, TheClientAsksTheDoorForTheRoomsPath) {
    struct Case {
        std::vector<const char*> args;
        const char* request_line; // nullptr: the options are refused
    };
    const Case cases[] = {
        {{"client", "--name", "Ann"}, "GET /play HTTP/1.1"},
        {{"client", "--name", "Ann", "--room", "QXZT"}, "GET /r/QXZT/play HTTP/1.1"},
        {{"client", "--name", "Ann", "--room", "QX/T"}, nullptr},
        {{"client", "--name", "Ann", "--room", "QXZT", "--tcp"}, nullptr},
    };
    for (const Case& c : cases) {
        const ParsedOptions parsed = parse_options(static_cast<int>(c.args.size()), c.args.data());
        ASSERT_EQ(parsed.result == OptionsResult::Run, c.request_line != nullptr) << parsed.error;
        if (!c.request_line) continue;
        // A stand-in door that only records what it is asked for.
        const int door = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in bound{};
        bound.sin_family = AF_INET;
        bound.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof bound;
        ASSERT_EQ(bind(door, reinterpret_cast<sockaddr*>(&bound), sizeof bound), 0);
        ASSERT_EQ(listen(door, 1), 0);
        ASSERT_EQ(getsockname(door, reinterpret_cast<sockaddr*>(&bound), &size), 0);
        HostAddress address;
        address.transport = TransportKind::WebSocket;
        address.room = parsed.options.room;
        ASSERT_EQ(resolve_host("127.0.0.1", ntohs(bound.sin_port), address), ConnectError::None);
        Connection client;
        client.start_connect(address);
        std::string request;
        int player = -1;
        for (int i = 0; i < 500 && request.find("\r\n") == std::string::npos; ++i) {
            client.finish_connect();
            if (player < 0) player = accept4(door, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            char bytes[512];
            const ssize_t n = player < 0 ? -1 : recv(player, bytes, sizeof bytes, 0);
            if (n > 0) request.append(bytes, static_cast<size_t>(n));
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        EXPECT_EQ(request.substr(0, request.find("\r\n")), c.request_line);
        client.close();
        if (player >= 0) close(player);
        close(door);
    }
}

} // namespace
} // namespace cog::client
