// A small JSON reader for the Kubernetes API's answers (the whole text into a tree, bounded in
// depth), and the escaping of texts put into the door's own requests.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cog::door {

struct JsonValue {
    enum class Kind : unsigned char { Null, Bool, Number, String, Array, Object };
    Kind kind = Kind::Null;
    bool boolean = false;
    double number = 0;
    std::string text;                                        // a String's decoded bytes
    std::vector<JsonValue> items;                            // an Array's values
    std::vector<std::pair<std::string, JsonValue>> members;  // an Object's members, in order

    // The member named `key`; nullptr when absent or when this is not an object.
    const JsonValue* get(std::string_view key) const;
    // The member reached through nested objects by `keys`; nullptr when any step is missing.
    const JsonValue* find(std::initializer_list<std::string_view> keys) const;
    // The String's text, or empty for any other kind.
    std::string_view string() const { return kind == Kind::String ? std::string_view(text) : std::string_view(); }
};

// Reads one JSON value filling the whole text (white space around it aside). False: not JSON, or
// nested deeper than `max_depth` arrays and objects.
bool parse_json(std::string_view text, JsonValue& out, int max_depth = 64);

// `text` as a JSON string, quotes included.
std::string json_quoted(std::string_view text);

} // namespace cog::door
