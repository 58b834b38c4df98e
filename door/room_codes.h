// Room codes: four letters that read aloud and type without doubt, drawn at random.
#pragma once

#include "door/secure_random.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace cog::door {

// No vowels (no words), none of I, L, O and no digits (no look-alikes).
inline constexpr std::string_view CODE_ALPHABET = "BCDFGHJKMNPQRSTVWXZ";
inline constexpr size_t CODE_LENGTH = 4;

// The code as typed in any case, upper-cased, or nothing when it is not a code.
std::optional<std::string> normalize_code(std::string_view typed);

// A fresh code that `taken` does not hold; nothing when the random source failed or every try
// (a bounded number) hit a taken code.
std::optional<std::string> draw_code(SecureRandom& random, const std::function<bool(std::string_view)>& taken);

} // namespace cog::door
