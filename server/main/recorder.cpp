// The recorder: records appended on the frame's thread, compressed and written on its own.
#include "server/main/recorder.h"

#include "server/main/recording_format.h"
#include "shared/log/log.h"

#include <cstdio>
#include <zstd.h>

namespace cog {

std::unique_ptr<Recorder> Recorder::open(const std::string& path, uint64_t seed) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        LOG_ERROR("Cannot create the recording %s", path.c_str());
        return nullptr;
    }
    LOG_INFO("Recording the game to %s", path.c_str());
    return std::unique_ptr<Recorder>(new Recorder(file, seed));
}

Recorder::Recorder(std::FILE* file, uint64_t seed) : file_(file) {
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
    std::fclose(file_);
}

void Recorder::host_started(DebugCommandsMode mode, std::string_view admin_token) {
    put_varint(pending_, static_cast<uint64_t>(mode));
    put_bytes(pending_, admin_token);
}

void Recorder::clock_read(bool wall, int64_t value) {
    int64_t& last = wall ? last_wall_ : last_mono_;
    pending_.push_back(static_cast<char>(wall ? RecordTag::WALL_CLOCK : RecordTag::MONO_CLOCK));
    put_signed(pending_, value - last);
    last = value;
}

void Recorder::frame_begun() { pending_.push_back(static_cast<char>(RecordTag::FRAME)); }

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
    put_bytes(pending_, body);
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

void Recorder::frame_ended() {
    pending_.push_back(static_cast<char>(RecordTag::FRAME_END));
    hand_over();
}

bool Recorder::failed() const {
    std::lock_guard lock(mutex_);
    return failed_;
}

void Recorder::hand_over() {
    if (pending_.empty()) return;
    {
        std::lock_guard lock(mutex_);
        // Logged from here, the game's thread, rather than from the writer.
        if (!failed_ && queued_bytes_ + pending_.size() > MAX_QUEUED_BYTES) failed_ = true;
        if (failed_ && !failure_logged_) {
            failure_logged_ = true;
            LOG_ERROR("Writing the recording failed or fell too far behind; it ends there");
        }
        if (!failed_) {
            queued_bytes_ += pending_.size();
            queue_.push_back(std::move(pending_));
        }
    }
    pending_.clear();
    wake_.notify_one();
}

void Recorder::run() {
    ZSTD_CCtx* context = ZSTD_createCCtx();
    ZSTD_CCtx_setParameter(context, ZSTD_c_compressionLevel, 3);
    // A long window finds the last picture's digests again in a repeating game.
    ZSTD_CCtx_setParameter(context, ZSTD_c_windowLog, 23);
    std::string compressed(ZSTD_CStreamOutSize(), '\0');
    bool ok = true;
    const auto write_out = [&](std::string_view input, ZSTD_EndDirective mode) {
        ZSTD_inBuffer in{input.data(), input.size(), 0};
        for (bool finished = false; !finished;) {
            ZSTD_outBuffer out{compressed.data(), compressed.size(), 0};
            const size_t left = ZSTD_compressStream2(context, &out, &in, mode);
            if (ZSTD_isError(left)) return false;
            if (std::fwrite(compressed.data(), 1, out.pos, file_) != out.pos) return false;
            finished = mode == ZSTD_e_continue ? in.pos == in.size : left == 0;
        }
        return true;
    };
    for (;;) {
        std::deque<std::string> batch;
        bool stopping = false;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            batch.swap(queue_);
            queued_bytes_ = 0;
            stopping = stopping_;
        }
        for (const std::string& chunk : batch) ok = ok && write_out(chunk, ZSTD_e_continue);
        // Flushed after every batch: a recording cut short by a crash still holds all but the
        // last moments.
        ok = ok && write_out({}, stopping ? ZSTD_e_end : ZSTD_e_flush) && std::fflush(file_) == 0;
        if (!ok) {
            std::lock_guard lock(mutex_);
            failed_ = true;
        }
        if (stopping) break;
    }
    ZSTD_freeCCtx(context);
}

} // namespace cog
