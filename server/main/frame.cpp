// Updating the top screen and sending the frame's pictures.
#include "server/main/frame.h"

#include "server/main/host_state.h"
#include "server/main/sessions.h"
#include "shared/log/log.h"


namespace cog {

void update_state(HostState& host, float dt) {
    Screen* top = host.screen_stack.top();
    if (!top) return;
    const ScreenTransition transition = top->data->update(dt);
    switch (transition.kind) {
    case TransitionKind::PUSH: push_screen(host, transition.screen); break;
    case TransitionKind::POP: pop_screen(host); break;
    case TransitionKind::POP_TO: pop_to_screen(host, transition.screen); break;
    case TransitionKind::NONE: break;
    }
}

DrawList screen_render(Screen& screen, uint32_t viewer_id, std::pmr::memory_resource* arena) {
    DrawList list(arena);
    screen.data->render(viewer_id, list);
    return list;
}

namespace {
// A picture over the frame limit cannot be sent, but it is no fault of the viewer's: he simply
// misses this frame's picture. Warned once per screen, not every frame.
void skip_oversized_picture(HostState& host, const Screen& top, uint32_t id, size_t body_bytes) {
    if (host.oversize_warned_screen == top.instance) return;
    host.oversize_warned_screen = top.instance;
    LOG_WARN("Picture for player %u is %zu bytes, over the %u-byte frame limit; not sent", id, body_bytes,
             MAX_FRAME_BODY);
}
} // namespace

void send_draw_commands(HostState& host) {
    Screen* top = host.screen_stack.top();
    if (!top) return;
    host.picture_encoder.begin_frame();
    size_t viewer = 0;
    // The sockets, not the records: a frame's cost follows who is connected now, not how many
    // have ever logged in. Both tables are ordered by id, so the order of sends is unchanged.
    for (const auto& [id, socket] : host.connections.sockets) {
        if (!is_connected_human(host, id)) continue;
        // The arena of the picture before last: nothing refers to it any more.
        std::pmr::monotonic_buffer_resource& arena = host.viewer_arenas[viewer++ % 2];
        arena.release();
        const EncodedPicture picture = host.picture_encoder.encode(screen_render(*top, id, &arena));
        if (picture.error == ProtocolError::MessageTooLarge) {
            skip_oversized_picture(host, *top, id, picture.body_bytes);
            continue;
        }
        // Only the wire differs for a client that takes changes: what it is shown, and what
        // a recording keeps, is the whole picture.
        const bool takes_changes = socket.transport.web && socket.transport.web->picture_changes;
        const std::string_view frame = takes_changes
                                           ? host.picture_changes.frame_for(id, socket.transport.web, top->instance,
                                                                            picture, host.picture_encoder)
                                           : host.picture_encoder.whole_frame().frame;
        // A failed send only marks the connection; it is dropped after the pass, so everyone
        // else still gets this frame.
        if (!send_frame_to(host.connections, id, frame)) continue;
        ++(takes_changes && host.picture_changes.last_was_change() ? host.metrics.pictures_changes
                                                                    : host.metrics.pictures_whole);
        if (host.observer) {
            const WholeFrame whole = host.picture_encoder.whole_frame();
            host.observer->picture_sent(id, whole.frame.substr(4), whole.command_starts);
        }
    }
    host.picture_changes.end_frame(host.connections.sockets);
    host.picture_encoder.begin_frame(); // its reference lives in an arena released next frame
}

} // namespace cog
