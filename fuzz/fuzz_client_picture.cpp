// libFuzzer target: the native client's way from the host's bytes to a drawn picture. The input is
// what a host sends over the plain game port; it arrives through a real loopback connection, is
// read frame by frame within the client's budgets, and each frame is drawn by SDL's software
// renderer into memory with the client's own sprites and font.
#include "client/net/connection.h"
#include "client/session/host_reader.h"
#include "client/session/session.h"
#include "client/window/frame_drawing.h"
#include "client/window/sprite_textures.h"
#include "client/window/text_cache.h"
#include "shared/log/console.h"

#include <SDL.h>
#include <SDL_ttf.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using namespace cog;
using namespace cog::client;

constexpr int TARGET_W = 320, TARGET_H = 180; // pixels: a quarter of the world, to keep runs fast
constexpr int MAX_FRAMES = 6;                  // client frames per input

void discard(void*, std::string_view) {}

// A loopback listener on a port of the system's choosing; its port in `port`.
int listen_on_loopback(uint16_t& port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof at;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || listen(fd, 4) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&at), &length) != 0)
        return -1;
    port = ntohs(at.sin_port);
    return fd;
}

class NoSound final : public SoundOutput {
public:
    void play(uint16_t, float) override {}
    void stop_music() override {}
};

// What stays from one input to the next: the listener, the drawing target and what is drawn with.
struct Bench {
    int listener = -1;
    HostAddress address;
    SDL_Surface* surface = nullptr;
    SDL_Renderer* renderer = nullptr;
    SpriteTextures sprites;
    TTF_Font* font = nullptr;
    TextCache* texts = nullptr;

    Bench() {
        console_set_sink(&discard, nullptr);
        uint16_t port = 0;
        listener = listen_on_loopback(port);
        address.transport = TransportKind::Tcp;
        if (listener < 0 || resolve_host("127.0.0.1", port, address) != ConnectError::None) std::abort();
        SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "1"); // as the game window draws
        surface = SDL_CreateRGBSurfaceWithFormat(0, TARGET_W, TARGET_H, 32, SDL_PIXELFORMAT_RGBA32);
        renderer = surface ? SDL_CreateSoftwareRenderer(surface) : nullptr;
        if (!renderer || TTF_Init() != 0 || !(font = open_game_font())) std::abort();
        sprites = create_sprite_textures(renderer);
        texts = new TextCache(renderer, font);
    }
};

// Writes what the socket takes now; the client reads in between.
size_t write_some(int fd, const uint8_t* data, size_t size) {
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    return n > 0 ? static_cast<size_t>(n) : 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Bench bench;
    Connection connection;
    if (connection.open(bench.address, 1000) != ConnectError::None) return 0;
    pollfd waiting{bench.listener, POLLIN, 0};
    const int host = poll(&waiting, 1, 1000) == 1 ? accept(bench.listener, nullptr, nullptr) : -1;
    if (host < 0) return 0;
    HostReader reader;
    Session session;
    Overlay overlay;
    CommandLine command_line;
    NoSound sound;
    size_t sent = 0;
    for (int frame = 0; frame < MAX_FRAMES && connection.is_open(); ++frame) {
        sent += write_some(host, data + sent, size - sent);
        if (sent == size) shutdown(host, SHUT_WR);
        const double now = frame / 60.0;
        reader.read_frame(connection, session, overlay, sound, now);
        FrameScene scene{reader.picture(), reader.has_picture(), &overlay, &command_line, session.world};
        draw_frame(bench.renderer, bench.sprites, *bench.texts, scene);
        SDL_RenderFlush(bench.renderer);
    }
    close(host);
    return 0;
}
