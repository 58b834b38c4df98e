// Whether a peer address is this machine itself: loopback, never counted by per-address limits.
#pragma once

#include <string_view>

namespace cog {

// The machine's own address stands for its own users, or for a proxy on it whose players cannot
// be told apart, so limits meant to keep one remote address from crowding out the others do not
// apply to it. Only 127.0.0.1 and ::1 count (an IPv4 address mapped into IPv6 is written as IPv4
// by the socket helpers): the other 127.x addresses stay limited, so that tests can stand in for
// remote machines with them.
inline bool is_own_machine(std::string_view address) {
    return address == "127.0.0.1" || address == "::1" || address == "::ffff:127.0.0.1";
}

} // namespace cog
