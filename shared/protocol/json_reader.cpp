// Bounded JSON5 reader for the wire records, driven by the field lists.
//
// Known records are read by functions whose nesting follows the records (at most four levels);
// values under unknown keys are skipped by an iterative scanner. Nesting is counted across both
// and limited to MAX_DEPTH. Nothing is allocated except the decoded strings, each taken once
// from the caller's memory resource at its exact decoded length, which never exceeds its length
// in the input.
//
// Choices where JSON5 and the records leave room:
// - A key given twice is an error for the record's own fields. A repeated unknown key is skipped
//   like any unknown key: catching it would need memory in proportion to the object.
// - Integer fields take only integer forms (decimal or 0x hex, optional sign) within the field's
//   range; 1.0, 1e2, Infinity, NaN, strings and null are type mismatches.
// - Float fields take every number form but must end up finite: Infinity, NaN and decimals beyond
//   the f32 range are type mismatches; decimals too small for an f32 read as 0.
// - `keys` and `color` may be shorter than their fixed size (the rest stays zero), never longer.
// - A \u escape of a surrogate without its partner reads as U+FFFD.
// - Unquoted keys are ASCII identifiers (any byte above 0x7F is also allowed in them); escapes
//   inside unquoted keys are not supported.
#include "shared/protocol/json.h"
#include "shared/protocol/json_fields.h"
#include "shared/protocol/json_lexer.h"

#include <cstring>
#include <limits>
#include <type_traits>

namespace cog {

namespace {

using namespace json_fields;
using namespace json_lexing;

// `"name":` for field I of Rec, as compact text writes it.
template <typename Rec, size_t I>
constexpr auto quoted_key_text = [] {
    constexpr std::string_view name = std::get<I>(Fields<Rec>::list).name;
    std::array<char, name.size() + 3> text{};
    text[0] = '"';
    for (size_t i = 0; i < name.size(); ++i) text[1 + i] = name[i];
    text[name.size() + 1] = '"';
    text[name.size() + 2] = ':';
    return text;
}();

template <typename Rec>
constexpr auto quoted_keys = []<size_t... I>(std::index_sequence<I...>) {
    return std::array<std::string_view, sizeof...(I)>{
        std::string_view(quoted_key_text<Rec, I>.data(), quoted_key_text<Rec, I>.size())...};
}(std::make_index_sequence<field_count<Rec>>{});

// Binds JSON5 values to the records' fields, as their field lists describe them.
class Reader : private JsonLexer {
public:
    Reader(std::string_view text, std::pmr::memory_resource* strings, size_t max_commands = SIZE_MAX)
        : JsonLexer(text, strings), max_commands_(max_commands) {}

    template <Record Rec>
    JsonError read_top(Rec& out) {
        // A UTF-8 byte order mark before the text is not part of it.
        if (end_ - p_ >= 3 && std::memcmp(p_, "\xEF\xBB\xBF", 3) == 0) p_ += 3;
        if (!skip_space()) return error_;
        if (p_ == end_) return fail(JsonErrorKind::Syntax), error_;
        if (*p_ != '{') return fail(JsonErrorKind::Not_Object), error_;
        if (!read_record(out, 0)) return error_;
        if (!skip_space()) return error_;
        if (p_ != end_) fail(JsonErrorKind::Trailing_Data);
        return error_;
    }

private:
    // `depth` is the nesting level of the container holding the value.
    template <typename T>
    bool read_value(T& out, int depth) {
        if (!skip_space()) return false;
        if (p_ == end_) return fail(JsonErrorKind::Syntax);
        if constexpr (std::is_same_v<T, bool>) {
            return read_bool(out);
        } else if constexpr (std::is_same_v<T, float>) {
            if (!starts_number()) return mismatch_or_syntax();
            return read_float(out);
        } else if constexpr (std::is_enum_v<T> || std::is_integral_v<T>) {
            if (!starts_number()) return mismatch_or_syntax();
            return read_integer(out);
        } else if constexpr (std::is_same_v<T, std::string_view>) {
            if (*p_ != '"' && *p_ != '\'') return mismatch_or_syntax();
            return read_string_value(out);
        } else if constexpr (is_optional<T>) {
            return read_value(out.emplace(), depth);
        } else if constexpr (std::is_same_v<T, Color>) {
            // Like the letter keys, a shorter array leaves the rest zero; a longer one is refused.
            out = Color{};
            return read_array(depth + 1, out.size(), [&](size_t i) {
                uint8_t v = 0;
                if (!skip_space()) return false;
                if (!starts_number()) return mismatch_or_syntax();
                if (!read_integer(v)) return false;
                out[i] = v;
                return true;
            });
        } else if constexpr (std::is_same_v<T, std::array<InputKey, LETTER_KEY_COUNT>>) {
            out = {};
            return read_array(depth + 1, out.size(), [&](size_t i) {
                if (!skip_space()) return false;
                return read_record(out[i], depth + 1);
            });
        } else if constexpr (std::is_same_v<T, DrawList>) {
            return read_command_list(out, depth, [&](DrawCommand& c) { return read_record(c, depth + 1); });
        } else if constexpr (std::is_same_v<T, DrawEdits>) {
            // Each edit is a command's members, with a note of which ones were given.
            return read_command_list(
                out, depth, [&](DrawEdit& e) { return read_record(e.values, depth + 1, &e.present); });
        } else if constexpr (std::is_same_v<T, KeptRuns>) {
            // Also the places of edits, whose count the change checks against its edits.
            // Three numbers per kept run, and a run keeps at least one command: a list longer
            // than three per command the reader accepts is refused before it is stored.
            out.clear();
            const size_t limit = max_commands_ > SIZE_MAX / 3 ? SIZE_MAX : max_commands_ * 3;
            return read_array(depth + 1, std::numeric_limits<size_t>::max(), [&](size_t count) {
                if (count >= limit) return fail(JsonErrorKind::Too_Many);
                if (!skip_space()) return false;
                if (!starts_number()) return mismatch_or_syntax();
                uint32_t v = 0;
                if (!read_integer(v)) return false;
                try {
                    out.push_back(v);
                } catch (...) {
                    return fail(JsonErrorKind::Syntax);
                }
                return true;
            });
        } else {
            return read_record(out, depth);
        }
    }

    // A list of at most max_commands_ elements; `read_one` reads each just after it is added.
    template <typename List, typename ReadOne>
    bool read_command_list(List& out, int depth, ReadOne read_one) {
        out.clear();
        return read_array(depth + 1, std::numeric_limits<size_t>::max(), [&](size_t count) {
            if (count >= max_commands_) return fail(JsonErrorKind::Too_Many);
            if (!skip_space()) return false;
            try {
                out.emplace_back();
            } catch (...) {
                return fail(JsonErrorKind::Syntax);
            }
            return read_one(out.back());
        });
    }

    template <Record Rec, size_t... I>
    bool read_field(size_t index, Rec& record, int depth, std::index_sequence<I...>) {
        bool ok = false;
        (void)((index == I ? (ok = read_value(record.*(std::get<I>(Fields<Rec>::list).member), depth), true) : false) || ...);
        return ok;
    }

    // Reads an object at p_ into `record`; `depth` is the nesting level of its container. The
    // members found are noted in `present` (bit I for field I), when asked for.
    template <Record Rec>
    bool read_record(Rec& record, int depth, uint32_t* present = nullptr) {
        constexpr size_t count = field_count<Rec>;
        constexpr auto& names = field_names<Rec>;
        static_assert(count <= 32);
        if (!open('{', depth + 1)) return false;
        uint32_t seen = 0;
        size_t next = 0; // compact text from our writer lists the members in order
        for (;;) {
            if (!skip_space()) return false;
            if (p_ < end_ && *p_ == '}') {
                ++p_;
                return true;
            }
            const char* key_at = p_;
            size_t index = count;
            // Compact text lists the members in order: try the next field's `"name":` first.
            if (next < count) {
                const std::string_view quoted = quoted_keys<Rec>[next];
                if (static_cast<size_t>(end_ - p_) >= quoted.size() &&
                    std::memcmp(p_, quoted.data(), quoted.size()) == 0) {
                    index = next;
                    p_ += quoted.size();
                }
            }
            std::string_view key;
            KeySink scratch;
            bool unknown = false;
            if (index == count) {
                if (!read_key(key, scratch, unknown)) return false;
                if (!expect(':')) return false;
            }
            if (index == count && !unknown) {
                if (next < count && key == names[next]) {
                    index = next;
                } else {
                    for (size_t i = 0; i < count; ++i) {
                        if (key == names[i]) {
                            index = i;
                            break;
                        }
                    }
                }
            }
            if (index < count) {
                if (seen & (uint32_t{1} << index)) {
                    p_ = key_at;
                    return fail(JsonErrorKind::Duplicate_Key);
                }
                seen |= uint32_t{1} << index;
                if (present) *present = seen;
                next = index + 1;
                if (!read_field(index, record, depth + 1, std::make_index_sequence<count>{})) return false;
            } else if (!skip_value(depth + 1)) {
                return false;
            }
            if (!skip_space()) return false;
            if (p_ < end_ && *p_ == ',') {
                ++p_;
            } else if (p_ < end_ && *p_ == '}') {
                ++p_;
                return true;
            } else {
                return fail(JsonErrorKind::Syntax);
            }
        }
    }

    size_t max_commands_ = SIZE_MAX;
};

// Returns the strings of a rejected message to their resource (exact sizes: they were taken at
// their decoded length), so a general-purpose resource does not leak on bad input. Walks the
// field lists, so a string field added to a record is released without another line here.
void release(std::string_view& s, std::pmr::memory_resource* strings) {
    if (!s.empty()) strings->deallocate(const_cast<char*>(s.data()), s.size(), 1);
    s = {};
}

template <typename T>
void release_strings(T& value, std::pmr::memory_resource* strings) {
    if constexpr (std::is_same_v<T, std::string_view>) {
        release(value, strings);
    } else if constexpr (is_optional<T>) {
        if (value) release_strings(*value, strings);
    } else if constexpr (std::is_same_v<T, DrawList> || std::is_same_v<T, std::array<InputKey, LETTER_KEY_COUNT>>) {
        for (auto& element : value) release_strings(element, strings);
    } else if constexpr (std::is_same_v<T, DrawEdits>) {
        for (auto& edit : value) release_strings(edit.values, strings);
    } else if constexpr (Record<T>) {
        [&]<size_t... I>(std::index_sequence<I...>) {
            (release_strings(value.*(std::get<I>(Fields<T>::list).member), strings), ...);
        }(std::make_index_sequence<field_count<T>>{});
    }
}

} // namespace

JsonError read_json(std::string_view text, ClientMessage& out, std::pmr::memory_resource* strings) {
    out = ClientMessage{};
    Reader reader(text, strings);
    JsonError error = reader.read_top(out);
    if (error) release_strings(out, strings);
    return error;
}

JsonError read_json(std::string_view text, ServerMessage& out, std::pmr::memory_resource* strings,
                    size_t max_commands) {
    out.kind = ServerMessageKind::EVENT;
    out.event = Event{};
    out.commands.clear();
    Reader reader(text, strings, max_commands);
    JsonError error = reader.read_top(out);
    if (error) {
        release_strings(out, strings);
        out.commands.clear();
    }
    return error;
}

JsonError read_json(std::string_view text, PictureChange& out, std::pmr::memory_resource* strings,
                    size_t max_commands) {
    // The lists keep their allocators (and storage) from one change to the next.
    const auto clear_lists = [&] {
        out.keep.clear();
        out.commands.clear();
        out.edit_at.clear();
        out.edits.clear();
    };
    out.kind = ServerMessageKind::EVENT;
    out.base = 0;
    clear_lists();
    Reader reader(text, strings, max_commands);
    JsonError error = reader.read_top(out);
    if (error) {
        release_strings(out, strings);
        clear_lists();
    }
    return error;
}

std::string json_error_text(const JsonError& error) {
    const char* name = "None";
    switch (error.kind) {
    case JsonErrorKind::None: name = "None"; break;
    case JsonErrorKind::Syntax: name = "Syntax"; break;
    case JsonErrorKind::Type_Mismatch: name = "Type_Mismatch"; break;
    case JsonErrorKind::Duplicate_Key: name = "Duplicate_Key"; break;
    case JsonErrorKind::Too_Deep: name = "Too_Deep"; break;
    case JsonErrorKind::Not_Object: name = "Not_Object"; break;
    case JsonErrorKind::Trailing_Data: name = "Trailing_Data"; break;
    case JsonErrorKind::Too_Many: name = "Too_Many"; break;
    }
    return std::string(name) + " at byte " + std::to_string(error.offset);
}

} // namespace cog
