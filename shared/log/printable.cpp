// Escaping client text for the log: one UTF-8 sequence at a time.
#include "shared/log/printable.h"

#include <cstdint>
#include <cstdio>

namespace cog {

namespace {

// Length of the well-formed UTF-8 sequence at the start of `text` and its code point; 0 when
// the first byte does not begin one (stray continuation, overlong, surrogate, past U+10FFFF, cut).
size_t utf8_sequence(std::string_view text, uint32_t& code_point) {
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t lead = byte(0);
    size_t length = 0;
    uint32_t minimum = 0;
    if (lead < 0x80) {
        code_point = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) length = 2, minimum = 0x80, code_point = lead & 0x1F;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3, minimum = 0x800, code_point = lead & 0x0F;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4, minimum = 0x10000, code_point = lead & 0x07;
    else return 0;
    if (text.size() < length) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        code_point = code_point << 6 | (byte(i) & 0x3F);
    }
    if (code_point < minimum || code_point > 0x10FFFF || (code_point >= 0xD800 && code_point <= 0xDFFF)) return 0;
    return length;
}

bool needs_escape(uint32_t code_point) {
    return code_point < 0x20 || code_point == 0x7F || (code_point >= 0x80 && code_point <= 0x9F) ||
           code_point == 0x2028 || code_point == 0x2029;
}

void append_escape(std::string& out, const char* format, unsigned value) {
    char escape[8];
    const int n = std::snprintf(escape, sizeof escape, format, value);
    out.append(escape, static_cast<size_t>(n));
}

} // namespace

std::string printable(std::string_view text) {
    std::string out;
    out.reserve(text.size() < MAX_PRINTABLE_BYTES ? text.size() : MAX_PRINTABLE_BYTES);
    size_t at = 0;
    while (at < text.size()) {
        uint32_t code_point = 0;
        const size_t length = utf8_sequence(text.substr(at), code_point);
        if (at + (length ? length : 1) > MAX_PRINTABLE_BYTES) break;
        if (length == 0) append_escape(out, "\\x%02x", static_cast<uint8_t>(text[at]));
        else if (code_point == '\\') out += "\\\\";
        else if (!needs_escape(code_point)) out.append(text.substr(at, length));
        else if (code_point < 0x80) append_escape(out, "\\x%02x", code_point);
        else append_escape(out, "\\u%04x", code_point);
        at += length ? length : 1;
    }
    if (at < text.size()) out += "...(" + std::to_string(text.size()) + " bytes)";
    return out;
}

} // namespace cog
