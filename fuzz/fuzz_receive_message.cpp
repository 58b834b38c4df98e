// libFuzzer target: bytes sent through a socket pair in fuzzer-chosen chunks into receive_message.
#include "shared/log/console.h"
#include "shared/protocol/framing.h"

#include <cstddef>
#include <cstdint>
#include <fcntl.h>
#include <memory_resource>
#include <sys/socket.h>
#include <unistd.h>

namespace {
void discard(void*, std::string_view) {}
} // namespace

// Input layout: repeated [chunk length byte][chunk bytes]; each chunk is written, then the
// reader is drained until it blocks or fails.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    cog::console_set_sink(&discard, nullptr);
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return 0;
    fcntl(fds[0], F_SETFL, O_NONBLOCK);
    fcntl(fds[1], F_SETFL, O_NONBLOCK);
    cog::FrameReader reader;
    bool done = false;
    size_t at = 0;
    while (at < size && !done) {
        size_t chunk = data[at++];
        if (chunk > size - at) chunk = size - at;
        size_t written = 0;
        while (written < chunk) {
            const ssize_t n = write(fds[1], data + at + written, chunk - written);
            if (n <= 0) break;
            written += static_cast<size_t>(n);
        }
        at += chunk;
        if (at >= size) {
            close(fds[1]);
            fds[1] = -1;
        }
        for (;;) {
            std::pmr::monotonic_buffer_resource arena;
            const cog::Received r = cog::receive_message(fds[0], reader, &arena);
            if (r.error == cog::ProtocolError::None || r.error == cog::ProtocolError::JsonDecodeFailed) continue;
            if (r.error != cog::ProtocolError::Would_Block) done = true;
            break;
        }
    }
    close(fds[0]);
    if (fds[1] >= 0) close(fds[1]);
    return 0;
}
