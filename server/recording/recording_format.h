// The bytes of a game recording: a header, then one record after another, each a tag and its
// fields as variable-length integers; the whole stream is zstd-compressed on disk.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace cog {

inline constexpr std::string_view RECORDING_MAGIC = "COGWELL-RECORDING-2\n";

enum class RecordTag : uint8_t {
    START = 'S',       // seed, debug-command mode, admin token (the game's own secrets)
    FRAME = 'F',       // a frame begins
    WALL_CLOCK = 'W',  // a wall-clock reading, as the change from the previous one
    MONO_CLOCK = 'T',  // a monotonic reading, as the change from the previous one
    LOGIN = 'L',       // previous id, name, the seat given, how the secret compared (never the secret)
    MESSAGE = 'M',     // player id, the message's bytes
    DROP = 'D',        // player id, reason
    PICTURE = 'P',     // player id, digest of the body, count, 16-bit digest of each command
    FRAME_END = 'E',
};

void put_varint(std::string& out, uint64_t value);
void put_signed(std::string& out, int64_t value); // zigzag, so small changes either way stay short
void put_bytes(std::string& out, std::string_view bytes); // length, then the bytes
void put_u16(std::string& out, uint16_t value);          // two bytes, low first

// Reads fields in order; after a short or malformed field `ok` is false and every later read
// returns zero, so a cut recording is detected without reading past its end.
struct RecordCursor {
    std::string_view data;
    size_t at = 0;
    bool ok = true;
    bool done() const { return !ok || at >= data.size(); }
    uint8_t byte();
    uint64_t varint();
    int64_t signed_varint();
    std::string_view bytes();
    uint16_t u16();
};

// 64-bit digest of a picture body, which decides whether two pictures are the same, and 16-bit
// digests of its commands, which only point at the first command that differs. Changed commands
// are what a recording of an animated screen mostly holds, so they are kept short.
uint64_t picture_digest(std::string_view body);
uint16_t command_digest(std::string_view command);
// The body of command i given the encoder's offsets (each command's start, then the end).
std::string_view command_text(std::string_view body, std::span<const uint32_t> starts, size_t i);

} // namespace cog
