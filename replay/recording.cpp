// Decompressing a recording as it is read, and splitting it into clock readings and frames.
#include "replay/recording.h"

#include <zstd.h>

namespace cog::replay {

const char* load_error_text(LoadError error) {
    switch (error) {
    case LoadError::None: return "ok";
    case LoadError::CannotOpen: return "cannot be read";
    case LoadError::NotZstd: return "is not a compressed recording";
    case LoadError::NotARecording: return "is not a Cogwell recording";
    case LoadError::Truncated: return "is cut short";
    }
    return "?";
}

namespace {

bool read_reading(RecordTag tag, RecordCursor& c, std::vector<ClockReading>& readings, int64_t& wall, int64_t& mono) {
    if (tag != RecordTag::WALL_CLOCK && tag != RecordTag::MONO_CLOCK) return false;
    int64_t& last = tag == RecordTag::WALL_CLOCK ? wall : mono;
    last += c.signed_varint();
    readings.push_back({tag == RecordTag::WALL_CLOCK, last});
    return true;
}

// One record inside a frame; false at a tag that has no place there.
bool read_frame_record(RecordTag tag, RecordCursor& c, RecordedFrame& frame, std::vector<ClockReading>& readings,
                       int64_t& wall, int64_t& mono) {
    switch (tag) {
    case RecordTag::WALL_CLOCK:
    case RecordTag::MONO_CLOCK:
        read_reading(tag, c, readings, wall, mono);
        if (tag == RecordTag::MONO_CLOCK && frame.start_ns == 0) frame.start_ns = mono;
        return true;
    case RecordTag::LOGIN: {
        RecordedLogin& login = frame.logins.emplace_back();
        login.previous_id = static_cast<uint32_t>(c.varint());
        login.name = std::string(c.bytes());
        login.id = static_cast<uint32_t>(c.varint());
        login.secret = static_cast<PresentedSecret>(c.varint());
        return true;
    }
    case RecordTag::MESSAGE: {
        RecordedMessage& message = frame.messages.emplace_back();
        message.id = static_cast<uint32_t>(c.varint());
        message.body = std::string(c.bytes());
        return true;
    }
    case RecordTag::DROP:
        frame.drops.push_back({static_cast<uint32_t>(c.varint()), static_cast<DropReason>(c.varint())});
        return true;
    case RecordTag::PICTURE: {
        RecordedPicture& picture = frame.pictures.emplace_back();
        picture.id = static_cast<uint32_t>(c.varint());
        picture.digest = c.varint();
        const uint64_t count = c.varint();
        if (count > (c.data.size() - std::min(c.at, c.data.size())) / 2 + 1) {
            c.ok = false; // more digests than bytes left: read more, or the file is cut
            return true;
        }
        picture.commands.reserve(count);
        for (uint64_t i = 0; i < count && c.ok; ++i) picture.commands.push_back(c.u16());
        return true;
    }
    default: return false;
    }
}

} // namespace

RecordingReader::~RecordingReader() {
    if (context_) ZSTD_freeDCtx(context_);
}

bool RecordingReader::fill() {
    if (stream_broken_ || exhausted_) return false;
    const size_t before = buffer_.size();
    std::string chunk(ZSTD_DStreamOutSize(), '\0');
    while (buffer_.size() == before) {
        if (in_at_ == in_.size() && !file_done_) {
            in_.resize(1 << 20);
            file_.read(in_.data(), static_cast<std::streamsize>(in_.size()));
            in_.resize(static_cast<size_t>(file_.gcount()));
            in_at_ = 0;
            file_done_ = in_.empty();
        }
        ZSTD_inBuffer in{in_.data(), in_.size(), in_at_};
        ZSTD_outBuffer out{chunk.data(), chunk.size(), 0};
        const size_t result = ZSTD_decompressStream(context_, &out, &in);
        if (ZSTD_isError(result)) {
            stream_broken_ = exhausted_ = true;
            return false;
        }
        // Whether the last compressed frame was whole; a call that found nothing to do says
        // nothing about it.
        if (in.pos != in_at_ || out.pos != 0) stream_complete_ = result == 0;
        in_at_ = in.pos;
        buffer_.append(chunk.data(), out.pos);
        if (out.pos == 0 && file_done_) {
            exhausted_ = true;
            return false;
        }
    }
    return true;
}

LoadError RecordingReader::open(const std::string& path) {
    file_.open(path, std::ios::binary);
    if (!file_) return error_ = LoadError::CannotOpen;
    context_ = ZSTD_createDCtx();
    for (;;) {
        RecordCursor c{buffer_};
        const bool magic = buffer_.size() >= RECORDING_MAGIC.size() &&
                           std::string_view(buffer_).substr(0, RECORDING_MAGIC.size()) == RECORDING_MAGIC;
        if (buffer_.size() >= RECORDING_MAGIC.size() && !magic) return error_ = LoadError::NotARecording;
        if (magic) {
            c.at = RECORDING_MAGIC.size();
            const bool start = static_cast<RecordTag>(c.byte()) == RecordTag::START;
            if (c.ok && !start) return error_ = LoadError::NotARecording;
            header_.seed = c.varint();
            header_.mode = static_cast<DebugCommandsMode>(c.varint());
            header_.admin_token = std::string(c.bytes());
            if (c.ok) {
                at_ = c.at;
                break;
            }
        }
        if (!fill()) return error_ = stream_broken_ ? LoadError::NotZstd : LoadError::NotARecording;
    }
    // The readings of start-up, before the first frame.
    RecordedFrame none;
    while (parse(none, false) == Parse::NeedMore && !exhausted_) fill();
    return error_;
}

// Reads from at_: with `frame`, one whole frame (its 'F' to its 'E'); then the loose readings
// up to the next frame or the end. Commits only what was read whole.
RecordingReader::Parse RecordingReader::parse(RecordedFrame& frame, bool with_frame) {
    RecordCursor c{buffer_, at_};
    std::vector<ClockReading> readings;
    int64_t wall = wall_, mono = mono_;
    if (with_frame) {
        if (c.done()) return Parse::NeedMore;
        if (static_cast<RecordTag>(c.byte()) != RecordTag::FRAME) return Parse::Bad;
        for (;;) {
            const RecordTag tag = static_cast<RecordTag>(c.byte());
            if (!c.ok) return Parse::NeedMore;
            if (tag == RecordTag::FRAME_END) break;
            if (!read_frame_record(tag, c, frame, readings, wall, mono)) return Parse::Bad;
            if (!c.ok) return Parse::NeedMore;
        }
    }
    for (;;) {
        if (c.at >= buffer_.size()) {
            if (!exhausted_) return Parse::NeedMore; // the next frame may follow
            break;
        }
        if (static_cast<RecordTag>(buffer_[c.at]) == RecordTag::FRAME) break;
        const RecordTag tag = static_cast<RecordTag>(c.byte());
        if (!read_reading(tag, c, readings, wall, mono)) return Parse::Bad;
        if (!c.ok) return Parse::NeedMore;
    }
    at_ = c.at;
    wall_ = wall;
    mono_ = mono;
    clock_.insert(clock_.end(), readings.begin(), readings.end());
    return Parse::Done;
}

bool RecordingReader::next_frame(RecordedFrame& frame) {
    if (error_ != LoadError::None && error_ != LoadError::Truncated) return false;
    // What was read is given up now and then, so the buffer holds about one frame.
    if (at_ > (1u << 20)) {
        buffer_.erase(0, at_);
        at_ = 0;
    }
    for (;;) {
        frame = RecordedFrame{};
        const Parse result = parse(frame, true);
        if (result == Parse::Done) return true;
        if (result == Parse::Bad) {
            error_ = LoadError::NotARecording;
            return false;
        }
        if (exhausted_) {
            // Nothing more: a clean end, or a host that died in the middle of a frame.
            if (at_ < buffer_.size() || !stream_complete_) error_ = LoadError::Truncated;
            return false;
        }
        fill();
    }
}

} // namespace cog::replay
