// Variable-length fields and digests of the recording format.
#include "server/recording/recording_format.h"

#include <xxhash.h>

namespace cog {

void put_varint(std::string& out, uint64_t value) {
    while (value >= 0x80) {
        out.push_back(static_cast<char>(value | 0x80));
        value >>= 7;
    }
    out.push_back(static_cast<char>(value));
}

void put_signed(std::string& out, int64_t value) {
    put_varint(out, (static_cast<uint64_t>(value) << 1) ^ static_cast<uint64_t>(value >> 63));
}

void put_bytes(std::string& out, std::string_view bytes) {
    put_varint(out, bytes.size());
    out.append(bytes);
}

uint8_t RecordCursor::byte() {
    if (done()) {
        ok = false;
        return 0;
    }
    return static_cast<uint8_t>(data[at++]);
}

uint64_t RecordCursor::varint() {
    uint64_t value = 0;
    for (int shift = 0; shift < 64; shift += 7) {
        const uint8_t b = byte();
        if (!ok) return 0;
        value |= static_cast<uint64_t>(b & 0x7F) << shift;
        if (!(b & 0x80)) return value;
    }
    ok = false;
    return 0;
}

int64_t RecordCursor::signed_varint() {
    const uint64_t v = varint();
    return static_cast<int64_t>(v >> 1) ^ -static_cast<int64_t>(v & 1);
}

std::string_view RecordCursor::bytes() {
    const uint64_t n = varint();
    if (!ok || n > data.size() - at) {
        ok = false;
        return {};
    }
    const std::string_view out = data.substr(at, n);
    at += n;
    return out;
}

uint64_t picture_digest(std::string_view body) { return XXH3_64bits(body.data(), body.size()); }

uint16_t command_digest(std::string_view command) {
    return static_cast<uint16_t>(XXH3_64bits(command.data(), command.size()));
}

void put_u16(std::string& out, uint16_t value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>(value >> 8));
}

uint16_t RecordCursor::u16() {
    const uint16_t low = byte();
    return static_cast<uint16_t>(low | byte() << 8);
}

std::string_view command_text(std::string_view body, std::span<const uint32_t> starts, size_t i) {
    return body.substr(starts[i], starts[i + 1] - starts[i]);
}

} // namespace cog
