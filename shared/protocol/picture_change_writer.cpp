// Matching a picture's commands against the previous one, then writing the change in one pass.
#include "shared/protocol/picture_change_writer.h"

#include "shared/protocol/number_text.h"

#include <cstring>

namespace cog {

namespace {

constexpr std::string_view HEAD = R"({"kind":2,"base":)";
constexpr std::string_view KEEP = R"(,"keep":[)";
constexpr std::string_view COMMANDS = R"(],"commands":[)";

// Runs as triples (at, from, count) of the new picture's commands found in the previous one: a
// run grows while the next command repeats the next one of the previous picture, and otherwise
// a command is looked up wherever it may be.
void find_runs(const PictureMemory& previous, std::span<const uint64_t> hashes, std::vector<uint32_t>& runs) {
    runs.clear();
    bool in_run = false;
    for (size_t i = 0; i < hashes.size(); ++i) {
        if (in_run) {
            const size_t next = size_t{runs[runs.size() - 2]} + runs.back();
            if (next < previous.size() && previous.hash_at(next) == hashes[i]) {
                ++runs.back();
                continue;
            }
        }
        const uint32_t from = previous.find(hashes[i]);
        in_run = from != PictureMemory::NOT_FOUND;
        if (in_run) runs.insert(runs.end(), {static_cast<uint32_t>(i), from, 1});
    }
}

char* put(char* p, std::string_view text) {
    std::memcpy(p, text.data(), text.size());
    return p + text.size();
}

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

// One command's text written compactly: its kind, then only the members not at their zero
// value, floats without trailing zeros. Every reader takes an absent member as zero, so the
// command reads back exactly as the whole picture has it.
char* put_compact_command(char* p, std::string_view text) {
    const char* q = text.data();
    const char* end = q + text.size();
    const char* kind_end = value_end(q + 8, end); // after {"kind":
    p = put(p, std::string_view(q, static_cast<size_t>(kind_end - q)));
    q = kind_end;
    while (q < end && *q == ',') {
        const char* colon = static_cast<const char*>(std::memchr(q, ':', static_cast<size_t>(end - q)));
        if (!colon) break;
        const char* after = value_end(colon + 1, end);
        const std::string_view value(colon + 1, static_cast<size_t>(after - colon - 1));
        if (!is_zero_value(value)) {
            p = put(p, std::string_view(q, static_cast<size_t>(colon + 1 - q)));
            p = put(p, trimmed_number(value));
        }
        q = after;
    }
    *p++ = '}';
    return p;
}

// Copies commands first..last-1 of the whole picture, compactly, with commas between them.
char* put_commands(char* p, const WholePicture& picture, size_t first, size_t last) {
    const auto& starts = picture.command_starts;
    const size_t count = starts.size() - 1;
    for (size_t m = first; m < last; ++m) {
        if (m > first) *p++ = ',';
        const uint32_t end = m + 1 < count ? starts[m + 1] - 1 : starts[count];
        p = put_compact_command(p, picture.body.substr(starts[m], end - starts[m]));
    }
    return p;
}

} // namespace

bool write_picture_change(PictureBuffer& out, const PictureMemory& previous, const WholePicture& picture,
                          std::vector<uint32_t>& runs) {
    const size_t count = picture.command_hashes.size();
    find_runs(previous, picture.command_hashes, runs);
    // Bounded before writing: the new commands are at most the whole body, each number at most
    // ten digits and a comma.
    const size_t start = out.size();
    out.resize(start + HEAD.size() + KEEP.size() + COMMANDS.size() + 16 + runs.size() * 11 + picture.body.size());
    char* p = out.data() + start;
    p = put(p, HEAD);
    p = number_text::write_u64(p, previous.size());
    p = put(p, KEEP);
    for (size_t r = 0; r < runs.size(); ++r) {
        if (r) *p++ = ',';
        p = number_text::write_u64(p, runs[r]);
    }
    p = put(p, COMMANDS);
    // The places no run covers, in order: before each run, then after the last.
    bool first_piece = true;
    size_t place = 0;
    auto put_fresh = [&](size_t until) {
        if (until == place) return;
        if (!first_piece) *p++ = ',';
        first_piece = false;
        p = put_commands(p, picture, place, until);
    };
    for (size_t r = 0; r < runs.size(); r += 3) {
        put_fresh(runs[r]);
        place = size_t{runs[r]} + runs[r + 2];
    }
    put_fresh(count);
    *p++ = ']';
    *p++ = '}';
    out.resize(static_cast<size_t>(p - out.data()));
    return out.size() - start < picture.body.size();
}

} // namespace cog
