// A recording read back as it is replayed: its header first, then one frame at a time, with the
// clock readings each frame holds, so memory stays that of one frame however long the game was.
#pragma once

#include "server/main/options.h"
#include "server/main/recording_format.h"
#include "server/main/seat_claims.h"
#include "server/network/connections.h"

#include <cstdint>
#include <deque>
#include <fstream>
#include <string>
#include <vector>

typedef struct ZSTD_DCtx_s ZSTD_DCtx;

namespace cog::replay {

enum class LoadError : uint8_t { None, CannotOpen, NotZstd, NotARecording, Truncated };
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

private:
    enum class Parse : uint8_t { Done, NeedMore, Bad };
    // Decompresses at least some more bytes; false at the end of the file.
    bool fill();
    Parse parse(RecordedFrame& frame, bool with_frame);

    std::ifstream file_;
    ZSTD_DCtx* context_ = nullptr;
    std::string in_, buffer_; // compressed input not yet taken; decompressed bytes from at_
    size_t in_at_ = 0, at_ = 0;
    bool file_done_ = false, stream_broken_ = false, stream_complete_ = false;
    bool exhausted_ = false; // fill() has nothing more to give: what is buffered is all there is
    RecordingHeader header_;
    std::deque<ClockReading> clock_;
    int64_t wall_ = 0, mono_ = 0;
    LoadError error_ = LoadError::None;
};

} // namespace cog::replay
