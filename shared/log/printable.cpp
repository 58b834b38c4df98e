// Terminal-safe copies of client text for the log.
#include "shared/log/printable.h"

namespace cog {

std::string printable(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) c = '?';
    }
    return out;
}

} // namespace cog
