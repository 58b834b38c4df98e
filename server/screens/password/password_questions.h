// The password prompts with their answers and decoys, and the draw of three of them.
#pragma once

#include "shared/platform/random.h"

#include <array>
#include <span>
#include <string_view>
#include <vector>

namespace cog::password {

struct Question {
    std::string_view prompt;                // shown to everybody
    std::string_view answer;                // what the text boxes compare with
    std::span<const std::string_view> decoys; // the other passwords bots may type
};

extern const std::array<Question, 5> QUESTIONS;

// Appends three distinct questions in random order (a partial shuffle, three draws).
void pick_random_questions(std::vector<Question>& questions, Random& random);

} // namespace cog::password
