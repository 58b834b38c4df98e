// Helpers shared by the screen tests.
#include "tests/support/test_world.h"

namespace cog::test {

size_t ConsoleCapture::count(std::string_view needle) const {
    size_t n = 0;
    for (size_t at = text_.find(needle); at != std::string::npos; at = text_.find(needle, at + needle.size())) ++n;
    return n;
}

std::vector<DrawCommand> commands_of_kind(const DrawList& list, DrawCommandKind kind) {
    std::vector<DrawCommand> out;
    for (const DrawCommand& c : list)
        if (c.kind == kind) out.push_back(c);
    return out;
}

const DrawCommand* find_text(const DrawList& list, std::string_view text) {
    for (const DrawCommand& c : list)
        if (c.kind == DrawCommandKind::TEXT && c.text == text) return &c;
    return nullptr;
}

} // namespace cog::test
