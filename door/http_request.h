// Reading an HTTP/1.1 request's head from the bytes received so far, without copying the headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace cog::door {

inline constexpr size_t MAX_REQUEST_HEAD_BYTES = 8192;
inline constexpr size_t MAX_REQUEST_HEADERS = 64;

enum class HeadError : uint8_t { None, Incomplete, TooLarge, Malformed };

struct HttpHeader {
    std::string_view name, value;
};

// Views into the received bytes, valid while they are kept.
struct HttpHead {
    std::string_view method, target, version;
    std::vector<HttpHeader> headers;
    size_t head_bytes = 0; // the request line and headers with the blank line after them
    // The first header of that name (any case), or empty.
    std::string_view header(std::string_view name) const;
    // A header listing comma-separated tokens (Connection, Upgrade) holds `token`, in any case.
    bool header_has_token(std::string_view name, std::string_view token) const;
};

HeadError parse_head(std::string_view received, HttpHead& out);

bool equals_ignoring_case(std::string_view a, std::string_view b);

} // namespace cog::door
