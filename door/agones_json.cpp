// A recursive-descent JSON reader bounded in depth; strict JSON (RFC 8259), as the API server writes.
#include "door/agones_json.h"

#include <charconv>
#include <cstdint>
#include <cstdlib>

namespace cog::door {

namespace {

struct Reader {
    std::string_view text;
    size_t at = 0;
    int depth_left;

    void skip_space() {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\n' || text[at] == '\r')) ++at;
    }
    bool take(char c) {
        if (at < text.size() && text[at] == c) {
            ++at;
            return true;
        }
        return false;
    }
    bool take_word(std::string_view word) {
        if (text.substr(at, word.size()) != word) return false;
        at += word.size();
        return true;
    }

    bool hex4(uint32_t& out) {
        if (text.size() - at < 4) return false;
        out = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = text[at++];
            out <<= 4;
            if (c >= '0' && c <= '9') out |= c - '0';
            else if (c >= 'a' && c <= 'f') out |= c - 'a' + 10;
            else if (c >= 'A' && c <= 'F') out |= c - 'A' + 10;
            else return false;
        }
        return true;
    }

    static void put_utf8(std::string& out, uint32_t cp) {
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }

    bool escape(std::string& out) {
        if (at >= text.size()) return false;
        const char c = text[at++];
        switch (c) {
        case '"': out.push_back('"'); return true;
        case '\\': out.push_back('\\'); return true;
        case '/': out.push_back('/'); return true;
        case 'b': out.push_back('\b'); return true;
        case 'f': out.push_back('\f'); return true;
        case 'n': out.push_back('\n'); return true;
        case 'r': out.push_back('\r'); return true;
        case 't': out.push_back('\t'); return true;
        case 'u': break;
        default: return false;
        }
        uint32_t cp = 0;
        if (!hex4(cp)) return false;
        if (cp >= 0xD800 && cp < 0xDC00) { // a high surrogate wants its low half
            uint32_t low = 0;
            if (!take_word("\\u") || !hex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            return false;
        }
        put_utf8(out, cp);
        return true;
    }

    bool string(std::string& out) {
        if (!take('"')) return false;
        while (at < text.size()) {
            const char c = text[at++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return false;
            if (c == '\\') {
                if (!escape(out)) return false;
            } else {
                out.push_back(c);
            }
        }
        return false;
    }

    bool number(double& out) {
        const size_t start = at;
        take('-');
        if (take('0')) {
        } else if (at < text.size() && text[at] >= '1' && text[at] <= '9') {
            while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
        } else {
            return false;
        }
        if (take('.')) {
            const size_t digits = at;
            while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
            if (at == digits) return false;
        }
        if (take('e') || take('E')) {
            if (!take('+')) take('-');
            const size_t digits = at;
            while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
            if (at == digits) return false;
        }
        const std::string copy(text.substr(start, at - start)); // strtod wants a terminated text
        out = std::strtod(copy.c_str(), nullptr);
        return true;
    }

    bool value(JsonValue& out) {
        skip_space();
        if (at >= text.size()) return false;
        const char c = text[at];
        if (c == '{' || c == '[') {
            if (--depth_left < 0) return false;
            const bool ok = c == '{' ? object(out) : array(out);
            ++depth_left;
            return ok;
        }
        if (c == '"') {
            out.kind = JsonValue::Kind::String;
            return string(out.text);
        }
        if (take_word("true") || take_word("false")) {
            out.kind = JsonValue::Kind::Bool;
            out.boolean = c == 't';
            return true;
        }
        if (take_word("null")) return true;
        out.kind = JsonValue::Kind::Number;
        return number(out.number);
    }

    bool array(JsonValue& out) {
        out.kind = JsonValue::Kind::Array;
        ++at;
        skip_space();
        if (take(']')) return true;
        do {
            out.items.emplace_back();
            if (!value(out.items.back())) return false;
            skip_space();
        } while (take(','));
        return take(']');
    }

    bool object(JsonValue& out) {
        out.kind = JsonValue::Kind::Object;
        ++at;
        skip_space();
        if (take('}')) return true;
        do {
            skip_space();
            out.members.emplace_back();
            if (!string(out.members.back().first)) return false;
            skip_space();
            if (!take(':') || !value(out.members.back().second)) return false;
            skip_space();
        } while (take(','));
        return take('}');
    }
};

} // namespace

const JsonValue* JsonValue::get(std::string_view key) const {
    if (kind != Kind::Object) return nullptr;
    for (const auto& [name, member] : members)
        if (name == key) return &member;
    return nullptr;
}

const JsonValue* JsonValue::find(std::initializer_list<std::string_view> keys) const {
    const JsonValue* at = this;
    for (std::string_view key : keys)
        if (!(at = at->get(key))) return nullptr;
    return at;
}

bool parse_json(std::string_view text, JsonValue& out, int max_depth) {
    out = JsonValue{};
    Reader reader{text, 0, max_depth};
    if (!reader.value(out)) return false;
    reader.skip_space();
    return reader.at == text.size();
}

std::string json_quoted(std::string_view text) {
    static constexpr char HEX[] = "0123456789abcdef";
    std::string out = "\"";
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(c);
        } else if (byte < 0x20) {
            out += "\\u00";
            out.push_back(HEX[byte >> 4]);
            out.push_back(HEX[byte & 15]);
        } else {
            out.push_back(c);
        }
    }
    out.push_back('"');
    return out;
}

} // namespace cog::door
