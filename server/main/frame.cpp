// Updating the top screen and sending the frame's pictures.
#include "server/main/frame.h"

#include "server/main/host_state.h"
#include "server/network/sessions.h"

#include <vector>

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
    std::vector<uint32_t> failed;
    for (const auto& [id, player] : host.global.players) {
        ClientSocket* socket = human_socket(host, player);
        if (!socket) continue;
        // Built in place so the list keeps its frame-arena allocator (no copy).
        const ServerMessage message{ServerMessageKind::DRAW_COMMANDS, Event{}, screen_render(host, *top, id)};
        if (send_message(socket->fd, message) != ProtocolError::None) failed.push_back(id);
    }
    // Dropped only after the pass, so everyone before a failing player got this frame.
    for (uint32_t id : failed) disconnect_player(host, id);
}

} // namespace cog
