// The console writer thread: takes queued lines in batches and writes them without holding the lock.
#include "shared/log/console_writer.h"

#include "shared/platform/clock.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <poll.h>
#include <unistd.h>

namespace cog {

namespace {

std::string dropped_notice(size_t dropped) {
    return "[CONSOLE] " + std::to_string(dropped) + " lines dropped: the output fell behind\n";
}

} // namespace

ConsoleWriter::ConsoleWriter(int fd, size_t capacity, int64_t drain_ms, int64_t gather_ms, size_t wake_bytes)
    : fd_(fd), capacity_(capacity), drain_ms_(drain_ms), gather_ms_(gather_ms), wake_bytes_(wake_bytes) {
    pending_.reserve(capacity_);
    thread_ = std::thread([this] { run(); });
}

ConsoleWriter::~ConsoleWriter() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        drain_deadline_ns_ = SystemClock().monotonic_ns() + drain_ms_ * 1'000'000;
    }
    wake_.notify_one();
    thread_.join();
}

void ConsoleWriter::write(std::string_view line) {
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        if (pending_.size() + line.size() > capacity_) {
            ++dropped_;
            lines_dropped_.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        lines_queued_.fetch_add(1, std::memory_order_relaxed);
        const size_t before = pending_.size();
        pending_.append(line);
        // A sleeping writer is woken by the first line; a gathering one only when a lot waits.
        // Every other line is picked up when the gathering ends: waking a thread costs the frame
        // a switch of the core, which per line was much of the game's time under a busy log.
        wake = (sleeping_ && before == 0) || (before < wake_bytes_ && pending_.size() >= wake_bytes_);
        if (wake) {
            sleeping_ = false;
            ++wakes_;
        }
    }
    if (wake) wake_.notify_one();
}

size_t ConsoleWriter::wakes() {
    std::lock_guard lock(mutex_);
    return wakes_;
}

void ConsoleWriter::run() {
    std::string batch;
    batch.reserve(capacity_);
    bool gathering = false;
    for (;;) {
        size_t dropped = 0;
        bool stopping = false;
        {
            std::unique_lock lock(mutex_);
            if (!gathering) {
                sleeping_ = true;
                wake_.wait(lock, [this] { return stopping_ || !pending_.empty() || dropped_ > 0; });
                sleeping_ = false;
            }
            wake_.wait_for(lock, std::chrono::milliseconds(gather_ms_),
                           [this] { return stopping_ || pending_.size() >= wake_bytes_; });
            batch.swap(pending_);
            dropped = dropped_;
            dropped_ = 0;
            stopping = stopping_;
        }
        // A busy log keeps the writer gathering frame after frame, woken by its own timer alone;
        // a frame without lines sends it to sleep until the next one.
        gathering = !batch.empty() || dropped > 0;
        // The notice follows the lines that were kept: they were queued before the drops.
        if (dropped > 0) batch += dropped_notice(dropped);
        const bool written = write_out(batch);
        batch.clear();
        if (stopping) {
            std::lock_guard lock(mutex_);
            if (!written || (pending_.empty() && dropped_ == 0)) return;
        }
    }
}

bool ConsoleWriter::write_out(std::string_view text) {
    while (!text.empty()) {
        // Waiting for room in bounded steps lets a stopping writer give up on a reader that
        // never reads; a pipe with room for PIPE_BUF bytes takes that many without blocking.
        pollfd ready{fd_, POLLOUT, 0};
        const int polled = poll(&ready, 1, 100);
        if (polled < 0 && errno != EINTR) return false;
        if (polled <= 0) {
            std::lock_guard lock(mutex_);
            if (stopping_ && SystemClock().monotonic_ns() > drain_deadline_ns_) return false;
            continue;
        }
        if (ready.revents & (POLLERR | POLLHUP | POLLNVAL)) return false;
        const ssize_t n = ::write(fd_, text.data(), std::min<size_t>(text.size(), PIPE_BUF));
        if (n > 0) text.remove_prefix(static_cast<size_t>(n));
        else if (n < 0 && errno != EINTR && errno != EAGAIN) return false;
    }
    return true;
}

} // namespace cog
