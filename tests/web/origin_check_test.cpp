// Which pages may open a WebSocket: the host's own page exactly, the allowed origins exactly.
#include "server/web/origin_check.h"

#include <gtest/gtest.h>

namespace cog::web {
namespace {

struct OriginCase {
    const char* origin;
    const char* host;
    std::vector<std::string> allowed;
    bool expected;
};

TEST(OriginCheck, OnlyTheSameOriginOrAnAllowedOneExactly) {
    const std::vector<std::string> front = {"https://front.example/"};
    const OriginCase cases[] = {
        {"", "127.0.0.1:8080", {}, true}, // a native client sends none
        {"http://127.0.0.1:8080", "127.0.0.1:8080", {}, true},
        {"HTTP://Game.Example.ORG:8080", "game.example.org:8080", {}, true},
        {"https://game.example.org", "game.example.org:443", {}, true},
        {"http://game.example.org:80/", "game.example.org", {}, true},
        {"http://127.0.0.1:8080.example.org", "127.0.0.1:8080", {}, false}, // prefix
        {"http://evil127.0.0.1:8080", "127.0.0.1:8080", {}, false},         // suffix
        {"http://127.0.0.1:8081", "127.0.0.1:8080", {}, false},             // port
        {"http://127.0.0.1", "127.0.0.1:8080", {}, false},
        {"http://127.0.0.1:8080/page", "127.0.0.1:8080", {}, false},
        {"ftp://127.0.0.1:8080", "127.0.0.1:8080", {}, false},
        {"null", "127.0.0.1:8080", {}, false},
        {"http://127.0.0.1:8080", "", {}, false},
        {"https://front.example", "game.example.org", front, true},
        {"HTTPS://FRONT.EXAMPLE/", "game.example.org", front, true},
        {"https://front.example.evil", "game.example.org", front, false},
        {"https://front.exampl", "game.example.org", front, false},
        {"https://sub.front.example", "game.example.org", front, false},
        {"http://front.example", "game.example.org", front, false},
        {"https://front.example:8443", "game.example.org", front, false},
        {"null", "game.example.org", {"*"}, true},
        {"http://anything.example", "game.example.org", {"*"}, true},
    };
    for (const OriginCase& c : cases)
        EXPECT_EQ(origin_allowed(c.origin, c.host, c.allowed), c.expected) << c.origin << " to " << c.host;
}

} // namespace
} // namespace cog::web
