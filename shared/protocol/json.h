// JSON text of the wire records: an exact writer and a bounded JSON5 reader.
#pragma once

#include "shared/protocol/messages.h"

#include <cstddef>
#include <memory_resource>
#include <string>
#include <string_view>

namespace cog {

// Appends the exact compact JSON text of a message to `out`.
// f32 values are written with exactly 8 decimals (the exact value rounded, ties to even); NaN and
// the infinities have no such form and are written as 0.00000000. In strings, each byte that does
// not start a valid UTF-8 sequence is written as \xNN; overlong forms, encoded surrogates, code
// points above U+10FFFF and truncated sequences count as invalid.
void write_json(std::string& out, const ServerMessage& message);
void write_json(std::string& out, const ClientMessage& message);

enum class JsonErrorKind {
    None,
    Syntax,          // not JSON5
    Type_Mismatch,   // a value of the wrong type or out of range for its field
    Duplicate_Key,   // a key given twice in one object
    Too_Deep,        // nesting deeper than 32 levels
    Not_Object,      // the top level is not an object
    Trailing_Data,   // something after the top-level value
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
JsonError read_json(std::string_view text, ServerMessage& out, std::pmr::memory_resource* strings);

} // namespace cog
