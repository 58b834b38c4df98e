// Updating the top screen and sending the frame's pictures.
#include "server/main/frame.h"

#include "server/main/host_state.h"
#include "server/main/sessions.h"


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

DrawList screen_render(HostState& host, Screen& screen, uint32_t viewer_id) {
    DrawList list(&host.frame_arena);
    screen.data->render(viewer_id, list);
    return list;
}

void send_draw_commands(HostState& host) {
    Screen* top = host.screen_stack.top();
    if (!top) return;
    for (const auto& [id, player] : host.global.players) {
        if (!human_socket(host, player)) continue;
        // Built in place so the list keeps its frame-arena allocator (no copy).
        const ServerMessage message{ServerMessageKind::DRAW_COMMANDS, Event{}, screen_render(host, *top, id)};
        // A failed send only marks the connection; it is dropped after the pass, so everyone
        // else still gets this frame.
        send_to(host.connections, id, message);
    }
}

} // namespace cog
