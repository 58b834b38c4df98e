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
    case LoadError::Impossible:
        return "holds what no game could have recorded (more logins in a frame than the host takes, or impossible clock "
               "readings)";
    case LoadError::FrameTooLarge: return "holds a frame larger than any game records";
    }
    return "?";
}

namespace {

// What a record costs once read: the element it becomes, twice, for the room a growing vector
// keeps, and the bytes it owns.
template <typename Element>
constexpr size_t element_cost(size_t owned_bytes) {
    return 2 * sizeof(Element) + owned_bytes;
}

// Adds a recorded change to the last reading as the recorder took it: modulo 2^64.
int64_t wrapping_add(int64_t last, int64_t change) {
    return static_cast<int64_t>(static_cast<uint64_t>(last) + static_cast<uint64_t>(change));
}

} // namespace

LoadError RecordingReader::refusal(Parse result) {
    switch (result) {
    case Parse::Bad: return LoadError::NotARecording;
    case Parse::TooLarge: return LoadError::FrameTooLarge;
    default: return LoadError::Impossible;
    }
}

RecordingReader::~RecordingReader() {
    if (context_) ZSTD_freeDCtx(context_);
}

bool RecordingReader::fill() {
    if (stream_broken_ || exhausted_) return false;
    const size_t before = buffer_.size();
    if (chunk_.empty()) chunk_.resize(ZSTD_DStreamOutSize());
    while (buffer_.size() == before) {
        if (in_at_ == in_.size() && !file_done_) {
            // Read in pieces the size zstd works in, so a small file costs no large buffer.
            in_.resize(ZSTD_DStreamInSize());
            file_.read(in_.data(), static_cast<std::streamsize>(in_.size()));
            in_.resize(static_cast<size_t>(file_.gcount()));
            in_at_ = 0;
            file_done_ = in_.empty();
        }
        ZSTD_inBuffer in{in_.data(), in_.size(), in_at_};
        ZSTD_outBuffer out{chunk_.data(), chunk_.size(), 0};
        const size_t result = ZSTD_decompressStream(context_, &out, &in);
        if (ZSTD_isError(result)) {
            stream_broken_ = exhausted_ = true;
            return false;
        }
        // Whether the last compressed frame was whole; a call that found nothing to do says
        // nothing about it.
        if (in.pos != in_at_ || out.pos != 0) stream_complete_ = result == 0;
        in_at_ = in.pos;
        buffer_.append(chunk_.data(), out.pos);
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
    for (;;) {
        const Parse result = parse(false);
        if (result == Parse::Done) return error_;
        if (result != Parse::NeedMore) return error_ = refusal(result);
        if (exhausted_) return error_;
        fill();
    }
}

RecordingReader::Parse RecordingReader::take_reading(RecordTag tag, RecordCursor& c) {
    if (tag != RecordTag::WALL_CLOCK && tag != RecordTag::MONO_CLOCK) return Parse::Bad;
    const bool wall = tag == RecordTag::WALL_CLOCK;
    const int64_t change = c.signed_varint();
    if (!c.ok) return Parse::NeedMore;
    int64_t& last = wall ? wall_ : mono_;
    const int64_t value = wrapping_add(last, change);
    // The host adds and subtracts readings; values no clock gives could overflow its sums.
    if (value < 0 || value >= MAX_CLOCK_NS || (!wall && value < last)) return Parse::Impossible;
    if (++frame_readings_ > MAX_READINGS_PER_FRAME) return Parse::Impossible;
    last = value;
    clock_.push_back({wall, value});
    parsed_bytes_ = element_cost<ClockReading>(0);
    if (!wall && place_ == Place::InFrame && building_.start_ns == 0) building_.start_ns = value;
    return Parse::Done;
}

// One record inside a frame, kept only when whole.
RecordingReader::Parse RecordingReader::take_frame_record(RecordTag tag, RecordCursor& c) {
    RecordedFrame& frame = building_;
    switch (tag) {
    case RecordTag::WALL_CLOCK:
    case RecordTag::MONO_CLOCK: return take_reading(tag, c);
    case RecordTag::LOGIN: {
        RecordedLogin login;
        login.previous_id = static_cast<uint32_t>(c.varint());
        login.name = std::string(c.bytes());
        login.id = static_cast<uint32_t>(c.varint());
        login.secret = static_cast<PresentedSecret>(c.varint());
        if (!c.ok) return Parse::NeedMore;
        // The accept phase takes at most this many logins a frame.
        if (frame.logins.size() >= MAX_PENDING_LOGINS * (MAX_ACCEPT_ROUNDS + 1)) return Parse::Impossible;
        parsed_bytes_ = element_cost<RecordedLogin>(login.name.size());
        frame.logins.push_back(std::move(login));
        return Parse::Done;
    }
    case RecordTag::MESSAGE: {
        const uint32_t id = static_cast<uint32_t>(c.varint());
        const std::string_view body = c.bytes();
        if (!c.ok) return Parse::NeedMore;
        parsed_bytes_ = element_cost<RecordedMessage>(body.size());
        frame.messages.push_back({id, std::string(body)});
        return Parse::Done;
    }
    case RecordTag::DROP: {
        const uint32_t id = static_cast<uint32_t>(c.varint());
        const uint64_t reason = c.varint();
        if (!c.ok) return Parse::NeedMore;
        parsed_bytes_ = element_cost<RecordedDrop>(0);
        frame.drops.push_back({id, static_cast<DropReason>(reason)});
        return Parse::Done;
    }
    case RecordTag::PICTURE: {
        RecordedPicture picture;
        picture.id = static_cast<uint32_t>(c.varint());
        picture.digest = c.varint();
        const uint64_t count = c.varint();
        if (!c.ok || count > (c.data.size() - c.at) / 2) return Parse::NeedMore; // its digests are not all here
        picture.commands.reserve(count);
        for (uint64_t i = 0; i < count; ++i) picture.commands.push_back(c.u16());
        parsed_bytes_ = element_cost<RecordedPicture>(count * sizeof(uint16_t));
        frame.pictures.push_back(std::move(picture));
        return Parse::Done;
    }
    default: return Parse::Bad;
    }
}

RecordingReader::Parse RecordingReader::parse(bool enter_frame) {
    for (;;) {
        if (at_ >= buffer_.size()) return place_ == Place::BetweenFrames && exhausted_ ? Parse::Done : Parse::NeedMore;
        RecordCursor c{buffer_, at_};
        const RecordTag tag = static_cast<RecordTag>(c.byte());
        Parse step = Parse::Done;
        if (place_ == Place::BetweenFrames) {
            if (tag == RecordTag::FRAME) {
                // Where the frame read so far (or start-up) ends, and the next one begins.
                if (frame_ready_ || !enter_frame) return Parse::Done;
                place_ = Place::InFrame;
                frame_bytes_ = frame_readings_ = 0;
            } else {
                step = take_reading(tag, c);
            }
        } else if (tag == RecordTag::FRAME_END) {
            place_ = Place::BetweenFrames;
            frame_ready_ = true;
        } else {
            step = take_frame_record(tag, c);
        }
        if (step != Parse::Done) return step;
        // Counted as read and as held: a frame of tiny records holds many times its bytes.
        frame_bytes_ += c.at - at_ + parsed_bytes_;
        parsed_bytes_ = 0;
        at_ = c.at;
        if (frame_bytes_ > MAX_FRAME_BYTES) return Parse::TooLarge;
    }
}

bool RecordingReader::next_frame(RecordedFrame& frame) {
    if (error_ != LoadError::None) return false;
    for (;;) {
        // What was read is given up now and then, so the buffer holds about one frame.
        if (at_ > (1u << 20)) {
            buffer_.erase(0, at_);
            at_ = 0;
        }
        const Parse result = parse(true);
        if (result == Parse::Done) {
            if (!frame_ready_) {
                // The end: of a whole recording, or of one whose writer never closed it.
                if (!stream_complete_) error_ = LoadError::Truncated;
                return false;
            }
            frame = std::move(building_);
            building_ = RecordedFrame{};
            frame_ready_ = false;
            ++frames_read_;
            return true;
        }
        if (result == Parse::Bad || result == Parse::Impossible || result == Parse::TooLarge) {
            error_ = refusal(result);
            return false;
        }
        if (exhausted_) {
            // Nothing more: a host that died in the middle of a frame, or a damaged stream.
            error_ = LoadError::Truncated;
            return false;
        }
        fill();
    }
}

} // namespace cog::replay
