// Names of the screen identifiers, as the log prints them.
#include "server/screens/screen/screen.h"

namespace cog {

const char* screen_id_name(ScreenId id) {
    for (const ScreenNames& names : SCREEN_NAMES)
        if (names.id == id) return names.log_name;
    return "UNKNOWN";
}

} // namespace cog
