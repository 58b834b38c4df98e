// Everything the host keeps for the whole run: sockets, ids, the shared game state, the screen
// stack, the profiler and the frame arena. Passed explicitly to every phase of the frame.
#pragma once

#include "server/main/debug_access.h"
#include "server/main/departed_players.h"
#include "server/recording/frame_observer.h"
#include "server/pictures/picture_changes.h"
#include "server/pictures/picture_encoder.h"
#include "server/main/screen_stack.h"
#include "server/metrics/room_metrics.h"
#include "server/seats/seat_claims.h"
#include "server/profiler/profiler.h"
#include "server/screens/screen/global_state.h"
#include "server/network/connections.h"
#include "server/web/web_endpoint.h"

#include <cstdint>
#include <map>
#include <memory>
#include <memory_resource>
#include <string>
#include <vector>

namespace cog {

inline constexpr const char* LISTEN_ADDRESS = "0.0.0.0";
inline constexpr int LISTEN_BACKLOG = 1000;
inline constexpr int64_t FRAME_BUDGET_NS = 16'000'000;
inline constexpr int WORLD_TICK_RATE = 60; // shown by "info"; a constant, not a measurement

// Player names are cut to this many bytes (at a character boundary).
inline constexpr size_t MAX_NAME_BYTES = 32;

struct HostState {
    // The profiler times with `instrument_clock`: its readings change nothing in the game, so a
    // recording need not keep them.
    HostState(Clock& clock, Random& random, Clock& instrument_clock)
        : clock(clock), random(random), profiler(instrument_clock) {}
    HostState(const HostState&) = delete;
    HostState& operator=(const HostState&) = delete;

    Clock& clock;
    Random& random;
    FrameObserver* observer = nullptr; // a recording or a replay; nullptr: nobody watches
    std::string observed_body;         // the message bytes handed to the observer
    bool running = false;
    ConnectionTable connections;
    std::unique_ptr<web::WebEndpoint> web; // browsers; nullptr when off
    PictureEncoder picture_encoder;
    PictureChanges picture_changes; // what each client taking changes was sent last
    // The screen instance whose oversized picture was last warned about: one warning per screen.
    // An instance number, not an address: a new screen may be built where the old one was.
    uint64_t oversize_warned_screen = 0;
    uint32_t next_player_id = 1;
    DebugAccess debug_access; // who may use the debug commands
    GlobalState global;
    DepartedPlayers departed; // humans who left, until nothing can use their records
    SeatClaims seat_claims;   // who may take each human seat back
    ScreenStack screen_stack;
    Profiler profiler;
    metrics::RoomMetrics metrics; // the room's counts for its operator; frame thread only
    // Per-frame scratch (the status window's rows, for one). Released at the
    // end of every frame in one piece; the first block is kept, so a usual frame allocates
    // nothing from the heap.
    static constexpr size_t FRAME_ARENA_BYTES = 1 << 20;
    std::unique_ptr<std::byte[]> frame_arena_block{new std::byte[FRAME_ARENA_BYTES]};
    std::pmr::monotonic_buffer_resource frame_arena{frame_arena_block.get(), FRAME_ARENA_BYTES};
    // Each viewer's picture (its list and texts) is drawn into one of these two in turn: the
    // previous viewer's picture stays alive as the encoder's reference while the next one is
    // drawn, and the one before it is released. Their first blocks are kept, so hundreds of
    // pictures a frame cost no fresh memory from the system.
    static constexpr size_t VIEWER_ARENA_BYTES = 2 << 20;
    std::unique_ptr<std::byte[]> viewer_arena_blocks[2] = {std::unique_ptr<std::byte[]>(new std::byte[VIEWER_ARENA_BYTES]),
                                                          std::unique_ptr<std::byte[]>(new std::byte[VIEWER_ARENA_BYTES])};
    std::pmr::monotonic_buffer_resource viewer_arenas[2] = {
        std::pmr::monotonic_buffer_resource{viewer_arena_blocks[0].get(), VIEWER_ARENA_BYTES},
        std::pmr::monotonic_buffer_resource{viewer_arena_blocks[1].get(), VIEWER_ARENA_BYTES}};
    // The strings of one decoded client message, released as soon as the message is handled,
    // so a client sending large messages never piles them up in the frame arena.
    static constexpr size_t MESSAGE_ARENA_BYTES = 64 << 10;
    std::unique_ptr<std::byte[]> message_arena_block{new std::byte[MESSAGE_ARENA_BYTES]};
    std::pmr::monotonic_buffer_resource message_arena{message_arena_block.get(), MESSAGE_ARENA_BYTES};
};

} // namespace cog
