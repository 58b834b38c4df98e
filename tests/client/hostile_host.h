// A scripted hostile host for the game client: the messages it sends as whole frames (floods of
// texts and commands, absurd geometry, broken and unknown messages, sound floods), its end of a
// connection, and the client program it runs. Shared by the client's tests and the client flood
// benchmark.
#pragma once

#include "server/network/socket_util.h"
#include "shared/protocol/framing.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <memory_resource>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace cog::client::hostile {

using Clock = std::chrono::steady_clock;

inline std::string frame(std::string_view body) {
    const auto n = static_cast<uint32_t>(body.size());
    std::string out{static_cast<char>(n >> 24), static_cast<char>(n >> 16), static_cast<char>(n >> 8), static_cast<char>(n)};
    return out.append(body);
}

inline std::string picture(std::string_view commands) {
    return frame(R"({"kind":1,"event":{"kind":0},"commands":[)" + std::string(commands) + "]}");
}

inline const std::string BACKGROUND = R"({"kind":0,"x":0,"y":0,"width":1280,"height":720,"color":[20,20,30,255]})";
inline std::string plain_picture() {
    return picture(BACKGROUND + R"(,{"kind":1,"x":100,"y":100,"text":"steady","font_size":40,"color":[255,255,255,255]})");
}

// Distinct short texts filling a whole frame, different on every tick.
inline std::string many_texts(int tick) {
    std::string commands = BACKGROUND;
    char text[64];
    for (int i = 0; commands.size() < MAX_FRAME_BODY - 200; ++i) {
        std::snprintf(text, sizeof text, R"(,{"kind":1,"text":"%c%05d","font_size":60})", 'a' + tick % 26, i);
        commands += text;
    }
    return picture(commands);
}

// Texts of a thousand letters at the largest font size.
inline std::string long_texts(int tick) {
    std::string commands = BACKGROUND;
    for (int i = 0; commands.size() < MAX_FRAME_BODY - 2000; ++i)
        commands += R"(,{"kind":1,"font_size":400,"text":")" + std::to_string(tick * 10000 + i) + std::string(1000, 'W') + "\"}";
    return picture(commands);
}

inline std::string empty_commands() {
    std::string commands = "{}";
    while (commands.size() < MAX_FRAME_BODY - 100) commands += ",{}";
    return picture(commands);
}

inline std::string absurd_geometry() {
    std::string commands = BACKGROUND + R"(,
      {"kind":0,"x":-3e38,"y":-3e38,"width":3e38,"height":3e38,"color":[9,9,9,255]},
      {"kind":0,"x":10,"y":10,"width":-3e38,"height":-1},
      {"kind":1,"x":3e38,"y":-3e38,"text":"far","font_size":2147483647},
      {"kind":1,"x":5,"y":5,"text":"neg","font_size":-2147483648},
      {"kind":4,"x":0,"y":0,"width":3e38,"height":3e38,"asset_id":65535},
      {"kind":5,"x":640,"y":360,"asset_id":9,"scale_x":3e38,"scale_y":-3e38,"rotation":3e38},
      {"kind":2,"x":0,"y":0,"width":3e38},
      {"kind":3,"x":-3e38,"y":0,"x2":3e38,"y2":3e38,"width":3e38})";
    // Then thousands of rectangles over the whole world.
    while (commands.size() < MAX_FRAME_BODY - 200) commands += R"(,{"kind":0,"width":1280,"height":720,"color":[1,2,3,4]})";
    return picture(commands);
}

// One text of the widest glyphs, over and over, starting left of the world and reaching into it.
inline std::string wide_texts() {
    std::string commands = BACKGROUND;
    while (commands.size() < MAX_FRAME_BODY - 200)
        commands += R"(,{"kind":1,"x":-4000,"y":100,"text":"@@@@@@@@@@@@@@","font_size":400,"color":[255,255,255,255]})";
    return picture(commands);
}

// Images many worlds wide, turned or not: what a renderer without a graphics card would build whole.
inline std::string huge_images(double sprite_scale) {
    char sprite[160];
    std::snprintf(sprite, sizeof sprite, R"(,{"kind":5,"x":640,"y":360,"asset_id":3,"scale_x":%g,"scale_y":%g,"rotation":45,"color":[255,255,255,255]})",
                  sprite_scale, sprite_scale);
    return picture(BACKGROUND + sprite + R"(,{"kind":4,"x":-9000,"y":-9000,"width":20000,"height":20000,"asset_id":3,"color":[255,255,255,255]})" +
                   R"(,{"kind":2,"x":640,"y":360,"width":10000,"color":[200,0,0,255]})");
}

inline std::string junk() {
    return frame(R"({"kind":7,"event":{"kind":3,"message":"odd"}})") + frame(R"({"kind":0,"event":{"kind":77}})") +
           frame(R"({"kind":0,"event":{"kind":0,"client_id":0,"world_width":1,"world_height":1}})") + frame(R"({"kind":0})") +
           frame("{{{{") + plain_picture() + frame(R"({"kind":1,"commands":[{"kind":1,"text":7}]})");
}

inline std::string sounds() {
    std::string out;
    for (int i = 0; i < 300; ++i) out += frame(R"({"kind":0,"event":{"kind":4,"sound_id":5,"volume":1.0}})");
    return out + plain_picture();
}


// How often `needle` occurs in `text`.
inline size_t occurrences(std::string_view text, std::string_view needle) {
    size_t n = 0;
    for (size_t at = text.find(needle); at != std::string_view::npos; at = text.find(needle, at + 1)) ++n;
    return n;
}

// The client binary with its console in a pipe.
class ClientProcess {
public:
    // Starts `binary` against the port; its screenshot goes to `png` after 300 s, i.e. never.
    // Over plain TCP, or the WebSocket when `web` is set.
    bool start(const char* binary, uint16_t port, const std::string& png) {
        int out[2];
        if (pipe(out) != 0) return false;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            dup2(out[1], STDERR_FILENO);
            setenv("SDL_AUDIODRIVER", "dummy", 1);
            if (render_driver) setenv("SDL_RENDER_DRIVER", render_driver, 1);
            setenv("ASAN_OPTIONS", "detect_leaks=0:quarantine_size_mb=16", 1);
            const std::string port_text = std::to_string(port);
            execl(binary, binary, "--name", "Eve", "--port", port_text.c_str(), "--screenshot", png.c_str(), "--after",
                  "300", web ? static_cast<char*>(nullptr) : "--tcp", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        out_ = out[0];
        fcntl(out_, F_SETFL, O_NONBLOCK);
        return pid_ > 0;
    }
    pid_t pid() const { return pid_; }
    const char* render_driver = nullptr; // SDL's choice when none is named
    bool web = false;
    void collect() {
        char buffer[4096];
        for (ssize_t n; out_ >= 0 && (n = read(out_, buffer, sizeof buffer)) > 0;) output.append(buffer, static_cast<size_t>(n));
    }
    // A line of /proc/PID/status in KiB ("VmHWM:", "VmRSS:"), or -1.
    long status_kb(const char* key) const {
        std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::strlen(key));
        return -1;
    }
    long peak_rss_kb() const { return status_kb("VmHWM:"); }
    // Asks the client to close like a window would; its exit code, or -1 when it had to be killed.
    int stop() {
        kill(pid_, SIGTERM);
        int status = 0;
        for (int waited = 0; waited < 20000; waited += 10) {
            collect();
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return -1;
    }
    ~ClientProcess() {
        if (pid_ > 0) stop();
        if (out_ >= 0) close(out_);
    }
    size_t count(std::string_view needle) const { return occurrences(output, needle); }
    std::string output;

private:
    pid_t pid_ = -1;
    int out_ = -1;
};

// The host's end of one connection: frames out, INPUTs counted.
class HostEnd {
public:
    explicit HostEnd(int fd) : fd_(fd) { set_non_blocking(fd_, true); }
    virtual ~HostEnd() { close(fd_); }
    // Reads what the client sent; returns the INPUTs among it.
    virtual int drain() {
        int inputs = 0;
        for (;;) {
            const Received r = receive_message(fd_, reader_, &arena_);
            if (r.error != ProtocolError::None) return inputs;
            inputs += count_input(r.message);
        }
    }
    // Writes every byte, waiting for the client to read; false when it does not within 10 s.
    bool send_all(std::string_view bytes) {
        size_t done = 0;
        const auto give_up = Clock::now() + std::chrono::seconds(10);
        while (done < bytes.size() && Clock::now() < give_up) {
            const ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n > 0) {
                done += static_cast<size_t>(n);
            } else {
                inputs_while_sending += drain();
                pollfd p{fd_, POLLOUT, 0};
                poll(&p, 1, 10);
            }
        }
        return done == bytes.size();
    }
    // Sends one message batch per host frame (16 ms) for `seconds`; returns the INPUTs that came,
    // or -1 when the client stopped reading for 10 s.
    int run(double seconds, const std::function<std::string(int)>& batch) {
        inputs_while_sending = 0;
        int inputs = 0;
        const auto end = Clock::now() + std::chrono::duration<double>(seconds);
        for (int tick = 0; Clock::now() < end; ++tick) {
            const auto next = Clock::now() + std::chrono::milliseconds(16);
            if (!send_all(batch(tick))) return -1;
            inputs += drain();
            std::this_thread::sleep_until(next);
        }
        return inputs + inputs_while_sending;
    }
    int64_t login_id = -1;

protected:
    // One message the client sent, however it was framed: noted, and 1 when it is an INPUT.
    int count_input(const ClientMessage& message) {
        if (message.kind == ClientMessageKind::LOGIN) login_id = static_cast<int64_t>(message.previous_player_id);
        return message.kind == ClientMessageKind::INPUT ? 1 : 0;
    }
    int fd_;

private:
    FrameReader reader_;
    std::pmr::unsynchronized_pool_resource arena_;
    int inputs_while_sending = 0;
};

// A connection on the listener within `ms`, or -1.
inline int accept_within(int listener, int ms) {
    pollfd p{listener, POLLIN, 0};
    if (poll(&p, 1, ms) <= 0) return -1;
    return accept(listener, nullptr, nullptr);
}

} // namespace cog::client::hostile
