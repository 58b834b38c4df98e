// Drawing and reading room codes.
#include "door/room_codes.h"

#include <cstdint>

namespace cog::door {

std::optional<std::string> normalize_code(std::string_view typed) {
    if (typed.size() != CODE_LENGTH) return std::nullopt;
    std::string code;
    for (char c : typed) {
        const char upper = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        if (CODE_ALPHABET.find(upper) == std::string_view::npos) return std::nullopt;
        code.push_back(upper);
    }
    return code;
}

namespace {

// One letter, uniform over the alphabet: bytes past the largest multiple of its size are drawn again.
std::optional<char> draw_letter(SecureRandom& random) {
    const unsigned size = static_cast<unsigned>(CODE_ALPHABET.size());
    const unsigned limit = 256 - 256 % size;
    for (int tries = 0; tries < 64; ++tries) {
        uint8_t byte = 0;
        if (!random.fill(&byte, 1)) return std::nullopt;
        if (byte < limit) return CODE_ALPHABET[byte % size];
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> draw_code(SecureRandom& random, const std::function<bool(std::string_view)>& taken) {
    for (int tries = 0; tries < 32; ++tries) {
        std::string code;
        for (size_t i = 0; i < CODE_LENGTH; ++i) {
            const auto letter = draw_letter(random);
            if (!letter) return std::nullopt;
            code.push_back(*letter);
        }
        if (!taken(code)) return code;
    }
    return std::nullopt;
}

} // namespace cog::door
