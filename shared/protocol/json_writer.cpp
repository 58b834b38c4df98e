// Compact JSON writer for the wire records: exact bytes, driven by the field lists.
#include "shared/protocol/json.h"
#include "shared/protocol/json_fields.h"
#include "shared/protocol/number_text.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <type_traits>

namespace cog {

namespace {

using namespace json_fields;
namespace nt = number_text;

// Bytes of the key text for field I of Rec, with the separator before it: `{"kind":` for the
// first field (it also opens the object) and `,"x":` for the others.
template <typename Rec, size_t I>
constexpr auto key_text() {
    constexpr std::string_view name = std::get<I>(Fields<Rec>::list).name;
    std::array<char, name.size() + 4> text{};
    text[0] = I == 0 ? '{' : ',';
    text[1] = '"';
    for (size_t i = 0; i < name.size(); ++i) text[2 + i] = name[i];
    text[name.size() + 2] = '"';
    text[name.size() + 3] = ':';
    return text;
}

template <typename T>
constexpr size_t value_bound() {
    if constexpr (std::is_same_v<T, bool>) return 5;
    else if constexpr (std::is_same_v<T, float>) return nt::F32_MAX_CHARS;
    else if constexpr (std::is_enum_v<T> || std::is_integral_v<T>) return nt::I64_MAX_CHARS;
    else if constexpr (std::is_same_v<T, Color>) return 17; // [255,255,255,255]
    else if constexpr (std::is_same_v<T, KeptRuns>) return 2; // reserves its own contents
    else return 2; // strings, arrays and nested records reserve their own contents
}

// Most bytes the scalar part of one record can take: keys, separators, scalar values.
template <typename Rec>
constexpr size_t record_bound() {
    return []<size_t... I>(std::index_sequence<I...>) {
        return (size_t{2} + ... + (key_text<Rec, I>().size() + value_bound<field_type<Rec, I>>()));
    }(std::make_index_sequence<field_count<Rec>>{});
}

inline constexpr size_t MAX_RECORD_BOUND =
    std::max({record_bound<InputKey>(), record_bound<InputState>(), record_bound<ClientMessage>(),
              record_bound<Event>(), record_bound<DrawCommand>(), record_bound<ServerMessage>(),
              record_bound<PictureChange>()});

// Added to every reservation: after a string, array or nested record ends, the scalars left in
// the enclosing records (at most one record's worth plus a few closing brackets) still fit.
inline constexpr size_t SLACK = 2 * MAX_RECORD_BOUND;

// How each byte below 0x80 is written: 0 as itself, otherwise escaped.
constexpr std::array<uint8_t, 128> ASCII_ESCAPE = [] {
    std::array<uint8_t, 128> table{};
    for (int c = 0; c < 0x20; ++c) table[c] = 1;
    table['"'] = 1;
    table['\\'] = 1;
    table[0x7F] = 1;
    return table;
}();

constexpr char HEX[] = "0123456789abcdef";

// Writes into the tail of a buffer (a std::string, or a PictureBuffer whose growth leaves the new
// bytes uninitialised) through a raw pointer. Space is reserved in blocks sized from the record
// bounds, so the per-value stores need no checks.
template <typename Buffer>
class Out {
public:
    explicit Out(Buffer& s, size_t expected) : s_(s), start_(s.size()) {
        s_.resize(start_ + expected);
        base_ = s_.data();
        p_ = base_ + start_;
        end_ = base_ + s_.size();
    }
    void finish() { s_.resize(static_cast<size_t>(p_ - base_)); }
    size_t size() const { return static_cast<size_t>(p_ - base_); } // bytes of the string written so far

    void reserve(size_t n) {
        if (static_cast<size_t>(end_ - p_) < n) grow(n);
    }

    char*& p() { return p_; }

private:
    void grow(size_t n) {
        size_t used = static_cast<size_t>(p_ - base_);
        s_.resize(std::max(s_.size() * 2, used + n + 4096));
        base_ = s_.data();
        p_ = base_ + used;
        end_ = base_ + s_.size();
    }

    Buffer& s_;
    size_t start_;
    char* base_;
    char* p_;
    char* end_;
};

template <typename Out>
void write_escaped_string(Out& out, std::string_view text) {
    // Worst case: a control byte becomes six bytes (\u00xx). The record's remaining scalar
    // fields also need room, since the record reserved its space before this string.
    out.reserve(text.size() * 6 + 2 + SLACK);
    char* p = out.p();
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = s + text.size();
    *p++ = '"';
    while (s < end) {
        const unsigned char c = *s;
        if (c < 0x80) {
            if (!ASCII_ESCAPE[c]) {
                // Copy the whole run of plain characters at once.
                const unsigned char* run = s + 1;
                while (run < end && *run < 0x80 && !ASCII_ESCAPE[*run]) ++run;
                std::memcpy(p, s, static_cast<size_t>(run - s));
                p += run - s;
                s = run;
                continue;
            }
            *p++ = '\\';
            switch (c) {
            case '"': *p++ = '"'; break;
            case '\\': *p++ = '\\'; break;
            case '\b': *p++ = 'b'; break;
            case '\t': *p++ = 't'; break;
            case '\n': *p++ = 'n'; break;
            case '\f': *p++ = 'f'; break;
            case '\r': *p++ = 'r'; break;
            default:
                std::memcpy(p, "u00", 3);
                p[3] = HEX[c >> 4];
                p[4] = HEX[c & 15];
                p += 5;
            }
            ++s;
            continue;
        }
        // Decode one UTF-8 sequence strictly: no overlong forms, no surrogates, nothing above
        // U+10FFFF, no truncated sequences. Any byte that does not start a valid sequence is
        // written as \xNN and decoding resumes at the next byte.
        uint32_t cp = 0;
        int length = 0;
        const size_t left = static_cast<size_t>(end - s);
        auto cont = [&](size_t i) { return i < left && (s[i] & 0xC0) == 0x80; };
        if (c >= 0xC2 && c <= 0xDF) {
            if (cont(1)) {
                cp = (uint32_t{c} & 0x1F) << 6 | (s[1] & 0x3F);
                length = 2;
            }
        } else if (c >= 0xE0 && c <= 0xEF) {
            if (cont(1) && cont(2)) {
                cp = (uint32_t{c} & 0x0F) << 12 | uint32_t{s[1] & 0x3Fu} << 6 | (s[2] & 0x3F);
                if (cp >= 0x800 && (cp < 0xD800 || cp > 0xDFFF)) length = 3;
            }
        } else if (c >= 0xF0 && c <= 0xF4) {
            if (cont(1) && cont(2) && cont(3)) {
                cp = (uint32_t{c} & 0x07) << 18 | uint32_t{s[1] & 0x3Fu} << 12 | uint32_t{s[2] & 0x3Fu} << 6 |
                     (s[3] & 0x3F);
                if (cp >= 0x10000 && cp <= 0x10FFFF) length = 4;
            }
        }
        if (length == 0) {
            p[0] = '\\';
            p[1] = 'x';
            p[2] = HEX[c >> 4];
            p[3] = HEX[c & 15];
            p += 4;
            ++s;
            continue;
        }
        if (cp >= 0xA1 && cp <= 0xFF && cp != 0xAD) {
            std::memcpy(p, s, 2);
            p += 2;
        } else if (cp <= 0xFFFF) {
            p[0] = '\\';
            p[1] = 'u';
            p[2] = HEX[cp >> 12];
            p[3] = HEX[(cp >> 8) & 15];
            p[4] = HEX[(cp >> 4) & 15];
            p[5] = HEX[cp & 15];
            p += 6;
        } else {
            const uint32_t v = cp - 0x10000;
            const uint32_t halves[2] = {0xD800 + (v >> 10), 0xDC00 + (v & 0x3FF)};
            for (uint32_t h : halves) {
                p[0] = '\\';
                p[1] = 'u';
                p[2] = HEX[h >> 12];
                p[3] = HEX[(h >> 8) & 15];
                p[4] = HEX[(h >> 4) & 15];
                p[5] = HEX[h & 15];
                p += 6;
            }
        }
        s += length;
    }
    *p++ = '"';
    out.p() = p;
}

template <Record Rec, typename Out>
void write_record(Out& out, const Rec& record);

template <typename T, typename Out>
void write_value(Out& out, const T& value) {
    char*& p = out.p();
    if constexpr (std::is_same_v<T, bool>) {
        if (value) {
            std::memcpy(p, "true", 4);
            p += 4;
        } else {
            std::memcpy(p, "false", 5);
            p += 5;
        }
    } else if constexpr (std::is_same_v<T, float>) {
        p = nt::write_f32(p, value);
    } else if constexpr (std::is_enum_v<T>) {
        p = nt::write_i64(p, static_cast<int64_t>(value));
    } else if constexpr (std::is_integral_v<T> && std::is_signed_v<T>) {
        p = nt::write_i64(p, value);
    } else if constexpr (std::is_integral_v<T>) {
        p = nt::write_u64(p, value);
    } else if constexpr (std::is_same_v<T, std::string_view>) {
        write_escaped_string(out, value);
    } else if constexpr (is_optional<T>) {
        write_value(out, *value);
    } else if constexpr (std::is_same_v<T, Color>) {
        *p++ = '[';
        for (size_t i = 0; i < 4; ++i) {
            if (i) *p++ = ',';
            p = nt::write_u64(p, value[i]);
        }
        *p++ = ']';
    } else if constexpr (std::is_same_v<T, KeptRuns>) {
        out.reserve(value.size() * (nt::I64_MAX_CHARS + 1) + SLACK);
        char* q = out.p();
        *q++ = '[';
        for (size_t i = 0; i < value.size(); ++i) {
            if (i) *q++ = ',';
            q = nt::write_u64(q, value[i]);
        }
        *q++ = ']';
        out.p() = q;
    } else if constexpr (std::is_same_v<T, std::array<InputKey, LETTER_KEY_COUNT>> || std::is_same_v<T, DrawList>) {
        *p++ = '[';
        bool first = true;
        for (const auto& element : value) {
            out.reserve(record_bound<std::remove_cvref_t<decltype(element)>>() + 1 + SLACK);
            if (!first) *out.p()++ = ',';
            first = false;
            write_record(out, element);
        }
        out.reserve(SLACK);
        *out.p()++ = ']';
    } else {
        static_assert(Record<T>, "no JSON form for this field type");
        out.reserve(record_bound<T>() + SLACK);
        write_record(out, value);
    }
}

template <Record Rec, typename Out>
void write_record(Out& out, const Rec& record) {
    [&]<size_t... I>(std::index_sequence<I...>) {
        auto one = [&]<size_t J>(std::integral_constant<size_t, J>) {
            static constexpr auto key = key_text<Rec, J>();
            const auto& value = record.*(std::get<J>(Fields<Rec>::list).member);
            if constexpr (is_optional<std::remove_cvref_t<decltype(value)>>) {
                static_assert(J > 0, "the first member opens the object and cannot be left out");
                if (!value) return; // absent: the message keeps the bytes it had before the member existed
            }
            std::memcpy(out.p(), key.data(), key.size());
            out.p() += key.size();
            write_value(out, value);
        };
        (one(std::integral_constant<size_t, I>{}), ...);
    }(std::make_index_sequence<field_count<Rec>>{});
    *out.p()++ = '}';
}

} // namespace

void write_json(std::string& out, const ServerMessage& message) {
    // A typical draw command takes 250..300 bytes; the first guess avoids most regrowth.
    Out<std::string> o(out, record_bound<ServerMessage>() + SLACK + message.commands.size() * 320);
    write_record(o, message);
    o.finish();
}

bool same_command(const DrawCommand& a, const DrawCommand& b) {
    return [&]<size_t... I>(std::index_sequence<I...>) {
        auto same = [&]<size_t J>(std::integral_constant<size_t, J>) {
            const auto member = std::get<J>(Fields<DrawCommand>::list).member;
            using T = field_type<DrawCommand, J>;
            // Bitwise for floats: -0 and 0 compare equal but are written differently.
            if constexpr (std::is_same_v<T, float>) return std::bit_cast<uint32_t>(a.*member) == std::bit_cast<uint32_t>(b.*member);
            else return a.*member == b.*member;
        };
        return (same(std::integral_constant<size_t, I>{}) && ...);
    }(std::make_index_sequence<field_count<DrawCommand>>{});
}

void write_command_json(PictureBuffer& out, const DrawCommand& command) {
    Out<PictureBuffer> o(out, record_bound<DrawCommand>() + SLACK);
    write_record(o, command);
    o.finish();
}

size_t equal_prefix(const DrawList& a, const DrawList& b) {
    const size_t n = std::min(a.size(), b.size());
    size_t i = 0;
    while (i < n && same_command(a[i], b[i])) ++i;
    return i;
}

void write_json(std::string& out, const ClientMessage& message) {
    Out<std::string> o(out, 2048 + record_bound<ClientMessage>() + SLACK);
    write_record(o, message);
    o.finish();
}

} // namespace cog
