// Emptying a picture for reuse: its lists keep their storage.
#include "server/pictures/picture_snapshot.h"

namespace cog {

void PictureSnapshot::clear() {
    text.reset();
    commands.clear();
    copied.clear();
    body_bytes = 0;
    error = ProtocolError::None;
    hashed = false;
    index.clear();
}

} // namespace cog
