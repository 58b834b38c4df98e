// The console writer thread: takes queued lines in batches and writes them without holding the lock.
#include "shared/log/console_writer.h"

#include "shared/platform/clock.h"

#include <cerrno>
#include <climits>
#include <poll.h>
#include <unistd.h>

namespace cog {

namespace {

std::string dropped_notice(size_t dropped) {
    return "[CONSOLE] " + std::to_string(dropped) + " lines dropped: the output fell behind\n";
}

} // namespace

ConsoleWriter::ConsoleWriter(int fd, size_t capacity, int64_t drain_ms)
    : fd_(fd), capacity_(capacity), drain_ms_(drain_ms) {
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
    bool first = false;
    {
        std::lock_guard lock(mutex_);
        if (pending_.size() + line.size() > capacity_) {
            ++dropped_;
            return;
        }
        first = pending_.empty();
        pending_.append(line);
    }
    // Only the first line of a batch wakes the writer: a frame's lines go out together, at the
    // cost of one wake-up rather than one per line.
    if (first) wake_.notify_one();
}

void ConsoleWriter::run() {
    std::string batch;
    batch.reserve(capacity_);
    for (;;) {
        size_t dropped = 0;
        bool stopping = false;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !pending_.empty() || dropped_ > 0; });
            batch.swap(pending_);
            dropped = dropped_;
            dropped_ = 0;
            stopping = stopping_;
        }
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
