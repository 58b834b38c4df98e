// The registry: a screen identifier becomes a fresh screen record of that kind.
#include "server/screens/screen/screen.h"
#include "server/screens/screen/screen_kinds.h"

namespace cog {

Screen create_screen(ScreenId id, Random& random) {
    switch (id) {
    case ScreenId::LOBBY: return {create_lobby(), id};
    case ScreenId::CRAWL: return {create_crawl(), id};
    case ScreenId::ROLE_REVEAL: return {create_role_reveal(), id};
    case ScreenId::GAME_SELECT: return {create_game_select(), id};
    case ScreenId::TYPEWRITER: return {create_typewriter(random), id};
    case ScreenId::DOORS: return {create_doors(random), id};
    case ScreenId::METRO: return {create_metro(), id};
    case ScreenId::PASSWORD: return {create_password(random), id};
    case ScreenId::END: return {create_end(), id};
    }
    return {create_lobby(), ScreenId::LOBBY};
}

} // namespace cog
