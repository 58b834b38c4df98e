// Standard output written from a thread of its own, so that the frame never waits on a slow
// reader of the log (a pipe into a log collector that falls behind, a paused terminal).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace cog {

class ConsoleWriter {
public:
    // Lines wait in a buffer of `capacity` bytes; what does not fit is dropped and counted.
    // At shutdown the writer spends at most `drain_ms` writing what is left. Once woken, the
    // writer gathers lines for `gather_ms` (a frame) before writing them, unless `wake_bytes`
    // are waiting sooner: a frame's lines cost the game one wake-up of the writer, not one each.
    explicit ConsoleWriter(int fd, size_t capacity = 1 << 20, int64_t drain_ms = 2000, int64_t gather_ms = 16,
                           size_t wake_bytes = 64 * 1024);
    ~ConsoleWriter();
    ConsoleWriter(const ConsoleWriter&) = delete;
    ConsoleWriter& operator=(const ConsoleWriter&) = delete;

    // Never waits for the output: queues the line, or drops it when the buffer is full.
    void write(std::string_view line);

    // How many times a line woke the writer so far (the cost the frame pays for its log).
    size_t wakes();

    // Lines queued and lines dropped since the start, for the room's metrics: readable from any
    // thread without taking the writer's lock.
    uint64_t lines_queued() const { return lines_queued_.load(std::memory_order_relaxed); }
    uint64_t lines_dropped() const { return lines_dropped_.load(std::memory_order_relaxed); }

    // For console_set_sink.
    static void sink(void* context, std::string_view line) { static_cast<ConsoleWriter*>(context)->write(line); }

private:
    void run();
    // Writes `text` to the fd; false when the drain deadline passed before all of it was written.
    bool write_out(std::string_view text);

    const int fd_;
    const size_t capacity_; // bytes
    const int64_t drain_ms_;
    const int64_t gather_ms_;
    const size_t wake_bytes_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::string pending_;   // lines not yet taken by the writer (guarded by mutex_)
    size_t dropped_ = 0;    // lines dropped since the last notice (guarded by mutex_)
    bool stopping_ = false; // guarded by mutex_
    bool sleeping_ = false; // the writer waits for a first line, not gathering (guarded by mutex_)
    size_t wakes_ = 0;      // notifications sent to the writer (guarded by mutex_)
    std::atomic<uint64_t> lines_queued_{0};  // written under mutex_, read by anyone
    std::atomic<uint64_t> lines_dropped_{0}; // written under mutex_, read by anyone
    int64_t drain_deadline_ns_ = 0; // monotonic; set when stopping
    std::thread thread_;
};

} // namespace cog
