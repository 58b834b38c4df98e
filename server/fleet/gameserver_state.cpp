// Picking the state out of the GameServer's JSON without building the whole document.
#include "server/fleet/gameserver_state.h"

#include <cctype>

namespace cog {

namespace {
// The position just past `"key"` and the colon after it, searching from `from`; npos if absent.
size_t after_key(std::string_view text, std::string_view key, size_t from) {
    std::string quoted;
    quoted.reserve(key.size() + 2);
    quoted.append(1, '"').append(key).append(1, '"');
    for (size_t at = text.find(quoted, from); at != std::string_view::npos; at = text.find(quoted, at + 1)) {
        size_t p = at + quoted.size();
        while (p < text.size() && std::isspace(static_cast<unsigned char>(text[p]))) ++p;
        if (p < text.size() && text[p] == ':') return p + 1;
    }
    return std::string_view::npos;
}
} // namespace

std::string gameserver_state(std::string_view answer) {
    const size_t status = after_key(answer, "status", 0);
    if (status == std::string_view::npos) return {};
    size_t p = after_key(answer, "state", status);
    if (p == std::string_view::npos) return {};
    while (p < answer.size() && std::isspace(static_cast<unsigned char>(answer[p]))) ++p;
    if (p >= answer.size() || answer[p] != '"') return {};
    const size_t end = answer.find('"', p + 1);
    if (end == std::string_view::npos || end - p - 1 > 64) return {};
    std::string state(answer.substr(p + 1, end - p - 1));
    for (char c : state)
        if (!std::isalnum(static_cast<unsigned char>(c))) return {};
    return state;
}

} // namespace cog
