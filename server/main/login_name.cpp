// Normalising the name a client logs in with.
#include "server/main/host_state.h"
#include "server/main/sessions.h"

namespace cog {

namespace {
bool is_continuation_byte(unsigned char byte) { return (byte & 0xC0u) == 0x80u; }
} // namespace

std::string login_name(std::string_view player_name) {
    // Long names would grow every viewer's picture (labels are drawn for everyone), so they are
    // cut; cutting inside a character would leave an invalid byte behind.
    if (player_name.size() > MAX_NAME_BYTES) {
        size_t cut = MAX_NAME_BYTES;
        while (cut > 0 && is_continuation_byte(static_cast<unsigned char>(player_name[cut]))) --cut;
        player_name = player_name.substr(0, cut);
    }
    if (player_name.empty()) return "Player";
    return std::string(player_name);
}

} // namespace cog
