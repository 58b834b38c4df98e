// Runs the host's own code again from a recording, with no network and no waiting: each recorded
// login and message is fed through a local socket pair into the same accept and input phases,
// and every picture the host sends is compared with the recorded digests.
#pragma once

#include "replay/recording.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace cog::replay {

struct Difference {
    size_t frame = 0;          // index from 0
    uint32_t player = 0;
    size_t command = 0;        // index of the first differing command, when `what` says so
    std::string what;          // a readable account
};

// Why a replay stopped before the recording's end although the recording read well.
enum class ReplayRefusal : uint8_t {
    None,
    MessagesPileUp, // a player was fed more messages than the host takes of him, frame after frame
};
const char* replay_refusal_text(ReplayRefusal refusal);

struct ReplayReport {
    size_t frames = 0;         // frames replayed
    size_t players = 0;        // distinct players who logged in
    bool identical = true;
    Difference first;          // when not identical
    ReplayRefusal refused = ReplayRefusal::None; // then `frames` is the frame that was not replayed
    uint32_t piled_up_player = 0;
};

// Called with each picture of `player` sent in a frame, with the frame's time in seconds from the
// first frame. Returning false stops the replay.
using PictureSink = std::function<bool(double seconds, std::string_view body)>;
// Sees each frame as read, before it is replayed, and may change it (tests change an input).
using FrameEdit = std::function<void(size_t index, RecordedFrame& frame)>;

// Replays every frame of an opened recording; with `verify` it stops at the first difference.
ReplayReport run_replay(RecordingReader& recording, bool verify, uint32_t player = 0, const PictureSink& sink = {},
                        const FrameEdit& edit = {});

} // namespace cog::replay
