// Client flood benchmark: runs a game client program against a scripted hostile host and reports,
// per kind of flood, the client's frame rate (the INPUTs it sends, one per frame), its CPU share
// and its memory, read from /proc. Give it any client binary to compare builds.
//
//   xvfb-run -a build-rel/client_flood <client-binary> [seconds-per-flood] [flood-name-part]
//
// SDL_RENDER_DRIVER=software in its environment runs the client as on a machine without a graphics card.
#include "server/network/socket_util.h"
#include "tests/client/hostile_host.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>

using namespace cog;
using namespace cog::client::hostile;

namespace {

// User and system CPU time of a process, in seconds.
double cpu_seconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t after_name = text.rfind(')');
    if (after_name == std::string::npos) return 0;
    std::istringstream fields(text.substr(after_name + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i == 14 || i == 15) ticks += std::atof(field.c_str()); // utime, stime
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

struct Flood {
    const char* name;
    std::function<std::string(int)> batch;
};

// Starts a fresh client, logs it in and runs one flood on it; prints one row.
void measure(const char* binary, const Flood& flood, double seconds) {
    const int listener = create_listener("127.0.0.1", 0, 4).fd;
    ClientProcess client;
    const std::string png = "/tmp/client_flood_" + std::to_string(getpid()) + ".png";
    const int fd = listener >= 0 && client.start(binary, bound_port(listener), png) ? accept_within(listener, 20000) : -1;
    if (fd < 0) {
        std::printf("%-42s %10s\n", flood.name, "no client");
        return;
    }
    HostEnd host(fd);
    host.send_all(frame(R"({"kind":0,"event":{"kind":0,"client_id":5,"world_width":1280,"world_height":720}})"));
    int first = 0;
    for (int i = 0; i < 1500 && first == 0; ++i) first = host.run(0.02, [](int) { return plain_picture(); });
    const double cpu_before = cpu_seconds(client.pid());
    const auto start = Clock::now();
    const int inputs = first > 0 ? host.run(seconds, flood.batch) : -1;
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = cpu_seconds(client.pid()) - cpu_before;
    client.collect();
    char rate[32] = "stalled"; // the client stopped reading for 10 s
    if (inputs >= 0) std::snprintf(rate, sizeof rate, "%.1f", inputs / wall);
    std::printf("%-42s %10s %8.0f %10.1f %10.1f\n", flood.name, rate, 100 * cpu / wall, client.status_kb("VmRSS:") / 1024.0,
                client.peak_rss_kb() / 1024.0);
    std::fflush(stdout);
    client.stop();
    close(listener);
    std::remove(png.c_str());
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: client_flood <client-binary> [seconds-per-flood] [flood-name-part]\n");
        return 2;
    }
    const double seconds = argc > 2 ? std::atof(argv[2]) : 5;
    const std::string empties = empty_commands(), geometry = absurd_geometry(), flood = sounds();
    const std::string huge8 = huge_images(8), huge32 = huge_images(32), wide = wide_texts();
    const Flood floods[] = {
        {"calm (one small picture per host frame)", [](int) { return plain_picture(); }},
        {"25,000 distinct texts per picture", many_texts},
        {"1,000-letter texts at size 400", long_texts},
        {"350,000 empty commands", [&](int) { return empties; }},
        {"absurd geometry + covering rectangles", [&](int) { return geometry; }},
        {"300 PLAY_SOUND per host frame", [&](int) { return flood; }},
        {"sprite x8 turned 45 + 20,000-unit images", [&](int) { return huge8; }},
        {"sprite x32 turned 45 + 20,000-unit images", [&](int) { return huge32; }},
        {"wide texts reaching into the world", [&](int) { return wide; }},
    };
    std::printf("%-42s %10s %8s %10s %10s\n", "flood", "frames/s", "CPU %", "RSS MiB", "peak MiB");
    for (const Flood& f : floods)
        if (argc < 4 || std::string(f.name).find(argv[3]) != std::string::npos) measure(argv[1], f, seconds);
    return 0;
}
