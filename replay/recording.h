// A recording read back: its header, every clock reading in order, and its frames one by one.
#pragma once

#include "server/main/options.h"
#include "server/main/recording_format.h"
#include "server/network/connections.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cog::replay {

enum class LoadError : uint8_t { None, CannotOpen, NotZstd, NotARecording, Truncated };
const char* load_error_text(LoadError error);

struct ClockReading {
    bool wall = false;
    int64_t value = 0; // nanoseconds
};

struct RecordedLogin {
    uint32_t previous_id = 0;
    std::string_view name;
    uint32_t id = 0; // the seat it was given
};
struct RecordedMessage {
    uint32_t id = 0;
    std::string_view body;
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

struct Recording {
    std::string bytes; // decompressed; the views above point into it
    uint64_t seed = 0;
    DebugCommandsMode mode = DebugCommandsMode::OPEN;
    std::string admin_token;
    std::vector<ClockReading> clock;
    std::vector<RecordedFrame> frames;
};

// Reads and decodes a whole recording. A recording cut short (a host that died) keeps its
// complete frames and reports Truncated.
LoadError load_recording(const std::string& path, Recording& out);
// The same from compressed bytes in memory.
LoadError parse_recording(std::string_view compressed, Recording& out);

} // namespace cog::replay
