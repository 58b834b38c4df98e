// JSON5 lexing for the record reader: white space and comments, strings, numbers, literals,
// arrays, and skipping values of any shape without recursion. It knows nothing of the records;
// binding values to their fields is the reader's part.
#pragma once

#include "shared/protocol/json.h"
#include "shared/protocol/json_fields.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <type_traits>

namespace cog::json_lexing {

using json_fields::MAX_NAME_LENGTH;

constexpr int MAX_DEPTH = 32; // objects and arrays, the top-level object counting as 1

constexpr bool is_ident_start(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$' || c >= 0x80;
}
constexpr bool is_ident_part(unsigned char c) { return is_ident_start(c) || (c >= '0' && c <= '9'); }

inline int hex_value(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Collects decoded string bytes. CountSink measures, BufferSink writes into exact storage and
// KeySink keeps at most a field name's worth (a longer key cannot match any field).
struct CountSink {
    size_t n = 0;
    void put(const char*, size_t len) { n += len; }
};
struct BufferSink {
    char* p;
    void put(const char* s, size_t len) {
        std::memcpy(p, s, len);
        p += len;
    }
};
struct KeySink {
    char buf[MAX_NAME_LENGTH];
    size_t n = 0;
    bool overflow = false;
    void put(const char* s, size_t len) {
        if (overflow || len > sizeof buf - n) {
            overflow = true;
            return;
        }
        std::memcpy(buf + n, s, len);
        n += len;
    }
};

template <typename Sink>
void put_utf8(Sink& sink, uint32_t cp) {
    char b[4];
    if (cp < 0x80) {
        b[0] = static_cast<char>(cp);
        sink.put(b, 1);
    } else if (cp < 0x800) {
        b[0] = static_cast<char>(0xC0 | (cp >> 6));
        b[1] = static_cast<char>(0x80 | (cp & 0x3F));
        sink.put(b, 2);
    } else if (cp < 0x10000) {
        b[0] = static_cast<char>(0xE0 | (cp >> 12));
        b[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        b[2] = static_cast<char>(0x80 | (cp & 0x3F));
        sink.put(b, 3);
    } else {
        b[0] = static_cast<char>(0xF0 | (cp >> 18));
        b[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        b[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        b[3] = static_cast<char>(0x80 | (cp & 0x3F));
        sink.put(b, 4);
    }
}

struct Number {
    enum Kind { Integer, Hex, Decimal, Infinity, NaN } kind = Integer;
    bool negative = false;
    std::string_view digits; // without sign; for Hex without the 0x
};

class JsonLexer {
protected:
    JsonLexer(std::string_view text, std::pmr::memory_resource* strings)
        : begin_(text.data()), p_(text.data()), end_(text.data() + text.size()), strings_(strings) {}

    bool fail(JsonErrorKind kind) {
        if (!error_) error_ = JsonError{kind, static_cast<size_t>(p_ - begin_)};
        return false;
    }

    unsigned char peek(ptrdiff_t ahead = 0) const {
        return p_ + ahead < end_ ? static_cast<unsigned char>(p_[ahead]) : 0;
    }

    // Length of a multi-byte JSON5 white-space or line-terminator character at p_, or 0.
    size_t unicode_space_length() const {
        const unsigned char a = peek(), b = peek(1), c = peek(2);
        if (a == 0xC2 && b == 0xA0) return 2;                           // U+00A0
        if (a == 0xE1 && b == 0x9A && c == 0x80) return 3;              // U+1680
        if (a == 0xE2 && b == 0x80 && ((c >= 0x80 && c <= 0x8A) || c == 0xA8 || c == 0xA9 || c == 0xAF))
            return 3;                                                   // U+2000..200A, 2028, 2029, 202F
        if (a == 0xE2 && b == 0x81 && c == 0x9F) return 3;              // U+205F
        if (a == 0xE3 && b == 0x80 && c == 0x80) return 3;              // U+3000
        if (a == 0xEF && b == 0xBB && c == 0xBF) return 3;              // U+FEFF
        return 0;
    }

    bool at_line_end() const {
        const unsigned char a = peek();
        return a == '\n' || a == '\r' || (a == 0xE2 && peek(1) == 0x80 && (peek(2) == 0xA8 || peek(2) == 0xA9));
    }

    // Skips white space and comments; fails only on an unterminated block comment.
    bool skip_space() {
        // Compact text has no white space at all: most calls end on the first byte.
        if (p_ < end_) {
            const unsigned char c = static_cast<unsigned char>(*p_);
            if (c > ' ' && c != '/' && c < 0x80) return true;
        }
        return skip_space_slow();
    }

    bool skip_space_slow() {
        while (p_ < end_) {
            const unsigned char c = static_cast<unsigned char>(*p_);
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f') {
                ++p_;
            } else if (c == '/' && peek(1) == '/') {
                p_ += 2;
                while (p_ < end_ && !at_line_end()) ++p_;
            } else if (c == '/' && peek(1) == '*') {
                const char* start = p_;
                p_ += 2;
                for (;;) {
                    if (end_ - p_ < 2) {
                        p_ = start;
                        return fail(JsonErrorKind::Syntax);
                    }
                    if (p_[0] == '*' && p_[1] == '/') break;
                    ++p_;
                }
                p_ += 2;
            } else if (c >= 0x80) {
                const size_t n = unicode_space_length();
                if (n == 0) return true;
                p_ += n;
            } else {
                return true;
            }
        }
        return true;
    }

    bool expect(char c) {
        if (!skip_space()) return false;
        if (p_ == end_ || *p_ != c) return fail(JsonErrorKind::Syntax);
        ++p_;
        return true;
    }

    // Decodes a quoted string starting at the quote into `sink`; leaves p_ after the closing quote.
    template <typename Sink>
    bool parse_string(Sink& sink) {
        const char quote = *p_++;
        for (;;) {
            const char* run = p_;
            while (p_ < end_ && *p_ != quote && *p_ != '\\' && *p_ != '\n' && *p_ != '\r') ++p_;
            if (p_ != run) sink.put(run, static_cast<size_t>(p_ - run));
            if (p_ == end_ || *p_ == '\n' || *p_ == '\r') return fail(JsonErrorKind::Syntax);
            if (*p_ == quote) {
                ++p_;
                return true;
            }
            ++p_; // the backslash
            if (p_ == end_) return fail(JsonErrorKind::Syntax);
            const char e = *p_++;
            char one;
            switch (e) {
            case 'b': one = '\b'; break;
            case 'f': one = '\f'; break;
            case 'n': one = '\n'; break;
            case 'r': one = '\r'; break;
            case 't': one = '\t'; break;
            case 'v': one = '\v'; break;
            case '0':
                if (peek() >= '0' && peek() <= '9') return fail(JsonErrorKind::Syntax);
                one = '\0';
                break;
            case '1': case '2': case '3': case '4': case '5': case '6': case '7': case '8': case '9':
                --p_;
                return fail(JsonErrorKind::Syntax);
            case 'x': {
                const int h = hex_value(peek()), l = hex_value(peek(1));
                if (h < 0 || l < 0) return fail(JsonErrorKind::Syntax);
                p_ += 2;
                put_utf8(sink, static_cast<uint32_t>(h * 16 + l));
                continue;
            }
            case 'u': {
                uint32_t cp = 0;
                if (!read_hex4(cp)) return false;
                if (cp >= 0xD800 && cp <= 0xDBFF && peek() == '\\' && peek(1) == 'u') {
                    const char* save = p_;
                    p_ += 2;
                    uint32_t low = 0;
                    if (!read_hex4(low)) return false;
                    if (low >= 0xDC00 && low <= 0xDFFF) {
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                    } else {
                        p_ = save; // not a pair: the second escape stands on its own
                    }
                }
                // A surrogate without its partner has no UTF-8 form.
                if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xFFFD;
                put_utf8(sink, cp);
                continue;
            }
            case '\n':
                continue; // line continuation
            case '\r':
                if (peek() == '\n') ++p_;
                continue;
            default:
                if (static_cast<unsigned char>(e) == 0xE2 && peek() == 0x80 && (peek(1) == 0xA8 || peek(1) == 0xA9)) {
                    p_ += 2; // U+2028 / U+2029 continuation
                    continue;
                }
                one = e; // any other character stands for itself
            }
            sink.put(&one, 1);
        }
    }

    bool read_hex4(uint32_t& cp) {
        cp = 0;
        for (int i = 0; i < 4; ++i) {
            const int v = hex_value(peek(i));
            if (v < 0) return fail(JsonErrorKind::Syntax);
            cp = cp * 16 + static_cast<uint32_t>(v);
        }
        p_ += 4;
        return true;
    }

    bool read_string_value(std::string_view& out) {
        const char* start = p_;
        CountSink count;
        if (!parse_string(count)) return false;
        if (count.n == 0) {
            out = {};
            return true;
        }
        void* memory = nullptr;
        try {
            memory = strings_->allocate(count.n, 1);
        } catch (...) {
            memory = nullptr;
        }
        if (!memory) return fail(JsonErrorKind::Syntax);
        p_ = start;
        BufferSink buffer{static_cast<char*>(memory)};
        parse_string(buffer); // cannot fail: the same text was just checked
        out = std::string_view(static_cast<char*>(memory), count.n);
        return true;
    }

    // Reads an object key; `key` is a view of the input or of `scratch`. A key that cannot match
    // any field (too long) comes back as an empty view with `unknown` set.
    bool read_key(std::string_view& key, KeySink& scratch, bool& unknown) {
        if (!skip_space()) return false;
        if (p_ == end_) return fail(JsonErrorKind::Syntax);
        const char c = *p_;
        unknown = false;
        if (c == '"' || c == '\'') {
            // Fast path: a key without escapes is a slice of the input.
            const char* s = p_ + 1;
            const char* q = s;
            while (q < end_ && *q != c && *q != '\\' && *q != '\n' && *q != '\r') ++q;
            if (q < end_ && *q == c) {
                key = std::string_view(s, static_cast<size_t>(q - s));
                p_ = q + 1;
                return true;
            }
            if (!parse_string(scratch)) return false;
            unknown = scratch.overflow;
            key = std::string_view(scratch.buf, scratch.n);
            return true;
        }
        if (is_ident_start(static_cast<unsigned char>(c))) {
            const char* s = p_;
            while (p_ < end_ && is_ident_part(static_cast<unsigned char>(*p_))) ++p_;
            key = std::string_view(s, static_cast<size_t>(p_ - s));
            return true;
        }
        return fail(JsonErrorKind::Syntax);
    }

    // Scans a JSON5 number (sign, Infinity, NaN, hex, decimal with optional point and exponent).
    bool scan_number(Number& n) {
        const char* start = p_;
        if (*p_ == '+' || *p_ == '-') {
            n.negative = *p_ == '-';
            ++p_;
        }
        auto word = [&](std::string_view w) {
            if (static_cast<size_t>(end_ - p_) >= w.size() && std::memcmp(p_, w.data(), w.size()) == 0) {
                p_ += w.size();
                return true;
            }
            return false;
        };
        const char* digits = p_;
        if (word("Infinity")) {
            n.kind = Number::Infinity;
        } else if (word("NaN")) {
            n.kind = Number::NaN;
        } else if (peek() == '0' && (peek(1) == 'x' || peek(1) == 'X')) {
            p_ += 2;
            digits = p_;
            while (p_ < end_ && hex_value(static_cast<unsigned char>(*p_)) >= 0) ++p_;
            if (p_ == digits) return fail(JsonErrorKind::Syntax);
            n.kind = Number::Hex;
        } else {
            auto is_digit = [&] { return peek() >= '0' && peek() <= '9'; };
            const char* int_start = p_;
            while (is_digit()) ++p_;
            const size_t int_len = static_cast<size_t>(p_ - int_start);
            // JSON5 has no leading zeros ("01").
            if (int_len > 1 && *int_start == '0') {
                p_ = int_start;
                return fail(JsonErrorKind::Syntax);
            }
            size_t frac_len = 0;
            n.kind = Number::Integer;
            if (peek() == '.') {
                ++p_;
                const char* f = p_;
                while (is_digit()) ++p_;
                frac_len = static_cast<size_t>(p_ - f);
                n.kind = Number::Decimal;
            }
            if (int_len == 0 && frac_len == 0) {
                p_ = start;
                return fail(JsonErrorKind::Syntax);
            }
            if (peek() == 'e' || peek() == 'E') {
                ++p_;
                if (peek() == '+' || peek() == '-') ++p_;
                if (!is_digit()) return fail(JsonErrorKind::Syntax);
                while (is_digit()) ++p_;
                n.kind = Number::Decimal;
            }
        }
        n.digits = std::string_view(digits, static_cast<size_t>(p_ - digits));
        // A number runs into nothing: "12abc" and "1.2.3" are not numbers.
        if (p_ < end_ && (is_ident_part(static_cast<unsigned char>(*p_)) || *p_ == '.')) return fail(JsonErrorKind::Syntax);
        return true;
    }

    // The unsigned magnitude of an integer token, or false when it has no exact 64-bit value.
    static bool magnitude(const Number& n, uint64_t& out) {
        out = 0;
        if (n.kind == Number::Integer) {
            for (char d : n.digits) {
                const uint64_t v = static_cast<uint64_t>(d - '0');
                if (out > (std::numeric_limits<uint64_t>::max() - v) / 10) return false;
                out = out * 10 + v;
            }
            return true;
        }
        if (n.kind == Number::Hex) {
            for (char d : n.digits) {
                if (out >> 60) return false;
                out = out * 16 + static_cast<uint64_t>(hex_value(static_cast<unsigned char>(d)));
            }
            return true;
        }
        return false; // fractions, exponents, Infinity and NaN are not integer forms
    }

    template <typename T>
    bool read_integer(T& out) {
        Number n;
        if (!scan_number(n)) return false;
        uint64_t m = 0;
        if (!magnitude(n, m)) return fail(JsonErrorKind::Type_Mismatch);
        using Wide = std::conditional_t<std::is_enum_v<T>, int64_t, T>;
        using Limits = std::numeric_limits<Wide>;
        if (n.negative) {
            // The most negative value's magnitude is one more than the largest positive value.
            const uint64_t max_neg = Limits::is_signed ? static_cast<uint64_t>(Limits::max()) + 1 : 0;
            if (m > max_neg) return fail(JsonErrorKind::Type_Mismatch);
            out = static_cast<T>(static_cast<Wide>(0 - m));
        } else {
            if (m > static_cast<uint64_t>(Limits::max())) return fail(JsonErrorKind::Type_Mismatch);
            out = static_cast<T>(static_cast<Wide>(m));
        }
        return true;
    }

    // Floats must be finite: a NaN or an infinite pointer position would poison the host's
    // arithmetic, so those forms (and decimals beyond the f32 range) are type mismatches.
    bool read_float(float& out) {
        Number n;
        if (!scan_number(n)) return false;
        float v = 0;
        switch (n.kind) {
        case Number::Infinity:
        case Number::NaN:
            return fail(JsonErrorKind::Type_Mismatch);
        case Number::Integer:
        case Number::Hex: {
            uint64_t m = 0;
            if (magnitude(n, m)) {
                v = static_cast<float>(m);
                break;
            }
            if (n.kind == Number::Hex) return fail(JsonErrorKind::Type_Mismatch);
            [[fallthrough]]; // a decimal integer beyond 64 bits still has a float value
        }
        case Number::Decimal: {
            const auto r = std::from_chars(n.digits.data(), n.digits.data() + n.digits.size(), v,
                                           std::chars_format::general);
            if (r.ec == std::errc::result_out_of_range) {
                if (!underflows(n.digits)) return fail(JsonErrorKind::Type_Mismatch);
                v = 0;
            } else if (r.ec != std::errc() || r.ptr != n.digits.data() + n.digits.size()) {
                return fail(JsonErrorKind::Syntax);
            }
            break;
        }
        }
        if (!std::isfinite(v)) return fail(JsonErrorKind::Type_Mismatch);
        out = n.negative ? -v : v;
        return true;
    }

    // Whether an out-of-range decimal is too small rather than too large: its digits before any
    // exponent are below one, or its exponent is negative.
    static bool underflows(std::string_view digits) {
        const size_t e = digits.find_first_of("eE");
        if (e != std::string_view::npos && e + 1 < digits.size() && digits[e + 1] == '-') return true;
        const std::string_view mantissa = digits.substr(0, e);
        const size_t point = mantissa.find('.');
        for (char d : mantissa.substr(0, point))
            if (d != '0') return false;
        return true;
    }

    bool read_bool(bool& out) {
        if (end_ - p_ >= 4 && std::memcmp(p_, "true", 4) == 0) {
            out = true;
            p_ += 4;
        } else if (end_ - p_ >= 5 && std::memcmp(p_, "false", 5) == 0) {
            out = false;
            p_ += 5;
        } else {
            return mismatch_or_syntax();
        }
        if (p_ < end_ && is_ident_part(static_cast<unsigned char>(*p_))) return fail(JsonErrorKind::Syntax);
        return true;
    }

    // A value of the wrong kind is a type mismatch; something that is no value is a syntax error.
    bool mismatch_or_syntax() {
        const unsigned char c = peek();
        if (c == '{' || c == '[' || c == '"' || c == '\'' || c == '+' || c == '-' || c == '.' ||
            (c >= '0' && c <= '9') || is_ident_start(c))
            return fail(JsonErrorKind::Type_Mismatch);
        return fail(JsonErrorKind::Syntax);
    }

    // Opens an array or object at p_ whose nesting level will be `depth`.
    bool open(char bracket, int depth) {
        if (p_ == end_ || *p_ != bracket) return mismatch_or_syntax();
        if (depth > MAX_DEPTH) return fail(JsonErrorKind::Too_Deep);
        ++p_;
        return true;
    }

    // Reads `[elem, ...]` of at most `limit` elements; `element(i)` reads element i.
    template <typename ReadElement>
    bool read_array(int depth, size_t limit, ReadElement element) {
        if (!open('[', depth)) return false;
        for (size_t count = 0;; ++count) {
            if (!skip_space()) return false;
            if (p_ < end_ && *p_ == ']') {
                ++p_;
                return true;
            }
            if (count == limit) return fail(JsonErrorKind::Type_Mismatch);
            if (!element(count)) return false;
            if (!skip_space()) return false;
            if (p_ < end_ && *p_ == ',') {
                ++p_;
            } else if (p_ < end_ && *p_ == ']') {
                ++p_;
                return true;
            } else {
                return fail(JsonErrorKind::Syntax);
            }
        }
    }


    bool starts_number() const {
        const unsigned char c = peek();
        return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == 'I' || c == 'N';
    }



    bool skip_scalar() {
        const unsigned char c = peek();
        if (c == '"' || c == '\'') {
            CountSink ignore;
            return parse_string(ignore);
        }
        if (starts_number()) {
            Number n;
            return scan_number(n);
        }
        for (std::string_view w : {std::string_view("true"), std::string_view("false"), std::string_view("null")}) {
            if (static_cast<size_t>(end_ - p_) >= w.size() && std::memcmp(p_, w.data(), w.size()) == 0 &&
                !(p_ + w.size() < end_ && is_ident_part(static_cast<unsigned char>(p_[w.size()])))) {
                p_ += w.size();
                return true;
            }
        }
        return fail(JsonErrorKind::Syntax);
    }

    bool skip_key_and_colon() {
        std::string_view key;
        KeySink scratch;
        bool unknown = false;
        return read_key(key, scratch, unknown) && expect(':');
    }

    // Skips one value of any shape without recursion; `depth` is the nesting level of the
    // container holding it. A bit per open level records whether it is an object.
    bool skip_value(int depth) {
        uint64_t is_object = 0;
        int level = 0;
        for (;;) {
            if (!skip_space()) return false;
            if (p_ == end_) return fail(JsonErrorKind::Syntax);
            const char c = *p_;
            bool value_done = true;
            if (c == '{' || c == '[') {
                if (depth + level + 1 > MAX_DEPTH) return fail(JsonErrorKind::Too_Deep);
                ++p_;
                const bool object = c == '{';
                if (object) is_object |= uint64_t{1} << level;
                else is_object &= ~(uint64_t{1} << level);
                ++level;
                if (!skip_space()) return false;
                if (p_ < end_ && *p_ == (object ? '}' : ']')) {
                    ++p_;
                    --level;
                } else {
                    if (object && !skip_key_and_colon()) return false;
                    value_done = false; // the container's first value comes next
                }
            } else if (!skip_scalar()) {
                return false;
            }
            if (!value_done) continue;
            // After a complete value: close finished containers, or move to the next member.
            for (;;) {
                if (level == 0) return true;
                const bool object = (is_object >> (level - 1)) & 1;
                const char closer = object ? '}' : ']';
                if (!skip_space()) return false;
                if (p_ < end_ && *p_ == closer) {
                    ++p_;
                    --level;
                    continue;
                }
                if (p_ == end_ || *p_ != ',') return fail(JsonErrorKind::Syntax);
                ++p_;
                if (!skip_space()) return false;
                if (p_ < end_ && *p_ == closer) { // trailing comma
                    ++p_;
                    --level;
                    continue;
                }
                if (object && !skip_key_and_colon()) return false;
                break;
            }
        }
    }

    const char* begin_;
    const char* p_;
    const char* end_;
    std::pmr::memory_resource* strings_;
    JsonError error_;
};

} // namespace cog::json_lexing
