// What a frame depended on and what it sent, seen from outside the game: a recording writes it
// down, a replay checks it. The host calls these at fixed points of the frame; none may fail.
#pragma once

#include "server/network/connections.h"
#include "server/options/options.h"
#include "server/seats/seat_claims.h"

#include <cstdint>
#include <span>
#include <string_view>

namespace cog {

class FrameObserver {
public:
    virtual ~FrameObserver() = default;
    // Start-up is done: the secrets a replay needs to run the same game.
    virtual void host_started(DebugCommandsMode mode, std::string_view admin_token) { (void)mode, (void)admin_token; }
    virtual void frame_begun() {}
    // A LOGIN was accepted: who asked, for which seat with what secret, and the seat given.
    virtual void login(std::string_view name, uint32_t previous_id, PresentedSecret secret, uint32_t id) {
        (void)name, (void)previous_id, (void)secret, (void)id;
    }
    // A whole message from a player, as the bytes that arrived, before it is acted on.
    virtual void message(uint32_t id, std::string_view body) { (void)id, (void)body; }
    // A connection is about to be dropped.
    virtual void dropped(uint32_t id, DropReason reason) { (void)id, (void)reason; }
    // A picture was sent: its JSON body, and the offset of each command in it (then the end).
    virtual void picture_sent(uint32_t id, std::string_view body, std::span<const uint32_t> command_starts) {
        (void)id, (void)body, (void)command_starts;
    }
    virtual void frame_ended() {}
};

} // namespace cog
