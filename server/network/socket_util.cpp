// POSIX socket helpers.
#include "server/network/socket_util.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string_view>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace cog {

const char* socket_error_name(int error) {
    switch (error) {
    case 0: return "None";
    case EADDRINUSE: return "Address_In_Use";
    case EADDRNOTAVAIL: return "Address_Not_Available";
    case EACCES: return "Permission_Denied";
    case EPERM: return "Operation_Not_Permitted";
    case EMFILE: return "Too_Many_Open_Files";
    case ENFILE: return "System_File_Limit";
    case ENOBUFS: return "Insufficient_Resources";
    case ENOMEM: return "Out_Of_Memory";
    case ECONNABORTED: return "Connection_Aborted";
    case ECONNRESET: return "Connection_Reset";
    case EAGAIN: return "Would_Block";
    case EINVAL: return "Invalid_Argument";
    case EBADF: return "Bad_File_Descriptor";
    case ENOTSOCK: return "Not_Socket";
    case EAFNOSUPPORT: return "Family_Not_Supported";
    case EPROTONOSUPPORT: return "Protocol_Not_Supported";
    case EINTR: return "Interrupted";
    default: return "Unknown_Error";
    }
}

bool set_non_blocking(int fd, bool non_blocking) {
    int flags = fcntl(fd, F_GETFL, 0);
    if (flags < 0) return false;
    flags = non_blocking ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    return fcntl(fd, F_SETFL, flags) == 0;
}

void set_no_delay(int fd) {
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

void close_socket(int fd) {
    if (fd >= 0) ::close(fd);
}

std::string peer_address(int fd) {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0 || addr.sin_family != AF_INET) return "unknown";
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &addr.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(addr.sin_port));
}

ListenResult create_listener(const char* address, uint16_t port, int backlog) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return {-1, errno};
    int one = 1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
        inet_pton(AF_INET, address, &addr.sin_addr) != 1 ||
        bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, backlog) != 0) {
        int error = errno ? errno : EINVAL;
        ::close(fd);
        return {-1, error};
    }
    return {fd, 0};
}

uint16_t bound_port(int fd) {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return 0;
    return ntohs(addr.sin_port);
}

} // namespace cog

namespace cog {

std::string address_part(const std::string& peer) {
    const size_t colon = peer.rfind(':');
    std::string address = colon == std::string::npos ? peer : peer.substr(0, colon);
    constexpr std::string_view MAPPED = "::ffff:";
    if (address.starts_with(MAPPED) && address.find('.') != std::string::npos) address.erase(0, MAPPED.size());
    return address;
}

unsigned long raise_open_file_limit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
    }
    return static_cast<unsigned long>(limit.rlim_cur);
}

} // namespace cog
