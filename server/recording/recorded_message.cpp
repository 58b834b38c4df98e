// Recorded messages: re-encoded, admin claims masked; and the claims unmasked for a replay.
#include "server/recording/recorded_message.h"

#include "server/seats/secret_token.h"
#include "shared/protocol/json.h"

namespace cog {

namespace {

// "admin <token>" keeps its words and whether the token was the room's, which is all the host
// acts on; any other line starting with "admin" is no claim, and keeps only that word.
std::string masked_command(std::string_view line, std::string_view admin_token) {
    constexpr size_t word = 5; // "admin"
    if (line.size() <= word || line[word] != ' ') return line.size() <= word ? "admin" : "admin***";
    std::string_view offered = line.substr(word + 1);
    offered = offered.substr(0, offered.find(' '));
    std::string masked = "admin ";
    masked += secret_token_matches(admin_token, offered) ? RECORDED_RIGHT_TOKEN : RECORDED_WRONG_TOKEN;
    return masked;
}

std::string command_body(std::string_view line) {
    ClientMessage message;
    message.kind = ClientMessageKind::SETTINGS_COMMAND;
    message.settings_command = line;
    std::string body;
    write_json(body, message);
    return body;
}

} // namespace

std::string_view recorded_message(std::string_view body, std::string_view admin_token, std::string& scratch,
                                  std::pmr::monotonic_buffer_resource& strings) {
    ClientMessage message;
    const bool decoded = !read_json(body, message, &strings);
    std::string masked;
    const bool command = decoded && message.kind == ClientMessageKind::SETTINGS_COMMAND;
    if (command) {
        // The room's token typed anywhere else in a line ("/admin TOKEN", "push TOKEN", the bare
        // token) is kept as "***": the host's answer to such a line never depends on the token.
        masked = may_carry_admin_token(message.settings_command)
                     ? masked_command(message.settings_command, admin_token)
                     : without_secret(message.settings_command, admin_token);
    }
    const bool rewritten = command && masked != message.settings_command;
    if (rewritten) message.settings_command = masked;
    scratch.clear();
    if (decoded) write_json(scratch, message);
    strings.release();
    return rewritten || (decoded && scratch.size() < body.size()) ? std::string_view(scratch) : body;
}

std::string replayed_message(std::string_view recorded, std::string_view admin_token) {
    static const std::string right_claim = command_body(std::string("admin ").append(RECORDED_RIGHT_TOKEN));
    if (recorded != right_claim) return std::string(recorded);
    return command_body(std::string("admin ").append(admin_token));
}

} // namespace cog
