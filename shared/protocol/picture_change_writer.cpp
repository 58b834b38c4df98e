// Matching a picture's commands against the previous one, then writing the change in one pass.
#include "shared/protocol/picture_change_writer.h"

#include "shared/protocol/json_fields.h"
#include "shared/protocol/number_text.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace cog {

namespace {

constexpr std::string_view HEAD = R"({"kind":2,"base":)";
constexpr std::string_view KEEP = R"(,"keep":[)";
constexpr std::string_view COMMANDS = R"(],"commands":[)";
constexpr std::string_view EDIT_AT = R"(],"edit_at":[)";
constexpr std::string_view EDITS = R"(],"edits":[)";

// Past this many differing members, a command is cheaper to send anew than as an edit.
constexpr int MAX_EDITED_MEMBERS = 8;
// Two command texts not written with the same members in the same order.
constexpr uint32_t NOT_COMPARABLE = UINT32_MAX;

// The end of the value that starts at `p` (a string, an array of numbers, or a scalar).
const char* value_end(const char* p, const char* end) {
    if (*p == '"') {
        for (++p; p < end && *p != '"'; ++p)
            if (*p == '\\') ++p;
        return p + 1;
    }
    if (*p == '[') {
        while (p < end && *p != ']') ++p;
        return p + 1;
    }
    while (p < end && *p != ',' && *p != '}') ++p;
    return p;
}

// Walks the members of one command's text as our writer wrote it: `{"kind":4,"x":1.5,...}`.
struct Members {
    const char* p;
    const char* end;
    std::string_view key;   // `"x":`
    std::string_view value; // `1.50000000`

    Members(std::string_view text, size_t from) : p(text.data() + from), end(text.data() + text.size()) {}
    size_t offset(std::string_view text) const { return static_cast<size_t>(p - text.data()); }
    bool next() {
        if (p >= end || (*p != '{' && *p != ',')) return false;
        const char* key_start = p + 1;
        const char* colon = static_cast<const char*>(std::memchr(key_start, ':', static_cast<size_t>(end - key_start)));
        if (!colon || colon + 1 >= end) return false;
        const char* after = value_end(colon + 1, end);
        if (after > end) return false;
        key = std::string_view(key_start, static_cast<size_t>(colon + 1 - key_start));
        value = std::string_view(colon + 1, static_cast<size_t>(after - colon - 1));
        p = after;
        return true;
    }
};

// Bytes the two texts share at their start, and then at their end (not overlapping the start).
size_t common_prefix(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t x, y;
        std::memcpy(&x, a.data() + i, 8);
        std::memcpy(&y, b.data() + i, 8);
        if (x != y) return i + static_cast<size_t>(std::countr_zero(x ^ y)) / 8;
    }
    while (i < n && a[i] == b[i]) ++i;
    return i;
}

size_t common_suffix(std::string_view a, std::string_view b, size_t limit) {
    const char* ea = a.data() + a.size();
    const char* eb = b.data() + b.size();
    size_t i = 0;
    for (; i + 8 <= limit; i += 8) {
        uint64_t x, y;
        std::memcpy(&x, ea - i - 8, 8);
        std::memcpy(&y, eb - i - 8, 8);
        if (x != y) return i + static_cast<size_t>(std::countl_zero(x ^ y)) / 8;
    }
    while (i < limit && ea[-1 - static_cast<ptrdiff_t>(i)] == eb[-1 - static_cast<ptrdiff_t>(i)]) ++i;
    return i;
}

// The member index of a command's key, in the order our writer writes them.
int member_index(std::string_view key) {
    constexpr auto& names = json_fields::field_names<DrawCommand>;
    if (key.size() < 3) return -1;
    const std::string_view name = key.substr(1, key.size() - 3); // without the quotes and the colon
    for (size_t m = 0; m < names.size(); ++m)
        if (names[m] == name) return static_cast<int>(m);
    return -1;
}

// Where the member holding byte `at` of a command's text starts (at its `{` or `,`). Inside a
// string our writer escapes every quote, so a `,"` or `{"` there can only be a comma that ends
// the string followed by its closing quote. Such a pair lies after `at` unless that quote is byte
// `at` itself; then the "key" found is no member's name, and the command simply goes whole.
size_t member_start(std::string_view text, size_t at) {
    for (size_t k = std::min(at, text.size() - 1); k-- > 0;)
        if ((text[k] == ',' || text[k] == '{') && text[k + 1] == '"') return k;
    return 0;
}

// The members of `now` whose text differs from `before`'s, as a mask (bit m for member m) and
// their own text appended to `changed`; NOT_COMPARABLE (and `changed` not to be used) when the two
// are not written with the same members in the same order. Only the bytes between what the two share at both ends are looked at:
// the usual difference is a number or two.
uint32_t differing_members(std::string_view before, std::string_view now, std::vector<std::string_view>& changed) {
    const size_t prefix = common_prefix(before, now);
    if (prefix == before.size() && prefix == now.size()) return 0;
    const size_t suffix = common_suffix(before, now, std::min(before.size(), now.size()) - prefix);
    const size_t start = member_start(now, prefix);
    Members a(before, start), b(now, start);
    Members first = b;
    if (!first.next()) return NOT_COMPARABLE;
    int m = member_index(first.key);
    if (m < 0) return NOT_COMPARABLE;
    uint32_t differing = 0;
    for (;; ++m) {
        // Past the start of the shared end in both, the rest is the same.
        if (a.offset(before) >= before.size() - suffix && b.offset(now) >= now.size() - suffix) break;
        const bool more_a = a.next(), more_b = b.next();
        if (!more_a || !more_b) return more_a == more_b ? differing : NOT_COMPARABLE;
        if (m >= 32 || a.key != b.key) return NOT_COMPARABLE;
        if (a.value == b.value) continue;
        differing |= uint32_t{1} << m;
        changed.push_back(std::string_view(b.key.data(), b.key.size() + b.value.size()));
    }
    return differing;
}

bool worth_editing(uint32_t members) {
    return members != NOT_COMPARABLE && std::popcount(members) <= MAX_EDITED_MEMBERS;
}

char* put_edit(char* p, std::span<const std::string_view> members); // written further down

// The edit that turns the previous picture's command `from` into the new picture's command `at`,
// from the cache or worked out and added to it; NOT_WORTH when the command goes better whole.
uint32_t edit_between(const WholePicture& previous, const PictureIndex& index, size_t from, const WholePicture& picture,
                      size_t at, ChangeScratch& scratch) {
    const uint64_t before = index.hash_at(from), now = picture.command_hashes[at];
    uint32_t edit = EditCache::NOT_WORTH;
    if (scratch.cache.find(before, now, edit)) return edit;
    scratch.changed.clear();
    const uint32_t members = differing_members(previous.command(from), picture.command(at), scratch.changed);
    const bool worth = worth_editing(members);
    std::string_view text;
    if (worth) {
        // An edit is never longer than the command it edits, braces included.
        scratch.edit_text.resize(picture.command(at).size() + 2);
        char* end = put_edit(scratch.edit_text.data(), scratch.changed);
        text = std::string_view(scratch.edit_text.data(), static_cast<size_t>(end - scratch.edit_text.data()));
    }
    return scratch.cache.add(before, now, text, worth);
}

// Runs as triples (at, from, count) of the new picture's commands found in the previous one: a
// run grows while the next command repeats the next one of the previous picture, and otherwise
// a command is looked up wherever it may be. A command found nowhere is compared with the one
// at its place before (just after the run, or at the same distance from it): when only a few
// members differ, it is kept and edited.
void find_places(const WholePicture& previous, const PictureIndex& index, const WholePicture& picture,
                 ChangeScratch& scratch) {
    std::vector<uint32_t>& runs = scratch.runs;
    std::vector<uint32_t>& edits = scratch.edits;
    runs.clear();
    edits.clear();
    size_t aligned = 0;  // the place in the previous picture that lines up with command i
    bool in_run = false; // the last run ends just before i and continues at `aligned`
    for (size_t i = 0; i < picture.size(); ++i, ++aligned) {
        const uint64_t hash = picture.command_hashes[i];
        if (in_run && aligned < previous.size() && index.hash_at(aligned) == hash) {
            ++runs.back();
            continue;
        }
        const uint32_t from = index.find(hash);
        if (from != PictureIndex::NOT_FOUND) {
            runs.insert(runs.end(), {static_cast<uint32_t>(i), from, 1});
            in_run = true;
            aligned = from;
            continue;
        }
        if (aligned < previous.size()) {
            const uint32_t edit = edit_between(previous, index, aligned, picture, i, scratch);
            if (edit != EditCache::NOT_WORTH) {
                if (in_run) ++runs.back();
                else runs.insert(runs.end(), {static_cast<uint32_t>(i), static_cast<uint32_t>(aligned), 1});
                in_run = true;
                edits.insert(edits.end(), {static_cast<uint32_t>(i), static_cast<uint32_t>(aligned), edit});
                continue;
            }
        }
        in_run = false;
    }
}

char* put(char* p, std::string_view text) {
    std::memcpy(p, text.data(), text.size());
    return p + text.size();
}

bool is_zero_value(std::string_view value) {
    return value == "0.00000000" || value == "0" || value == "false" || value == "\"\"";
}

// A float as written, without the zeros that end its decimals (and without a bare point): the
// same number, so it reads back to the same value. Negative zero keeps its form.
std::string_view trimmed_number(std::string_view value) {
    if (value.find('.') == std::string_view::npos || value == "-0.00000000") return value;
    while (value.back() == '0') value.remove_suffix(1);
    if (value.back() == '.') value.remove_suffix(1);
    return value;
}

char* put_member(char* p, std::string_view key, std::string_view value, bool first) {
    if (!first) *p++ = ',';
    p = put(p, key);
    return put(p, trimmed_number(value));
}

// One command's text written compactly: its kind, then only the members not at their zero
// value, floats without trailing zeros. Every reader takes an absent member as zero, so the
// command reads back exactly as the whole picture has it.
char* put_compact_command(char* p, std::string_view text) {
    Members member(text, 0);
    *p++ = '{';
    for (bool first = true; member.next();) {
        if (!first && is_zero_value(member.value)) continue;
        p = put_member(p, member.key, member.value, first);
        first = false;
    }
    *p++ = '}';
    return p;
}

// The members of a command that differ from the one it edits: `{"y":150.5}`.
char* put_edit(char* p, std::span<const std::string_view> members) {
    *p++ = '{';
    for (size_t k = 0; k < members.size(); ++k) {
        const std::string_view member = members[k];
        const size_t colon = member.find(':'); // the key's own colon: keys hold none
        p = put_member(p, member.substr(0, colon + 1), member.substr(colon + 1), k == 0);
    }
    *p++ = '}';
    return p;
}

char* put_numbers(char* p, const std::vector<uint32_t>& list, size_t stride, size_t count) {
    for (size_t r = 0; r < list.size(); r += stride) {
        if (r) *p++ = ',';
        for (size_t k = 0; k < count; ++k) {
            if (k) *p++ = ',';
            p = number_text::write_u64(p, list[r + k]);
        }
    }
    return p;
}

} // namespace

bool write_picture_change(PictureBuffer& out, const WholePicture& previous, const PictureIndex& index,
                          const WholePicture& picture, ChangeScratch& scratch) {
    find_places(previous, index, picture, scratch);
    const std::vector<uint32_t>& runs = scratch.runs;
    const std::vector<uint32_t>& edits = scratch.edits;
    // Bounded before writing: each command goes at most once, fresh or edited, in at most its own
    // text's length; each number is at most ten digits and a comma.
    const size_t start = out.size();
    out.resize(start + HEAD.size() + KEEP.size() + COMMANDS.size() + EDIT_AT.size() + EDITS.size() + 16 +
               (runs.size() + edits.size()) * 11 + picture.body_bytes);
    char* p = out.data() + start;
    p = put(p, HEAD);
    p = number_text::write_u64(p, previous.size());
    p = put(p, KEEP);
    p = put_numbers(p, runs, 1, 1);
    p = put(p, COMMANDS);
    // The places no run covers, in order: before each run, then after the last.
    bool first = true;
    size_t place = 0;
    auto put_fresh = [&](size_t until) {
        for (; place < until; ++place) {
            if (!first) *p++ = ',';
            first = false;
            p = put_compact_command(p, picture.command(place));
        }
    };
    for (size_t r = 0; r < runs.size(); r += 3) {
        put_fresh(runs[r]);
        place = size_t{runs[r]} + runs[r + 2];
    }
    put_fresh(picture.size());
    if (!edits.empty()) {
        p = put(p, EDIT_AT);
        p = put_numbers(p, edits, 3, 1);
        p = put(p, EDITS);
        for (size_t e = 0; e < edits.size(); e += 3) {
            if (e) *p++ = ',';
            p = put(p, scratch.cache.text(edits[e + 2]));
        }
    }
    *p++ = ']';
    *p++ = '}';
    out.resize(static_cast<size_t>(p - out.data()));
    return out.size() - start < picture.body_bytes;
}

bool change_also_serves(const ChangeScratch& scratch, const WholePicture& made_from, const WholePicture& made_for,
                        const WholePicture& previous, const WholePicture& picture) {
    if (previous.size() != made_from.size() || picture.size() != made_for.size()) return false;
    const std::span<const uint64_t> was = previous.command_hashes, now = picture.command_hashes;
    const auto carried_alike = [&](size_t from, size_t until) {
        for (size_t i = from; i < until; ++i)
            if (now[i] != made_for.command_hashes[i]) return false;
        return true;
    };
    const std::vector<uint32_t>& runs = scratch.runs;
    const std::vector<uint32_t>& edits = scratch.edits;
    size_t place = 0, e = 0;
    for (size_t r = 0; r < runs.size(); r += 3) {
        if (!carried_alike(place, runs[r])) return false;
        for (size_t k = 0; k < runs[r + 2]; ++k) {
            const size_t at = runs[r] + k, from = runs[r + 1] + k;
            if (e < edits.size() && edits[e] == at) {
                // An edit holds only the members that differed between the two it was made from.
                if (was[from] != made_from.command_hashes[from] || now[at] != made_for.command_hashes[at]) return false;
                e += 3;
            } else if (now[at] != was[from]) {
                return false;
            }
        }
        place = size_t{runs[r]} + runs[r + 2];
    }
    return carried_alike(place, picture.size());
}

} // namespace cog
