// What recordings cost under abuse. `replay BINARY`: the replay of hostile recordings (made here,
// record by record), each timed with its peak memory. `flood HOST SECONDS CLIENTS PAD_BYTES`: the
// real host recording while clients send INPUTs padded with an ignored key (random letters), one
// per 16 ms each; prints how fast the recording grows.
#include "bench/client_socket.h"
#include "tests/support/crafted_recording.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <malloc.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using cog::RecordTag;
using cog::test::CraftedRecording;

std::string input_body(size_t pad_bytes) {
    cog::ClientMessage message;
    message.kind = cog::ClientMessageKind::INPUT;
    std::string body;
    cog::write_json(body, message);
    if (pad_bytes) body.insert(body.size() - 1, ",\"pad\":\"" + std::string(pad_bytes, 'x') + "\"");
    return body;
}

// Runs `argv` with output discarded, at most `limit_s` seconds; prints its time and peak memory.
// The peak counts what the forked copy held before it became the program, so this process holds
// little when it starts one.
void measure(const char* name, std::vector<std::string> argv, int limit_s) {
    std::fflush(stdout);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        std::vector<char*> args;
        for (std::string& a : argv) args.push_back(a.data());
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    bool stopped = false;
    while (wait4(pid, &status, WNOHANG, &usage) == 0) {
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(limit_s)) {
            kill(pid, SIGKILL);
            stopped = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::string end = stopped ? "still running, stopped"
                            : WIFEXITED(status) ? "exit " + std::to_string(WEXITSTATUS(status))
                                                : "killed by signal " + std::to_string(WTERMSIG(status));
    std::printf("%-34s %8.2f s  %8.1f MB peak  %s\n", name, seconds, usage.ru_maxrss / 1024.0, end.c_str());
}

long file_size(const std::string& path) {
    struct stat s {};
    return stat(path.c_str(), &s) == 0 ? static_cast<long>(s.st_size) : -1;
}

int replay(const std::string& binary) {
    const std::string dir = "/tmp/recording_costs_" + std::to_string(getpid());
    const std::string input = input_body(0);
    struct Case {
        const char* name;
        CraftedRecording recording;
        std::vector<std::string> mode;
    };
    std::vector<Case> cases;
    {
        CraftedRecording r;
        r.tag(RecordTag::FRAME).mono(1).login("Ann", 0, 1).message(1, input_body(1'000'000));
        r.tag(RecordTag::FRAME_END).idle_frame();
        cases.push_back({"one 1 MB message", r, {"--verify"}});
    }
    {
        CraftedRecording r;
        r.tag(RecordTag::FRAME).mono(1).login("Ann", 0, 1);
        for (int i = 0; i < 10; ++i) r.message(1, input_body(1'000'000));
        r.tag(RecordTag::FRAME_END).idle_frame();
        cases.push_back({"ten 1 MB messages in one frame", r, {"--verify"}});
    }
    {
        CraftedRecording r;
        r.tag(RecordTag::FRAME).mono(1).login("Ann", 0, 1).tag(RecordTag::FRAME_END);
        for (int i = 0; i < 250; ++i) r.idle_frame();
        r.tag(RecordTag::FRAME).mono(16'000'000).login("Ann", 1, 2).tag(RecordTag::FRAME_END);
        r.tag(RecordTag::FRAME).mono(16'000'000).message(1, input).message(2, input).tag(RecordTag::FRAME_END);
        for (int i = 0; i < 10; ++i) r.idle_frame();
        cases.push_back({"seat under another id, --png-dir", r, {"--player", "1", "--from", "4.02", "--to", "4.1", "--png-dir", dir}});
    }
    {
        CraftedRecording r;
        r.tag(RecordTag::FRAME);
        for (int i = 0; i < 100'000'000; ++i) r.mono(0);
        cases.push_back({"a frame that never ends", r, {"--verify"}});
    }
    for (const uint32_t logins : {1088u, 5000u}) {
        CraftedRecording r;
        r.tag(RecordTag::FRAME).mono(1);
        for (uint32_t id = 1; id <= logins; ++id) r.login("crowd", 0, id);
        r.tag(RecordTag::FRAME_END).idle_frame();
        cases.push_back({logins == 5000 ? "5,000 logins in one frame" : "1,088 logins in one frame", r, {"--verify"}});
    }
    {
        CraftedRecording r;
        r.idle_frame().tag(RecordTag::FRAME).mono(INT64_MAX).tag(RecordTag::FRAME_END).idle_frame();
        cases.push_back({"clock sums past 64 bits", r, {"--verify"}});
    }
    {
        // Records far smaller than what they become once read.
        CraftedRecording r;
        r.tag(RecordTag::FRAME).mono(1).login("Ann", 0, 1);
        for (size_t i = 0; i < (250u << 20) / 6; ++i) r.message(1, "abc");
        r.tag(RecordTag::FRAME_END).idle_frame();
        cases.push_back({"a 250 MiB frame of 3-byte messages", r, {"--verify"}});
    }
    {
        // More messages every frame than the host takes in one: the rest waits.
        CraftedRecording r;
        r.tag(RecordTag::FRAME).mono(1).login("Ann", 0, 1).tag(RecordTag::FRAME_END);
        for (int f = 0; f < 200; ++f) {
            r.tag(RecordTag::FRAME).mono(16'000'000);
            for (int i = 0; i < 3000; ++i) r.message(1, input);
            r.tag(RecordTag::FRAME_END);
        }
        cases.push_back({"3,000 INPUTs a frame, --png", r, {"--player", "1", "--at", "1000", "--png", dir + "/x.png"}});
    }
    {
        // Messages the host cannot decode: it takes one a frame.
        CraftedRecording r;
        r.tag(RecordTag::FRAME).mono(1).login("Ann", 0, 1).tag(RecordTag::FRAME_END);
        for (int f = 0; f < 200'000; ++f) {
            r.tag(RecordTag::FRAME).mono(16'000'000);
            for (int i = 0; i < 256; ++i) r.message(1, "abc");
            r.tag(RecordTag::FRAME_END);
        }
        cases.push_back(
            {"256 undecodable messages a frame", r, {"--player", "1", "--at", "100000", "--png", dir + "/x.png"}});
    }
    mkdir(dir.c_str(), 0700);
    // Every file is written and its records let go before any run: a spawned program's peak
    // counts what this process held when it started it.
    for (size_t i = 0; i < cases.size(); ++i) {
        const std::string path = dir + "/" + std::to_string(i) + ".rec";
        cases[i].recording.save(path);
        std::printf("%-34s file %ld bytes, %zu bytes of records\n", cases[i].name, file_size(path),
                    cases[i].recording.records.size());
        std::string().swap(cases[i].recording.records);
    }
    malloc_trim(0);
    for (size_t i = 0; i < cases.size(); ++i) {
        std::vector<std::string> argv{binary, dir + "/" + std::to_string(i) + ".rec"};
        argv.insert(argv.end(), cases[i].mode.begin(), cases[i].mode.end());
        measure(cases[i].name, argv, 60);
    }
    if (!std::getenv("KEEP")) std::system(("rm -rf " + dir).c_str());
    return 0;
}

int flood(const std::string& host, int seconds, int clients, size_t pad) {
    const std::string path = "/tmp/recording_costs_flood_" + std::to_string(getpid()) + ".rec";
    const uint16_t port = 20000 + static_cast<uint16_t>(getpid() % 20000);
    const std::string port_text = std::to_string(port);
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        freopen("/dev/null", "w", stdout);
        execl(host.c_str(), host.c_str(), "--port", port_text.c_str(), "--web-port", "0", "--record", path.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    std::vector<int> fds;
    for (int tries = 0; tries < 100 && fds.size() < static_cast<size_t>(clients); ++tries) {
        const int fd = cog::bench::connect_loopback(port);
        if (fd < 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            continue;
        }
        cog::ClientMessage login;
        login.player_name = "flood";
        cog::bench::send_frame(fd, login);
        fds.push_back(fd);
    }
    // Padding of random letters, new in every message, so that compression cannot take it away.
    std::string body = input_body(pad);
    const size_t pad_at = body.find("xxxx");
    const uint32_t n = static_cast<uint32_t>(body.size());
    std::string frame = std::string{static_cast<char>(n >> 24), static_cast<char>(n >> 16),
                                    static_cast<char>(n >> 8), static_cast<char>(n)} + body;
    uint64_t state = 88172645463325252ull;
    char sink[65536];
    const auto start = std::chrono::steady_clock::now();
    long first = -1;
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(seconds)) {
        for (int fd : fds) {
            for (size_t i = 0; pad_at != std::string::npos && i < pad; ++i) {
                state ^= state << 13, state ^= state >> 7, state ^= state << 17;
                frame[4 + pad_at + i] = static_cast<char>('a' + state % 26);
            }
            send(fd, frame.data(), frame.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            while (recv(fd, sink, sizeof sink, MSG_DONTWAIT) > 0) {
            }
        }
        if (first < 0 && std::chrono::steady_clock::now() - start > std::chrono::seconds(1)) first = file_size(path);
        std::this_thread::sleep_for(std::chrono::milliseconds(16));
    }
    const long last = file_size(path);
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    for (int fd : fds) close(fd);
    std::printf("%d clients, INPUTs of %zu bytes every 16 ms: recording grew %.1f KB/s (%ld bytes at the end)\n",
                clients, body.size(), (last - first) / 1024.0 / (seconds - 1), file_size(path));
    std::remove(path.c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::string(argv[1]) == "replay") return replay(argv[2]);
    if (argc >= 6 && std::string(argv[1]) == "flood")
        return flood(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), static_cast<size_t>(std::atoll(argv[5])));
    std::fprintf(stderr, "Usage: %s replay REPLAY_BINARY\n       %s flood HOST_BINARY SECONDS CLIENTS PAD_BYTES\n",
                 argv[0], argv[0]);
    return 2;
}
