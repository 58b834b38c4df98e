// Names of the screen identifiers, as the log prints them.
#include "server/screens/screen/screen.h"

namespace cog {

const char* screen_id_name(ScreenId id) {
    switch (id) {
    case ScreenId::LOBBY: return "LOBBY";
    case ScreenId::CRAWL: return "CRAWL";
    case ScreenId::ROLE_REVEAL: return "ROLE_REVEAL";
    case ScreenId::GAME_SELECT: return "GAME_SELECT";
    case ScreenId::TYPEWRITER: return "TYPEWRITER";
    case ScreenId::DOORS: return "DOORS";
    case ScreenId::METRO: return "METRO";
    case ScreenId::PASSWORD: return "PASSWORD";
    case ScreenId::END: return "END";
    }
    return "UNKNOWN";
}

} // namespace cog
