// Thin helpers over POSIX stream sockets: readable error names, modes and peer addresses.
#pragma once

#include <cstdint>
#include <string>

namespace cog {

// A readable name for an errno value, such as "Address_In_Use".
const char* socket_error_name(int error);

bool set_non_blocking(int fd, bool non_blocking);
void set_no_delay(int fd);
void close_socket(int fd);

// "address:port" of the connected peer, or "unknown".
std::string peer_address(int fd);

// The address alone of an "address:port" peer, what per-address limits count. An IPv4 address
// mapped into IPv6 is written as IPv4, so one machine is one address on either port.
std::string address_part(const std::string& peer);

// Raises the soft limit on open files to the hard limit, so every socket the host may be sent
// can be taken; returns the limit now in force.
unsigned long raise_open_file_limit();

struct ListenResult {
    int fd = -1;           // the listening socket, -1 on failure
    int error = 0;         // errno of the failed step
};

// A non-blocking IPv4 TCP listener on address:port. Address reuse is set so that a restarted
// host can bind again while old connections linger in TIME_WAIT; Linux still refuses a port
// another process is listening on.
ListenResult create_listener(const char* address, uint16_t port, int backlog);

// The port a socket is bound to (the real one after binding port 0).
uint16_t bound_port(int fd);

} // namespace cog
