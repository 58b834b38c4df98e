// Running the door program and talking HTTP to it.
#include "tests/door/door_harness.h"

#include <random>

#include <arpa/inet.h>
#include <csignal>
#include <fcntl.h>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace cog::test {

DoorProcess::DoorProcess(const std::vector<std::string>& options) {
    std::vector<std::string> args = {COG_DOOR_BINARY, "--port", "0", "--web-root", COG_WEB_ROOT};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int pipe_fds[2];
    if (::pipe2(pipe_fds, O_CLOEXEC) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL); // a test killed by its timeout takes its door along
        ::dup2(pipe_fds[1], 1);
        ::dup2(pipe_fds[1], 2);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipe_fds[1]);
    output_fd_ = pipe_fds[0];
    reader_ = std::thread([this] {
        char chunk[4096];
        while (!stop_reading_) {
            pollfd p{output_fd_, POLLIN, 0};
            if (::poll(&p, 1, 50) == 0) continue;
            const ssize_t got = ::read(output_fd_, chunk, sizeof(chunk));
            if (got <= 0) break;
            std::lock_guard lock(mutex_);
            output_.append(chunk, static_cast<size_t>(got));
        }
    });
    const std::string line = wait_for_line("Door on ", 10000);
    const size_t at = line.find("0.0.0.0:");
    if (at != std::string::npos) port_ = static_cast<uint16_t>(std::atoi(line.c_str() + at + 8));
}

DoorProcess::~DoorProcess() {
    if (pid_ > 0) kill_now();
    // Rooms hold the write end of the output too: a room left behind must not hold the test.
    stop_reading_ = true;
    if (reader_.joinable()) reader_.join();
    if (output_fd_ >= 0) ::close(output_fd_);
}

void DoorProcess::kill_now() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

std::string DoorProcess::output() const {
    std::lock_guard lock(mutex_);
    return output_;
}

std::string DoorProcess::wait_for_line(std::string_view text, int wait_ms, size_t from) const {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
    do {
        {
            std::lock_guard lock(mutex_);
            const size_t at = output_.find(text, from);
            if (at != std::string::npos) {
                const size_t start = output_.rfind('\n', at);
                const size_t begin = start == std::string::npos ? 0 : start + 1;
                const size_t end = output_.find('\n', at);
                if (end != std::string::npos) return output_.substr(begin, end - begin);
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } while (std::chrono::steady_clock::now() < until);
    return {};
}

int connect_from(const char* source, uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in from{};
    from.sin_family = AF_INET;
    inet_pton(AF_INET, source, &from.sin_addr);
    ::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof(from));
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof(to)) == 0) return fd;
    ::close(fd);
    return -1;
}

HttpAnswer http_request(uint16_t port, std::string_view method, std::string_view path, const char* source) {
    HttpAnswer answer;
    const int fd = connect_from(source, port);
    if (fd < 0) return answer;
    const std::string request = std::string(method) + " " + std::string(path) +
                                " HTTP/1.1\r\nHost: door.test\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string in;
    char chunk[16384];
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < until) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        const ssize_t got = ::recv(fd, chunk, sizeof(chunk), 0);
        if (got <= 0) break;
        in.append(chunk, static_cast<size_t>(got));
    }
    ::close(fd);
    const size_t end = in.find("\r\n\r\n");
    if (in.size() < 12 || end == std::string::npos) return answer;
    answer.status = std::atoi(in.c_str() + 9);
    answer.head = in.substr(0, end);
    answer.body = in.substr(end + 4);
    return answer;
}

std::string json_string(std::string_view json, std::string_view key) {
    const std::string quoted = "\"" + std::string(key) + "\":\"";
    const size_t at = json.find(quoted);
    if (at == std::string_view::npos) return {};
    const size_t start = at + quoted.size();
    return std::string(json.substr(start, json.find('"', start) - start));
}

bool host_reads_proxy_header() {
    const std::string command = std::string(COG_HOST_BINARY) + " --help 2>&1";
    FILE* help = ::popen(command.c_str(), "r");
    if (!help) return false;
    std::string text;
    char chunk[4096];
    while (size_t got = std::fread(chunk, 1, sizeof(chunk), help)) text.append(chunk, got);
    ::pclose(help);
    return text.find("--trusted-proxy") != std::string::npos;
}

bool process_gone(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return true;
    const size_t paren = line.rfind(')');
    return paren != std::string::npos && paren + 2 < line.size() && line[paren + 2] == 'Z';
}

// A port below the kernel's range for outgoing connections (32768 and up by default), so that the
// many connections the other tests open at the same time cannot take it before the program binds
// it; tried until one binds.
uint16_t free_port() {
    static std::minstd_rand pick(static_cast<unsigned>(::getpid()));
    for (int attempt = 0; attempt < 200; ++attempt) {
        const uint16_t port = static_cast<uint16_t>(20000 + pick() % 12000);
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        address.sin_port = htons(port);
        const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
        ::close(fd);
        if (bound) return port;
    }
    return 0;
}

} // namespace cog::test
