// Parsing a request head.
#include "door/http_request.h"

namespace cog::door {

bool equals_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

namespace {

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool is_token_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
           c == '.' || c == '!' || c == '#' || c == '$' || c == '%' || c == '&' || c == '\'' || c == '*' ||
           c == '+' || c == '^' || c == '`' || c == '|' || c == '~';
}

bool is_token(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text)
        if (!is_token_char(c)) return false;
    return true;
}

bool parse_request_line(std::string_view line, HttpHead& out) {
    const size_t first = line.find(' ');
    if (first == std::string_view::npos) return false;
    const size_t second = line.find(' ', first + 1);
    if (second == std::string_view::npos) return false;
    out.method = line.substr(0, first);
    out.target = line.substr(first + 1, second - first - 1);
    out.version = line.substr(second + 1);
    return is_token(out.method) && !out.target.empty() && out.target.front() == '/' &&
           (out.version == "HTTP/1.1" || out.version == "HTTP/1.0");
}

} // namespace

HeadError parse_head(std::string_view received, HttpHead& out) {
    const size_t end = received.find("\r\n\r\n");
    if (end == std::string_view::npos)
        return received.size() >= MAX_REQUEST_HEAD_BYTES ? HeadError::TooLarge : HeadError::Incomplete;
    if (end + 4 > MAX_REQUEST_HEAD_BYTES) return HeadError::TooLarge;
    out = HttpHead{};
    out.head_bytes = end + 4;
    std::string_view rest = received.substr(0, end + 2);
    bool first = true;
    while (!rest.empty()) {
        const size_t eol = rest.find("\r\n");
        const std::string_view line = rest.substr(0, eol);
        rest.remove_prefix(eol + 2);
        if (first) {
            if (!parse_request_line(line, out)) return HeadError::Malformed;
            first = false;
            continue;
        }
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos || !is_token(line.substr(0, colon))) return HeadError::Malformed;
        if (out.headers.size() >= MAX_REQUEST_HEADERS) return HeadError::TooLarge;
        out.headers.push_back({line.substr(0, colon), trim(line.substr(colon + 1))});
    }
    return first ? HeadError::Malformed : HeadError::None;
}

std::string_view HttpHead::header(std::string_view name) const {
    for (const auto& h : headers)
        if (equals_ignoring_case(h.name, name)) return h.value;
    return {};
}

bool HttpHead::header_has_token(std::string_view name, std::string_view token) const {
    for (const auto& h : headers) {
        if (!equals_ignoring_case(h.name, name)) continue;
        std::string_view list = h.value;
        while (!list.empty()) {
            const size_t comma = list.find(',');
            if (equals_ignoring_case(trim(list.substr(0, comma)), token)) return true;
            if (comma == std::string_view::npos) break;
            list.remove_prefix(comma + 1);
        }
    }
    return false;
}

} // namespace cog::door
