// Writing a game down as it is played: the seed and secrets, every clock reading the rules
// could see, every login, message and drop, and a digest of every picture sent. Compressed and
// written by a thread of its own, so a slow disk never makes a frame late.
#pragma once

#include "server/options/options.h"
#include "server/recording/frame_observer.h"
#include "shared/platform/clock.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <memory_resource>
#include <mutex>
#include <string>
#include <thread>

namespace cog {

// Why a recording ended before the game did.
enum class RecordingEnd : uint8_t { None, FellBehind, TooLarge, WriteFailed };

class Recorder final : public FrameObserver {
public:
    // Records waiting for the writer; a disk that stalls longer than this ends the recording
    // (logged) rather than the host's memory.
    static constexpr size_t MAX_QUEUED_BYTES = 64u << 20;

    // Creates `path` readable by its owner only (it holds the room's secrets); nullptr (logged)
    // when it cannot. The file never grows past `max_bytes`.
    static std::unique_ptr<Recorder> open(const std::string& path, uint64_t seed, uint64_t max_bytes = UINT64_MAX);
    ~Recorder() override; // writes what is left and closes the file: the recording is complete
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    void host_started(DebugCommandsMode mode, std::string_view admin_token) override;
    void clock_read(bool wall, int64_t value);

    void frame_begun() override;
    void login(std::string_view name, uint32_t previous_id, PresentedSecret secret, uint32_t id) override;
    void message(uint32_t id, std::string_view body) override;
    void dropped(uint32_t id, DropReason reason) override;
    void picture_sent(uint32_t id, std::string_view body, std::span<const uint32_t> command_starts) override;
    void frame_ended() override;

    // Bytes of the compressed recording on disk so far; read from any thread without a lock.
    uint64_t bytes_written() const { return bytes_written_.load(std::memory_order_relaxed); }

    // Why the recording ended early (logged once); None while it goes on.
    RecordingEnd ended() const;
    bool failed() const { return ended() != RecordingEnd::None; }

private:
    Recorder(int fd, uint64_t seed, uint64_t max_bytes);
    void hand_over(); // the pending bytes to the writer thread
    void log_end_once();
    void run();

    int fd_;
    uint64_t max_bytes_;
    std::string admin_token_;
    std::string pending_; // records since the last hand-over, frame thread only
    std::string scratch_; // a message as recorded, frame thread only
    std::pmr::monotonic_buffer_resource message_strings_;
    int64_t last_wall_ = 0, last_mono_ = 0;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::string> queue_; // guarded
    size_t queued_bytes_ = 0;       // guarded; past MAX_QUEUED_BYTES the disk has stalled
    bool stopping_ = false;         // guarded
    RecordingEnd end_ = RecordingEnd::None; // guarded
    int write_error_ = 0;           // guarded; errno of a failed write
    bool end_logged_ = false;       // frame thread only
    std::atomic<uint64_t> bytes_written_{0}; // the writer thread's count, for the room's metrics
    std::thread thread_;
};

// A clock that tells the recorder every reading it hands out.
class RecordingClock final : public Clock {
public:
    RecordingClock(Clock& inner, Recorder& recorder) : inner_(inner), recorder_(recorder) {}
    int64_t wall_ns() override {
        const int64_t v = inner_.wall_ns();
        recorder_.clock_read(true, v);
        return v;
    }
    int64_t monotonic_ns() override {
        const int64_t v = inner_.monotonic_ns();
        recorder_.clock_read(false, v);
        return v;
    }
    void sleep_ms(int64_t milliseconds) override { inner_.sleep_ms(milliseconds); }

private:
    Clock& inner_;
    Recorder& recorder_;
};

} // namespace cog
