// The real client program, on SDL's software renderer, against a scripted hostile host: floods of
// texts, commands, sounds and broken messages, absurd geometry, huge turned images and a silence.
// The client must keep drawing and sending one INPUT per frame, keep its memory bounded, keep its
// seat, and say when the host is silent.
#include "tests/client/hostile_host.h"
#include "tests/client/hostile_ws_host.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

namespace cog::client {
namespace {

using namespace hostile;

TEST(HostileHost, TheClientStaysResponsiveBoundedAndSeatedAndSaysWhenTheHostIsSilent) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs a display (the test script runs under xvfb-run)";
    const int listener = create_listener("127.0.0.1", 0, 4).fd;
    ASSERT_GE(listener, 0);
    ClientProcess client;
    // What a machine without a graphics card gets: every image is scaled and turned in memory.
    client.render_driver = "software";
    const std::string png = ::testing::TempDir() + "hostile" + std::to_string(getpid()) + ".png";
    ASSERT_TRUE(client.start(COG_CLIENT_BINARY, bound_port(listener), png));

    auto host = std::make_unique<HostEnd>(accept_within(listener, 20000));
    const auto init = frame(R"({"kind":0,"event":{"kind":0,"client_id":5,"world_width":1280,"world_height":720}})");
    ASSERT_TRUE(host->send_all(init));
    // The window is up once the INPUTs flow.
    int first_inputs = 0;
    for (int i = 0; i < 2000 && first_inputs == 0; ++i) {
        first_inputs = host->run(0.02, [](int) { return plain_picture(); });
        client.collect();
    }
    ASSERT_GT(first_inputs, 0) << client.output;
    EXPECT_EQ(host->login_id, 0);

    struct Phase {
        const char* name;
        double seconds;
        std::function<std::string(int)> batch;
    };
    const std::string empties = empty_commands(), geometry = absurd_geometry(), broken = junk(), flood = sounds(),
                      huge = huge_images(8), wide = wide_texts();
    const Phase phases[] = {
        {"distinct texts", 2, many_texts},
        // Every sixth host frame: each of these pictures costs the sanitizer build a frame or two
        // of decoding alone, and what is tested is what drawing them does.
        {"long texts", 2, [](int tick) { return tick % 6 == 0 ? long_texts(tick) : std::string(); }},
        {"empty commands", 1.5, [&](int) { return empties; }},
        {"absurd geometry", 1.5, [&](int) { return geometry; }},
        {"huge turned images", 1.5, [&](int) { return huge; }},
        {"wide texts reaching in", 1.5, [&](int) { return wide; }},
        {"broken messages", 1.5, [&](int) { return broken; }},
        {"sound flood", 1.5, [&](int) { return flood; }},
        {"calm", 0.5, [](int) { return plain_picture(); }},
    };
    for (const Phase& phase : phases) {
        const int inputs = host->run(phase.seconds, phase.batch);
        client.collect();
        std::printf("%s: %d INPUTs in %.1f s\n", phase.name, inputs, phase.seconds);
        // Frames kept coming, at least one a second whatever the phase: a frozen window sends none,
        // while the sanitizer build on a busy machine may manage only a few (60 in a release build).
        EXPECT_GE(inputs, static_cast<int>(phase.seconds)) << phase.name << "\n" << client.output;
    }

    // Silence: the host neither reads nor writes for 5 s. A client slowed down by a busy machine
    // is still reading what was sent before for a while, and that is not silence.
    host->drain();
    std::this_thread::sleep_for(std::chrono::milliseconds(5000));
    client.collect();
    const int piled = host->drain();
    std::printf("silence: %d INPUTs piled up\n", piled);
    // About two seconds of frames, then the client held its snapshots back instead of piling them.
    EXPECT_LE(piled, 170) << client.output;
    // The client's log reaches us through its output writer: on a loaded machine the line may
    // still be on its way.
    for (int i = 0; i < 40 && client.count("Host not responding") == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        client.collect();
    }
    EXPECT_EQ(client.count("Host not responding"), 1u) << client.output;
    EXPECT_GE(host->run(1, [](int) { return plain_picture(); }), 5);

    // Dropped: the client comes back with the id of the one real INIT.
    host.reset();
    const int again = accept_within(listener, 10000);
    ASSERT_GE(again, 0);
    host = std::make_unique<HostEnd>(again);
    for (int i = 0; i < 200 && host->login_id < 0; ++i) {
        host->drain();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(host->login_id, 5);

    const long peak_kb = client.peak_rss_kb();
    EXPECT_GT(peak_kb, 0);
    EXPECT_LT(peak_kb, 700 * 1024) << "peak resident memory of the client, KiB";
    EXPECT_EQ(client.stop(), 0) << client.output;
    // Broken messages were skipped, each kind warned once, and never cost the connection: the
    // only loss was the one the host made. (Whether a broken picture was ever the newest of its
    // frame depends on how far behind the sanitizer build ran.)
    EXPECT_EQ(client.count("Skipped a message from the host that does not decode"), 1u) << client.output;
    EXPECT_LE(client.count("Skipped a picture that does not decode"), 1u) << client.output;
    EXPECT_EQ(client.count("Connection to the host lost"), 1u) << client.output;
    EXPECT_EQ(client.count("too many commands"), 1u) << client.output;
    std::printf("client peak resident memory: %ld KiB\n", peak_kb);
    close(listener);
    std::remove(png.c_str());
}

// A host that starts a WebSocket message and never finishes it, or takes 50 MiB to: the client
// reads only its share each frame, so its frames go on, INPUTs keep flowing, and the message is
// dropped as it comes.
TEST(HostileHost, TheClientKeepsSendingInputWhileAWebSocketMessageNeverEnds) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs a display (the test script runs under xvfb-run)";
    const int listener = create_listener("127.0.0.1", 0, 4).fd;
    ASSERT_GE(listener, 0);
    ClientProcess client;
    client.web = true;
    const std::string png = ::testing::TempDir() + "hostile-ws" + std::to_string(getpid()) + ".png";
    ASSERT_TRUE(client.start(COG_CLIENT_BINARY, bound_port(listener), png));

    const std::string init = R"({"kind":0,"event":{"kind":0,"client_id":5,"world_width":1280,"world_height":720}})";
    const std::string steady = plain_picture().substr(4);
    const std::string chunk(1 << 20, ' ');
    const std::string endless = ws_header(WS_CONTINUATION, chunk.size()) + chunk;
    struct Attack {
        const char* name;
        bool deflate;
        std::function<std::string(Deflater&)> opening;
        std::function<std::string(Deflater&, int)> batch;
    };
    const Attack attacks[] = {
        {"endless fragments", false, [&](Deflater&) { return ws_header(WS_TEXT, chunk.size()) + chunk; },
         [&](Deflater&, int) { return endless; }},
        // 128 KiB a host frame: still arriving when the attack ends.
        {"a 50 MiB message", false, [](Deflater&) { return ws_header(WS_FIN | WS_TEXT, 50 << 20); },
         [&](Deflater&, int tick) { return tick < 400 ? chunk.substr(0, 128 << 10) : std::string(); }},
        {"endless deflated fragments", true, [](Deflater&) { return ws_header(WS_RSV1 | WS_TEXT, 0); },
         [](Deflater& deflater, int) {
             const std::string more = deflater.zeros(16 << 20); // 16 MiB once inflated
             return ws_header(WS_CONTINUATION, more.size()) + more;
         }},
    };
    for (const Attack& attack : attacks) {
        WsHostEnd host(accept_within(listener, 20000));
        Deflater deflater;
        const auto message = [&](std::string_view body) {
            return attack.deflate ? deflater.message(body) : ws_header(WS_FIN | WS_TEXT, body.size()) + std::string(body);
        };
        ASSERT_TRUE(host.handshake(attack.deflate, 10000)) << attack.name << "\n" << client.output;
        ASSERT_TRUE(host.send_all(message(init)));
        int logged_in = 0;
        for (int i = 0; i < 500 && logged_in == 0; ++i) logged_in = host.run(0.02, [&](int) { return message(steady); });
        ASSERT_GT(logged_in, 0) << attack.name << "\n" << client.output;
        ASSERT_TRUE(host.send_all(attack.opening(deflater)));
        // Longer than the silence after which the client holds its INPUTs back: a host that is
        // sending is not silent, however long its message.
        int tick = 0;
        for (const char* half : {"first", "second"}) {
            const int inputs = host.run(2.5, [&](int) { return attack.batch(deflater, tick++); });
            client.collect();
            std::printf("%s, %s half: %d INPUTs in 2.5 s\n", attack.name, half, inputs);
            EXPECT_GE(inputs, 3) << attack.name << ", " << half << " half\n" << client.output;
        }
    }
    EXPECT_EQ(client.count("Host not responding"), 0u) << client.output;
    EXPECT_LT(client.peak_rss_kb(), 700 * 1024) << "peak resident memory of the client, KiB";
    EXPECT_EQ(client.stop(), 0) << client.output;
    close(listener);
    std::remove(png.c_str());
}

} // namespace
} // namespace cog::client
