// JSON text of the wire records: an exact writer and a bounded JSON5 reader.
#pragma once

#include "shared/protocol/messages.h"

#include <cstddef>
#include <cstdint>
#include <memory_resource>
#include <string>
#include <string_view>
#include <memory>
#include <utility>
#include <vector>

namespace cog {

// Appends the exact compact JSON text of a message to `out`.
// f32 values are written with exactly 8 decimals (the exact value rounded, ties to even); NaN and
// the infinities have no such form and are written as 0.00000000. In strings, each byte that does
// not start a valid UTF-8 sequence is written as \xNN; overlong forms, encoded surrogates, code
// points above U+10FFFF and truncated sequences count as invalid.
void write_json(std::string& out, const ServerMessage& message);
void write_json(std::string& out, const ClientMessage& message);

// Picture text storage that grows without writing zeros into the bytes it is about to fill.
template <typename T>
struct UninitialisedAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = UninitialisedAllocator<U>;
    };
    UninitialisedAllocator() = default;
    template <typename U>
    UninitialisedAllocator(const UninitialisedAllocator<U>&) {}
    template <typename U>
    void construct(U* p) {
        ::new (static_cast<void*>(p)) U; // default-initialised: left as it is
    }
    // GCC 12 at -O2 misreads the vector's growth through this as a write past the new storage
    // (its known false -Wstringop-overflow on vector growth); the address sanitizer and the fuzzers
    // see none.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wstringop-overflow"
#endif
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
};
using PictureBuffer = std::vector<char, UninitialisedAllocator<char>>;

// Appends the JSON text of one draw command exactly as write_json writes it inside a
// DRAW_COMMANDS message, so that a picture may be put together from commands written once.
void write_command_json(PictureBuffer& out, const DrawCommand& command);

// How many leading commands two lists share.
size_t equal_prefix(const DrawList& a, const DrawList& b);

// Two commands that have the same JSON text (floats compared bit for bit, texts by content).
bool same_command(const DrawCommand& a, const DrawCommand& b);

enum class JsonErrorKind {
    None,
    Syntax,          // not JSON5
    Type_Mismatch,   // a value of the wrong type or out of range for its field
    Duplicate_Key,   // a key given twice in one object
    Too_Deep,        // nesting deeper than 32 levels
    Not_Object,      // the top level is not an object
    Trailing_Data,   // something after the top-level value
    Too_Many,        // more draw commands than the reader was told to accept
};

struct JsonError {
    JsonErrorKind kind = JsonErrorKind::None;
    size_t offset = 0; // byte offset in the text where the problem was found
    explicit operator bool() const { return kind != JsonErrorKind::None; }
};

// Readable text such as "Duplicate_Key at byte 17".
std::string json_error_text(const JsonError& error);

// Decodes JSON5 text into a record. Unknown keys are skipped, absent keys keep zero values.
// Strings are allocated from `strings`. On error the record must not be used.
JsonError read_json(std::string_view text, ClientMessage& out, std::pmr::memory_resource* strings);
// `max_commands` bounds the command list: a longer one stops the decoding there as Too_Many, so
// a message can never make the list grow past what its reader is prepared to hold.
JsonError read_json(std::string_view text, ServerMessage& out, std::pmr::memory_resource* strings,
                    size_t max_commands = SIZE_MAX);
// The same bound on the new commands of a change, and on its kept runs (three numbers each).
JsonError read_json(std::string_view text, PictureChange& out, std::pmr::memory_resource* strings,
                    size_t max_commands = SIZE_MAX);

} // namespace cog
