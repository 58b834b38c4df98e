// A recording read back as it is replayed: its header first, then one frame at a time, with the
// clock readings each frame holds, so memory stays that of one frame however long the game was.
#pragma once

#include "server/network/connections.h"
#include "server/options/options.h"
#include "server/recording/recorder.h"
#include "server/recording/recording_format.h"
#include "server/seats/seat_claims.h"

#include <cstdint>
#include <deque>
#include <fstream>
#include <string>
#include <vector>

typedef struct ZSTD_DCtx_s ZSTD_DCtx;

namespace cog::replay {

enum class LoadError : uint8_t { None, CannotOpen, NotZstd, NotARecording, Truncated, Impossible, FrameTooLarge };
const char* load_error_text(LoadError error);

struct ClockReading {
    bool wall = false;
    int64_t value = 0; // nanoseconds
};

struct RecordedLogin {
    uint32_t previous_id = 0;
    std::string name;
    uint32_t id = 0; // the seat it was given
    PresentedSecret secret = PresentedSecret::Absent; // how its reconnection secret compared
};
struct RecordedMessage {
    uint32_t id = 0;
    std::string body;
};
struct RecordedDrop {
    uint32_t id = 0;
    DropReason reason = DropReason::None;
};
struct RecordedPicture {
    uint32_t id = 0;
    uint64_t digest = 0;
    std::vector<uint16_t> commands; // digest of each command
};

// One frame's inputs and outputs, in the order the host met them.
struct RecordedFrame {
    std::vector<RecordedLogin> logins;
    std::vector<RecordedMessage> messages;
    std::vector<RecordedDrop> drops;
    std::vector<RecordedPicture> pictures;
    int64_t start_ns = 0; // its first monotonic reading
};

// What no host ever records, so a recording holding it is refused rather than replayed: frames
// this large, more logins in a frame than the accept phase can take, this many clock readings
// between two frames, readings outside the clock's range or a monotonic clock going backwards.
// A frame's size counts its records' bytes and what they take once read: the recorder ends a
// recording rather than write a frame of more bytes than its queue holds, and the records a real
// frame holds are not so small that their reading costs more than that again.
inline constexpr size_t MAX_FRAME_BYTES = 2 * Recorder::MAX_QUEUED_BYTES;
inline constexpr size_t MAX_READINGS_PER_FRAME = 1u << 20;  // within a frame and after it
inline constexpr int64_t MAX_CLOCK_NS = int64_t{1} << 62;    // about 146 years

struct RecordingHeader {
    uint64_t seed = 0;
    DebugCommandsMode mode = DebugCommandsMode::OPEN;
    std::string admin_token;
};

class RecordingReader {
public:
    RecordingReader() = default;
    ~RecordingReader();
    RecordingReader(const RecordingReader&) = delete;
    RecordingReader& operator=(const RecordingReader&) = delete;

    // Reads the header and the clock readings of start-up.
    LoadError open(const std::string& path);
    const RecordingHeader& header() const { return header_; }
    // The next frame; its clock readings, and those of the pause after it, join clock(). False at
    // the end of the recording; error() then tells a whole one (None) from a cut or damaged one.
    bool next_frame(RecordedFrame& frame);
    LoadError error() const { return error_; }
    // Readings not yet handed out, oldest first.
    std::deque<ClockReading>& clock() { return clock_; }

    // The frame (from 0) at which the recording stopped being read.
    size_t frames_read() const { return frames_read_; }

private:
    enum class Parse : uint8_t { Done, NeedMore, Bad, Impossible, TooLarge };
    static LoadError refusal(Parse result);
    // Where the reader stands: inside a frame, or between two (the pause's readings).
    enum class Place : uint8_t { BetweenFrames, InFrame };
    // Decompresses at least some more bytes; false at the end of the file.
    bool fill();
    // Takes whole records from at_ on, each once however the bytes arrive: up to the end of the
    // start-up readings (`enter_frame` false), or through the next frame and the pause after it.
    Parse parse(bool enter_frame);
    Parse take_reading(RecordTag tag, RecordCursor& c);
    Parse take_frame_record(RecordTag tag, RecordCursor& c);

    std::ifstream file_;
    ZSTD_DCtx* context_ = nullptr;
    std::string in_, buffer_; // compressed input not yet taken; decompressed bytes from at_
    std::string chunk_;       // one call's decompressed bytes
    size_t in_at_ = 0, at_ = 0;
    bool file_done_ = false, stream_broken_ = false, stream_complete_ = false;
    bool exhausted_ = false; // fill() has nothing more to give: what is buffered is all there is
    RecordingHeader header_;
    std::deque<ClockReading> clock_;
    int64_t wall_ = 0, mono_ = 0;
    Place place_ = Place::BetweenFrames;
    RecordedFrame building_;    // the frame being read
    bool frame_ready_ = false;  // building_ is whole; the pause after it is being read
    size_t frame_bytes_ = 0;    // of building_ and its pause, as read and as held
    size_t parsed_bytes_ = 0;   // what the record just taken holds once read
    size_t frame_readings_ = 0; // of building_ and its pause
    size_t frames_read_ = 0;
    LoadError error_ = LoadError::None;
};

} // namespace cog::replay
