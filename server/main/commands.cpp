// Text commands: the per-player settings command and the debug commands that drive the stack.
#include "server/main/commands.h"

#include "server/main/debug_access.h"
#include "server/main/host_state.h"
#include "shared/log/printable.h"
#include "server/main/sessions.h"
#include "shared/log/log.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>
#include <string>

namespace cog {

namespace {

// The only words a command reads: the command and its argument. Words are split at every single
// space, so consecutive spaces give empty words ("push  metro" has the empty argument); the
// line is not split any further, so a long line costs no more than a short one.
struct Words {
    std::string_view command;
    std::optional<std::string_view> argument; // none when the line has no space
};

Words first_two_words(std::string_view text) {
    const size_t space = text.find(' ');
    if (space == std::string_view::npos) return {text, std::nullopt};
    const std::string_view rest = text.substr(space + 1);
    return {text.substr(0, space), rest.substr(0, rest.find(' '))};
}

std::string lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::optional<ScreenId> screen_by_argument(const std::string& argument) {
    for (const ScreenNames& names : SCREEN_NAMES) {
        if (!names.push_name) continue;
        if (argument == names.push_name || argument == std::to_string(static_cast<int64_t>(names.id))) return names.id;
    }
    return std::nullopt;
}

// "<lobby|crawl|...|0|1|...>": every pushable screen's name, then every one's digit.
std::string push_arguments() {
    std::string names, digits;
    for (const ScreenNames& entry : SCREEN_NAMES) {
        if (!entry.push_name) continue;
        names += entry.push_name;
        names += '|';
        digits += std::to_string(static_cast<int64_t>(entry.id));
        digits += '|';
    }
    digits.pop_back();
    return "<" + names + digits + ">";
}

void warn_usage(std::string_view name);

// A player's words as the log may show them: an admin claim never shows what was offered, in any
// mode (a token meant for another room is still somebody's secret), and the room's own token is
// masked wherever else it was typed.
std::string shown_words(const HostState& host, std::string_view text) {
    if (may_carry_admin_token(text)) return "admin ***";
    return printable(without_secret(text, host.debug_access.admin_token));
}

void command_push(HostState& host, uint32_t id, const Words& words) {
    if (!words.argument) {
        warn_usage("push");
        return;
    }
    const std::optional<ScreenId> screen = screen_by_argument(lower(*words.argument));
    if (!screen) {
        LOG_WARN("%s screen not found.", shown_words(host, *words.argument).c_str());
        return;
    }
    push_screen(host, *screen);
    send_system_message(host, "Screen found", id);
}

void command_role(HostState& host, uint32_t id, const Words& words) {
    if (!words.argument) {
        warn_usage("role");
        return;
    }
    const std::string argument = lower(*words.argument);
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

void command_info(HostState& host, uint32_t id, const Words&) {
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

void set_switch(HostState& host, uint32_t id, bool GlobalState::*field, bool on, const char* reply) {
    host.global.*field = on;
    send_system_message(host, reply, id);
}

// The debug commands, in the order the "Available:" line lists them.
struct DebugCommand {
    const char* name;
    std::string (*usage)(); // the arguments shown by the usage warning; nullptr: takes none
    void (*run)(HostState& host, uint32_t id, const Words& words);
};

const DebugCommand DEBUG_COMMANDS[] = {
    {"push", push_arguments, command_push},
    {"pop", nullptr, [](HostState& host, uint32_t, const Words&) { pop_screen(host); }},
    {"reset", nullptr, [](HostState& host, uint32_t, const Words&) { reset_current_screen(host); }},
    {"show_cursor", nullptr,
     [](HostState& host, uint32_t id, const Words&) { set_switch(host, id, &GlobalState::show_cursor, true, "Cursor visible"); }},
    {"hide_cursor", nullptr,
     [](HostState& host, uint32_t id, const Words&) { set_switch(host, id, &GlobalState::show_cursor, false, "Cursor hidden"); }},
    {"show_names", nullptr,
     [](HostState& host, uint32_t id, const Words&) { set_switch(host, id, &GlobalState::show_names, true, "Names visible"); }},
    {"hide_names", nullptr,
     [](HostState& host, uint32_t id, const Words&) { set_switch(host, id, &GlobalState::show_names, false, "Names hidden"); }},
    {"role", [] { return std::string("<masked|cop>"); }, command_role},
    {"info", nullptr, command_info},
};

const DebugCommand* find_debug_command(const std::string& name) {
    for (const DebugCommand& command : DEBUG_COMMANDS)
        if (name == command.name) return &command;
    return nullptr;
}

void warn_usage(std::string_view name) {
    const DebugCommand* command = find_debug_command(std::string(name));
    if (!command || !command->usage) return;
    LOG_WARN("Usage: %s %s", command->name, command->usage().c_str());
}

std::string available_commands() {
    std::string line;
    for (const DebugCommand& command : DEBUG_COMMANDS) {
        if (!line.empty()) line += ", ";
        line += command.name;
    }
    return line;
}

void command_unknown(HostState& host, uint32_t id, const std::string& command) {
    send_system_message(host, "Unknown command", id);
    LOG_WARN("Unknown debug command: %s", shown_words(host, command).c_str());
    LOG_WARN("Available: %s", available_commands().c_str());
}

} // namespace

void handle_settings_command(HostState& host, uint32_t id, std::string_view text) {
    PlayerConnection* record = find_player(host.global, id);
    if (!record) return;
    const std::string command = lower(first_two_words(text).command);
    if (command == "tm" || command == "toggle_mouse") {
        record->show_mouse = !record->show_mouse;
        LOG_INFO("Player %u toggled mouse pointers: %s", id, record->show_mouse ? "true" : "false");
        return;
    }
    handle_debug_command(host, id, text);
}

void handle_debug_command(HostState& host, uint32_t id, std::string_view text) {
    const Words words = first_two_words(text);
    const std::string name = lower(words.command);
    LOG_INFO("Player %u debug command: %s", id, shown_words(host, text).c_str());
    if (is_admin_claim(host.debug_access, name)) {
        claim_admin(host, id, words.argument);
        return;
    }
    if (!debug_command_allowed(host, id)) return;
    if (const DebugCommand* command = find_debug_command(name)) command->run(host, id, words);
    else command_unknown(host, id, name);
}

} // namespace cog
