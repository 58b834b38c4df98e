// The registry: a screen identifier becomes a fresh screen record of that kind.
#include "server/screens/screen/screen.h"
#include "server/screens/screen/screen_kinds.h"

namespace cog {

Screen create_screen(ScreenId id, Random& random) {
    switch (id) {
#define COG_SCREEN_CASE(kind, value, push_name, factory) \
    case ScreenId::kind: return {factory, id};
        COG_SCREEN_LIST(COG_SCREEN_CASE)
#undef COG_SCREEN_CASE
    }
    return {create_lobby(), ScreenId::LOBBY};
}

} // namespace cog
