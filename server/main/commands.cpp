// Text commands: the per-player settings command and the debug commands that drive the stack.
#include "server/main/client_input.h"
#include "server/main/host_state.h"
#include "shared/log/printable.h"
#include "server/main/sessions.h"
#include "shared/log/log.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace cog {

namespace {

// Split at every single space: consecutive spaces give empty words.
std::vector<std::string_view> split_words(std::string_view text) {
    std::vector<std::string_view> words;
    size_t start = 0;
    for (;;) {
        const size_t space = text.find(' ', start);
        if (space == std::string_view::npos) {
            words.push_back(text.substr(start));
            return words;
        }
        words.push_back(text.substr(start, space - start));
        start = space + 1;
    }
}

std::string lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::optional<ScreenId> screen_by_argument(const std::string& argument) {
    static const struct {
        const char* name;
        const char* digit;
        ScreenId id;
    } table[] = {
        {"lobby", "0", ScreenId::LOBBY},         {"crawl", "1", ScreenId::CRAWL},
        {"role_reveal", "2", ScreenId::ROLE_REVEAL}, {"game_select", "3", ScreenId::GAME_SELECT},
        {"typewriter", "4", ScreenId::TYPEWRITER}, {"doors", "5", ScreenId::DOORS},
        {"metro", "6", ScreenId::METRO},         {"password", "7", ScreenId::PASSWORD},
    };
    for (const auto& entry : table)
        if (argument == entry.name || argument == entry.digit) return entry.id;
    return std::nullopt;
}

void command_push(HostState& host, uint32_t id, const std::vector<std::string_view>& words) {
    if (words.size() < 2) {
        LOG_WARN("Usage: push <lobby|crawl|role_reveal|game_select|typewriter|doors|metro|password|0|1|2|3|4|5|6|7>");
        return;
    }
    const std::optional<ScreenId> screen = screen_by_argument(lower(words[1]));
    if (!screen) {
        LOG_WARN("%s screen not found.", printable(words[1]).c_str());
        return;
    }
    push_screen(host, *screen);
    send_system_message(host, "Screen found", id);
}

void command_role(HostState& host, uint32_t id, const std::vector<std::string_view>& words) {
    if (words.size() < 2) {
        LOG_WARN("Usage: role <masked|cop>");
        return;
    }
    const std::string argument = lower(words[1]);
    PlayerRole role;
    if (argument == "masked") role = PlayerRole::MASKED;
    else if (argument == "cop") role = PlayerRole::COP;
    else {
        LOG_WARN("Invalid role. Use: masked or cop");
        return;
    }
    host.global.roles[id] = role;
    LOG_INFO("Player %u role changed to: %s", id, player_role_name(role));
}

void command_info(HostState& host, uint32_t id) {
    int connected = 0;
    for (const auto& entry : host.global.players) connected += entry.second.connected ? 1 : 0;
    const Screen* top = host.screen_stack.top();
    char text[256];
    std::snprintf(text, sizeof text,
                  "=== SERVER INFO ===\nPlayers: %d connected\nStack: %d/%d screens\nCurrent: %s\nWorld: %dx%d\nRate: %d TPS",
                  connected, host.screen_stack.count, SCREEN_STACK_CAPACITY, top ? screen_id_name(top->id) : "",
                  1280, 720, WORLD_TICK_RATE);
    send_system_message(host, text, id);
}

void command_unknown(HostState& host, uint32_t id, const std::string& command) {
    send_system_message(host, "Unknown command", id);
    LOG_WARN("Unknown debug command: %s", printable(command).c_str());
    LOG_WARN("Available: push, pop, reset, show_cursor, hide_cursor, show_names, hide_names, role, info");
}

} // namespace

void handle_settings_command(HostState& host, uint32_t id, std::string_view text) {
    PlayerConnection* record = find_player(host.global, id);
    if (!record) return;
    const std::string command = lower(split_words(text)[0]);
    if (command == "tm" || command == "toggle_mouse") {
        record->show_mouse = !record->show_mouse;
        LOG_INFO("Player %u toggled mouse pointers: %s", id, record->show_mouse ? "true" : "false");
        return;
    }
    handle_debug_command(host, id, text);
}

void handle_debug_command(HostState& host, uint32_t id, std::string_view text) {
    LOG_INFO("Player %u debug command: %s", id, printable(text).c_str());
    const std::vector<std::string_view> words = split_words(text);
    const std::string command = lower(words[0]);
    if (command == "pop") pop_screen(host);
    else if (command == "push") command_push(host, id, words);
    else if (command == "reset") reset_current_screen(host);
    else if (command == "show_cursor") {
        host.global.show_cursor = true;
        send_system_message(host, "Cursor visible", id);
    } else if (command == "hide_cursor") {
        host.global.show_cursor = false;
        send_system_message(host, "Cursor hidden", id);
    } else if (command == "show_names") {
        host.global.show_names = true;
        send_system_message(host, "Names visible", id);
    } else if (command == "hide_names") {
        host.global.show_names = false;
        send_system_message(host, "Names hidden", id);
    } else if (command == "role") command_role(host, id, words);
    else if (command == "info") command_info(host, id);
    else command_unknown(host, id, command);
}

} // namespace cog
