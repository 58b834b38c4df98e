// libFuzzer target: the recording reader, on a whole file as a replay opens it and on a stream of
// records (compressed here first, so that mutations reach the record parser). Every frame is read
// and every clock reading taken, as a replay would.
#include "replay/recording.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <zstd.h>

namespace {

// The input lives in an in-memory file the reader opens by name, as it opens a recording.
int input_file() {
    static const int fd = memfd_create("recording", MFD_CLOEXEC);
    return fd;
}

void read_every_frame(const std::string& path) {
    cog::replay::RecordingReader reader;
    if (reader.open(path) != cog::replay::LoadError::None) return;
    cog::replay::RecordedFrame frame;
    size_t frames = 0;
    while (reader.next_frame(frame) && ++frames < 100000) reader.clock().clear();
}

} // namespace

// Input layout: a first byte whose low bit chooses the form (0: the file's bytes; 1: records,
// compressed before reading), then the bytes.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || input_file() < 0) return 0;
    const bool records = data[0] & 1;
    std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (records) {
        static ZSTD_CCtx* const context = ZSTD_createCCtx();
        std::string packed(ZSTD_compressBound(bytes.size()), '\0');
        const size_t n = ZSTD_compressCCtx(context, packed.data(), packed.size(), bytes.data(), bytes.size(), 1);
        if (ZSTD_isError(n)) return 0;
        packed.resize(n);
        bytes.swap(packed);
    }
    const int fd = input_file();
    if (ftruncate(fd, 0) != 0 || pwrite(fd, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size()))
        return 0;
    read_every_frame("/proc/self/fd/" + std::to_string(fd));
    return 0;
}
