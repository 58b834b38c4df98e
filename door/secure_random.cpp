// The kernel's random source for the door's codes.
#include "door/secure_random.h"

#include <cerrno>
#include <sys/random.h>

namespace cog::door {

bool SystemSecureRandom::fill(uint8_t* out, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t got = getrandom(out + done, size - done, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(got);
    }
    return true;
}

} // namespace cog::door
