// Screen stack operations with their fixed order of lifecycle calls, music stops and log lines.
#include "server/main/screen_stack.h"

#include "server/main/host_state.h"
#include "server/main/sessions.h"
#include "shared/log/log.h"

#include <vector>

namespace cog {

namespace {

// Seated ids are collected first: enter callbacks may add or remove players.
std::vector<uint32_t> seated_ids(const GlobalState& global) {
    std::vector<uint32_t> ids;
    for (const auto& [id, player] : global.players)
        if (player.connected) ids.push_back(id);
    return ids;
}

void announce_seated_players(HostState& host, ScreenProcs& screen) {
    for (uint32_t id : seated_ids(host.global)) screen.on_player_enter(id);
}

void mount_top(HostState& host) {
    if (Screen* top = host.screen_stack.top()) top->data->mount();
}

void destroy_top(ScreenStack& stack) {
    stack.entries[static_cast<size_t>(stack.count - 1)].data.reset();
    --stack.count;
}

} // namespace

void push_screen(HostState& host, ScreenId id) {
    ScreenStack& stack = host.screen_stack;
    if (stack.count >= SCREEN_STACK_CAPACITY) {
        LOG_WARN("Screen stack overflow!");
        return;
    }
    LOG_INFO("Pushing screen: %s (stack depth: %d -> %d)", screen_id_name(id), stack.count, stack.count + 1);
    stack.entries[static_cast<size_t>(stack.count)] = create_screen(id, host.random);
    stack.entries[static_cast<size_t>(stack.count)].instance = ++stack.screens_built;
    ++stack.count;
    broadcast_stop_music(host);
    ScreenProcs& top = *stack.top()->data;
    top.init(host.global);
    top.mount();
    announce_seated_players(host, top);
}

void pop_screen(HostState& host) {
    ScreenStack& stack = host.screen_stack;
    if (stack.count <= 1) {
        LOG_WARN("Cannot pop the last screen!");
        return;
    }
    LOG_INFO("Popping screen (stack depth: %d -> %d)", stack.count, stack.count - 1);
    destroy_top(stack);
    broadcast_stop_music(host);
    mount_top(host);
    announce_seated_players(host, *stack.top()->data);
}

void pop_to_screen(HostState& host, ScreenId target) {
    ScreenStack& stack = host.screen_stack;
    while (stack.count >= 2 && stack.top()->id != target) destroy_top(stack);
    broadcast_stop_music(host);
    mount_top(host);
}

void reset_current_screen(HostState& host) {
    ScreenStack& stack = host.screen_stack;
    Screen* top = stack.top();
    if (!top) return;
    LOG_INFO("Resetting current screen");
    broadcast_stop_music(host);
    const ScreenId id = top->id;
    top->data.reset();
    *top = create_screen(id, host.random);
    top->instance = ++stack.screens_built;
    top->data->init(host.global);
    announce_seated_players(host, *top->data);
}

void destroy_all_screens(HostState& host) {
    ScreenStack& stack = host.screen_stack;
    for (int i = stack.count - 1; i >= 0; --i) stack.entries[static_cast<size_t>(i)].data.reset();
}

} // namespace cog
