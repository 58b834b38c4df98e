// Typing into a text box from a player's input, with its diagnostic lines.
#include "server/screens/minigame/hands.h"
#include "server/screens/minigame/minigame_input.h"
#include "shared/log/console.h"

#include <string>

namespace cog {

namespace {
bool accepts_typing(const MinigameScreen& state) { return (state.rules->typing_phases & phase_bit(state.phase)) != 0; }

void print_not_typing_phase(const MinigameScreen& state) {
    if (state.rules->dialect == ConsoleDialect::PASSWORD) {
        console_printf("%s Not in TYPING phase (current: %s), ignoring input\n", state.rules->tag,
                       phase_name(*state.rules, state.phase));
    } else {
        console_printf("%s Not in TYPING or WAITING phase, ignoring input\n", state.rules->tag);
    }
}

MinigamePlayer* find_typist(MinigameScreen& state, uint32_t id) {
    auto it = state.players.find(id);
    if (it == state.players.end()) {
        if (state.rules->dialect == ConsoleDialect::PASSWORD) {
            console_printf("%s Player %u not found in state.players\n", state.rules->tag, id);
        }
        return nullptr;
    }
    // The typing pool announces the find twice.
    int repeats = state.rules->dialect == ConsoleDialect::TYPING_POOL ? 2 : 1;
    for (int i = 0; i < repeats; ++i) {
        console_printf("%s Player %u found in state.players, checking keys...\n", state.rules->tag, id);
    }
    return &it->second;
}

void apply_backspace(const MinigameScreen& state, uint32_t id, MinigamePlayer& player) {
    console_printf("%s Backspace pressed for player %u\n", state.rules->tag, id);
    if (player.typed_len > 0) {
        --player.typed_len;
        move_hand(player);
    }
    if (state.rules->dialect == ConsoleDialect::PASSWORD) {
        console_printf("%s Player %u typed_len is now: %d\n", state.rules->tag, id, player.typed_len);
    }
}

// The pressed letters in alphabetical order, whatever order they were struck in.
std::string pressed_letters(const InputState& input) {
    std::string letters;
    for (int i = 0; i < LETTER_KEY_COUNT; ++i) {
        if (input.keys[static_cast<size_t>(i)].just_pressed) letters.push_back(static_cast<char>('A' + i));
    }
    return letters;
}

// "[A, B]": the list as the diagnostic line shows it.
std::string letter_list_text(const std::string& letters) {
    std::string text = "[";
    for (size_t i = 0; i < letters.size(); ++i) {
        if (i > 0) text += ", ";
        text += letters[i];
    }
    return text + "]";
}

void type_letter(const MinigameScreen& state, uint32_t id, MinigamePlayer& player, char letter) {
    const char* tag = state.rules->tag;
    bool fits = player.typed_len >= 0 && player.typed_len < MAX_TYPED;
    console_printf("%s Processing key %c, typed_len=%d, MAX=%d\n", tag, letter, player.typed_len, MAX_TYPED);
    console_printf("%s Condition check: %d < %d = %s\n", tag, player.typed_len, MAX_TYPED, fits ? "true" : "false");
    if (!fits) return;
    console_printf("%s BEFORE: typed_text[0] = %d, typed_len = %d\n", tag, player.typed_text[0], player.typed_len);
    player.typed_text[static_cast<size_t>(player.typed_len)] = letter;
    ++player.typed_len;
    console_printf("%s AFTER: typed_text[0] = %d, typed_len = %d\n", tag, player.typed_text[0], player.typed_len);
    console_printf("%s Player %u typed: %c (len now: %d)\n", tag, id, letter, player.typed_len);
    move_hand(player);
}
} // namespace

void handle_typing_input(MinigameScreen& state, uint32_t id, const InputState& input, bool sender_is_cop) {
    if (!accepts_typing(state)) {
        print_not_typing_phase(state);
        return;
    }
    if (sender_is_cop) {
        console_printf("%s COP cannot type, ignoring input\n", state.rules->tag);
        return;
    }
    MinigamePlayer* player = find_typist(state, id);
    if (!player) return;
    if (input.backspace.just_pressed) apply_backspace(state, id, *player);
    std::string letters = pressed_letters(input);
    if (letters.empty()) return;
    console_printf("%s Keys pressed for player %u: %s (current typed_len: %d)\n", state.rules->tag, id,
                   letter_list_text(letters).c_str(), player->typed_len);
    for (char letter : letters) type_letter(state, id, *player, letter);
}

} // namespace cog
