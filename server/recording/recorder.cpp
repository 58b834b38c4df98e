// The recorder: records appended on the frame's thread, compressed and written on its own.
#include "server/recording/recorder.h"

#include "server/recording/recorded_message.h"
#include "server/recording/recording_format.h"
#include "shared/log/log.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zstd.h>

namespace cog {

namespace {

// Room kept for closing the compressed stream: one empty last block (3 bytes) and some slack.
constexpr uint64_t STREAM_END_BYTES = 16;

bool write_fully(int fd, std::string_view bytes, int& error) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = n < 0 ? errno : ENOSPC;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// Takes the disk space for `bytes` more before writing them, so that a full disk is met before
// a byte goes out and the end of the stream always has its place. Where space cannot be taken
// ahead (a device, some filesystems) the write itself tells.
bool reserve_space(int fd, uint64_t offset, uint64_t bytes, int& error) {
    if (fallocate(fd, FALLOC_FL_KEEP_SIZE, static_cast<off_t>(offset), static_cast<off_t>(bytes)) == 0) return true;
    if (errno == EOPNOTSUPP || errno == ENOSYS || errno == ENODEV || errno == ESPIPE || errno == EINVAL) return true;
    error = errno;
    return false;
}

// The compressed file as it grows: whole batches of frames or nothing, and always a proper end,
// so that a recording cut by its limit or a full disk still reads as a whole game up to there.
class StreamWriter {
public:
    StreamWriter(int fd, uint64_t max_bytes) : fd_(fd), max_bytes_(max_bytes), context_(ZSTD_createCCtx()) {
        ZSTD_CCtx_setParameter(context_, ZSTD_c_compressionLevel, 3);
        // A long window finds the last picture's digests again in a repeating game.
        ZSTD_CCtx_setParameter(context_, ZSTD_c_windowLog, 23);
    }
    ~StreamWriter() { ZSTD_freeCCtx(context_); }
    StreamWriter(const StreamWriter&) = delete;
    StreamWriter& operator=(const StreamWriter&) = delete;

    bool ended() const { return ended_; }
    RecordingEnd why() const { return why_; }
    int error() const { return error_; }
    uint64_t written() const { return written_; } // bytes of whole batches on disk

    void append(const std::deque<std::string>& batch) {
        if (ended_) return;
        out_.clear();
        for (const std::string& chunk : batch)
            if (!compress(chunk, ZSTD_e_continue)) return end(RecordingEnd::WriteFailed);
        // Flushed after every batch: a recording cut short by a crash still holds all but the
        // last moments.
        if (!compress({}, ZSTD_e_flush)) return end(RecordingEnd::WriteFailed);
        if (written_ + out_.size() + STREAM_END_BYTES > max_bytes_) return end(RecordingEnd::TooLarge);
        if (!reserve_space(fd_, written_, out_.size() + STREAM_END_BYTES, error_)) return end(RecordingEnd::WriteFailed);
        if (!write_fully(fd_, out_, error_)) {
            // Whatever part went out is taken back, so the end follows the last whole batch.
            if (ftruncate(fd_, static_cast<off_t>(written_)) == 0) lseek(fd_, static_cast<off_t>(written_), SEEK_SET);
            return end(RecordingEnd::WriteFailed);
        }
        written_ += out_.size();
    }

    // Closes the stream after the last batch written. A batch that was compressed but not
    // written is simply absent: the compressor had flushed everything before it, and the
    // closing block refers to nothing earlier.
    void end(RecordingEnd why) {
        if (ended_) return;
        ended_ = true;
        why_ = why;
        out_.clear();
        // Before anything was written there is no stream to close (not even its header).
        if (written_ == 0 && why != RecordingEnd::None) return;
        int error = 0;
        const bool closed = compress({}, ZSTD_e_end) && write_fully(fd_, out_, error);
        if (!closed && why == RecordingEnd::None) {
            why_ = RecordingEnd::WriteFailed;
            error_ = error;
        }
    }

private:
    bool compress(std::string_view input, ZSTD_EndDirective mode) {
        ZSTD_inBuffer in{input.data(), input.size(), 0};
        char block[1 << 16];
        for (bool finished = false; !finished;) {
            ZSTD_outBuffer out{block, sizeof block, 0};
            const size_t left = ZSTD_compressStream2(context_, &out, &in, mode);
            if (ZSTD_isError(left)) return false;
            out_.append(block, out.pos);
            finished = mode == ZSTD_e_continue ? in.pos == in.size : left == 0;
        }
        return true;
    }

    int fd_;
    uint64_t max_bytes_;
    ZSTD_CCtx* context_;
    std::string out_;      // the batch compressed, before it is written
    uint64_t written_ = 0; // bytes of whole batches on disk
    bool ended_ = false;
    RecordingEnd why_ = RecordingEnd::None;
    int error_ = 0;
};

} // namespace

std::unique_ptr<Recorder> Recorder::open(const std::string& path, uint64_t seed, uint64_t max_bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        LOG_ERROR("Cannot create the recording %s", path.c_str());
        return nullptr;
    }
    // An existing file keeps its mode through O_TRUNC; a device (/dev/null) is left alone.
    struct stat file {};
    if (fstat(fd, &file) == 0 && S_ISREG(file.st_mode)) fchmod(fd, 0600);
    LOG_INFO("Recording the game to %s", path.c_str());
    return std::unique_ptr<Recorder>(new Recorder(fd, seed, max_bytes));
}

Recorder::Recorder(int fd, uint64_t seed, uint64_t max_bytes) : fd_(fd), max_bytes_(max_bytes) {
    pending_.append(RECORDING_MAGIC);
    pending_.push_back(static_cast<char>(RecordTag::START));
    put_varint(pending_, seed);
    thread_ = std::thread([this] { run(); });
}

Recorder::~Recorder() {
    hand_over();
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
    log_end_once(); // an end met while writing the last batches
    ::close(fd_);
}

void Recorder::host_started(DebugCommandsMode mode, std::string_view admin_token) {
    admin_token_ = admin_token;
    put_varint(pending_, static_cast<uint64_t>(mode));
    put_bytes(pending_, admin_token);
}

void Recorder::clock_read(bool wall, int64_t value) {
    int64_t& last = wall ? last_wall_ : last_mono_;
    pending_.push_back(static_cast<char>(wall ? RecordTag::WALL_CLOCK : RecordTag::MONO_CLOCK));
    // Wrapping subtraction: any two readings differ by some 64-bit pattern, and the reader adds
    // it back the same way.
    put_signed(pending_, static_cast<int64_t>(static_cast<uint64_t>(value) - static_cast<uint64_t>(last)));
    last = value;
}

void Recorder::frame_begun() {
    // The previous frame goes to the writer with the readings of the pause after it, so a
    // recording that ends between two hand-overs still has every reading of its last frame.
    hand_over();
    pending_.push_back(static_cast<char>(RecordTag::FRAME));
}

void Recorder::login(std::string_view name, uint32_t previous_id, PresentedSecret secret, uint32_t id) {
    pending_.push_back(static_cast<char>(RecordTag::LOGIN));
    put_varint(pending_, previous_id);
    put_bytes(pending_, name);
    put_varint(pending_, id);
    put_varint(pending_, static_cast<uint64_t>(secret));
}

void Recorder::message(uint32_t id, std::string_view body) {
    pending_.push_back(static_cast<char>(RecordTag::MESSAGE));
    put_varint(pending_, id);
    put_bytes(pending_, recorded_message(body, admin_token_, scratch_, message_strings_));
}

void Recorder::dropped(uint32_t id, DropReason reason) {
    pending_.push_back(static_cast<char>(RecordTag::DROP));
    put_varint(pending_, id);
    put_varint(pending_, static_cast<uint64_t>(reason));
}

void Recorder::picture_sent(uint32_t id, std::string_view body, std::span<const uint32_t> command_starts) {
    pending_.push_back(static_cast<char>(RecordTag::PICTURE));
    put_varint(pending_, id);
    put_varint(pending_, picture_digest(body));
    const size_t commands = command_starts.empty() ? 0 : command_starts.size() - 1;
    put_varint(pending_, commands);
    for (size_t i = 0; i < commands; ++i) put_u16(pending_, command_digest(command_text(body, command_starts, i)));
}

void Recorder::frame_ended() { pending_.push_back(static_cast<char>(RecordTag::FRAME_END)); }

RecordingEnd Recorder::ended() const {
    std::lock_guard lock(mutex_);
    return end_;
}

void Recorder::hand_over() {
    if (pending_.empty()) return;
    {
        std::lock_guard lock(mutex_);
        if (end_ == RecordingEnd::None && queued_bytes_ + pending_.size() > MAX_QUEUED_BYTES)
            end_ = RecordingEnd::FellBehind;
        if (end_ == RecordingEnd::None) {
            queued_bytes_ += pending_.size();
            queue_.push_back(std::move(pending_));
        }
    }
    pending_.clear();
    wake_.notify_one();
    log_end_once(); // from here, the game's thread, rather than from the writer
}

void Recorder::log_end_once() {
    if (end_logged_) return;
    RecordingEnd end;
    int error;
    {
        std::lock_guard lock(mutex_);
        end = end_;
        error = write_error_;
    }
    if (end == RecordingEnd::None) return;
    end_logged_ = true;
    switch (end) {
    case RecordingEnd::FellBehind: LOG_ERROR("Writing the recording fell too far behind; it ends there"); break;
    case RecordingEnd::TooLarge:
        LOG_ERROR("The recording reached its limit of %llu bytes; it ends there",
                  static_cast<unsigned long long>(max_bytes_));
        break;
    case RecordingEnd::WriteFailed:
        LOG_ERROR("Writing the recording failed (%s); it ends there", std::strerror(error));
        break;
    case RecordingEnd::None: break;
    }
}

void Recorder::run() {
    StreamWriter writer(fd_, max_bytes_);
    for (;;) {
        std::deque<std::string> batch;
        bool stopping = false;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !queue_.empty() || end_ == RecordingEnd::FellBehind; });
            batch.swap(queue_);
            queued_bytes_ = 0;
            stopping = stopping_;
            // Whole frames queued before the writer fell behind are kept; nothing after them.
            if (end_ == RecordingEnd::FellBehind) stopping = true;
        }
        writer.append(batch);
        if (stopping) writer.end(RecordingEnd::None);
        bytes_written_.store(writer.written(), std::memory_order_relaxed);
        if (writer.ended()) {
            std::lock_guard lock(mutex_);
            if (end_ == RecordingEnd::None && writer.why() != RecordingEnd::None) {
                end_ = writer.why();
                write_error_ = writer.error();
            }
        }
        if (stopping || writer.ended()) break;
    }
}

} // namespace cog
