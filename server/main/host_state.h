// Everything the host keeps for the whole run: sockets, ids, the shared game state, the screen
// stack, the profiler and the frame arena. Passed explicitly to every phase of the frame.
#pragma once

#include "server/main/screen_stack.h"
#include "server/profiler/profiler.h"
#include "server/screens/screen/global_state.h"
#include "shared/protocol/framing.h"

#include <cstdint>
#include <map>
#include <memory>
#include <memory_resource>
#include <string>
#include <vector>

namespace cog {

inline constexpr const char* LISTEN_ADDRESS = "0.0.0.0";
inline constexpr uint16_t DEFAULT_PORT = 5556;
inline constexpr int LISTEN_BACKLOG = 1000;
inline constexpr int64_t FRAME_BUDGET_NS = 16'000'000;
inline constexpr int WORLD_TICK_RATE = 60; // shown by "info"; a constant, not a measurement

// A client that takes longer than this to finish its LOGIN, or a frame it has started, is dropped,
// so one silent or dribbling client never holds up everybody else.
inline constexpr int64_t STALLED_CLIENT_NS = 5'000'000'000;
// Connections still waiting for their LOGIN beyond this many are refused.
inline constexpr size_t MAX_PENDING_LOGINS = 64;
// Messages taken from one client in one frame; the rest wait for the next frame.
inline constexpr int MAX_MESSAGES_PER_CLIENT_FRAME = 256;
// Player names are cut to this many bytes (at a character boundary).
inline constexpr size_t MAX_NAME_BYTES = 32;

// The live socket of a logged-in human.
struct ClientSocket {
    int fd = -1;
    FrameReader reader;
    int64_t frame_started_ns = 0; // wall time when an unfinished frame was first seen; 0: none
};

// An accepted socket whose LOGIN has not arrived yet.
struct PendingLogin {
    int fd = -1;
    FrameReader reader;
    int64_t accepted_ns = 0; // wall time of the accept
};

struct HostState {
    HostState(Clock& clock, Random& random) : clock(clock), random(random), profiler(clock) {}
    HostState(const HostState&) = delete;
    HostState& operator=(const HostState&) = delete;

    Clock& clock;
    Random& random;
    bool running = false;
    int listener = -1;
    std::map<uint32_t, ClientSocket> connections; // player id -> socket
    std::vector<PendingLogin> pending_logins;
    uint32_t next_player_id = 1;
    GlobalState global;
    ScreenStack screen_stack;
    Profiler profiler;
    // Per-frame scratch: draw lists, formatted texts, decoded message strings. Released at the
    // end of every frame in one piece; the first block is kept, so a usual frame allocates
    // nothing from the heap.
    static constexpr size_t FRAME_ARENA_BYTES = 4 << 20;
    std::unique_ptr<std::byte[]> frame_arena_block{new std::byte[FRAME_ARENA_BYTES]};
    std::pmr::monotonic_buffer_resource frame_arena{frame_arena_block.get(), FRAME_ARENA_BYTES};
};

} // namespace cog
