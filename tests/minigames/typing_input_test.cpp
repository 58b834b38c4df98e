// Human typing: letter order, the 32-letter box, backspace, who may type when, and the box colours.
#include "tests/minigames/minigame_table.h"

#include <gtest/gtest.h>

namespace cog::test {
namespace {

struct TypingPoolInput : ::testing::Test {
    Table table;
    std::unique_ptr<typewriter::TypewriterState> tw = table.typewriter();
    MinigamePlayer& human() { return tw->players[HUMAN_ID]; }
    void SetUp() override { tw->update(0.5f); }
};

TEST_F(TypingPoolInput, LettersOfOneInputAreTakenAlphabetically) {
    table.send(*tw, HUMAN_ID, letters("CA"));
    EXPECT_EQ(typed(human()), "AC");
    EXPECT_TRUE(table.console.contains("[TYPEWRITER] Keys pressed for player 2: [A, C] (current typed_len: 0)\n"));
    EXPECT_EQ(table.console.count("[TYPEWRITER] Player 2 found in state.players, checking keys...\n"), 2u);
}

TEST_F(TypingPoolInput, BoxHoldsThirtyTwoLettersAndDropsTheRest) {
    human().typed_len = 31;
    table.send(*tw, HUMAN_ID, letters("AB"));
    EXPECT_EQ(human().typed_len, 32);
    EXPECT_EQ(human().typed_text[31], 'A');
    EXPECT_TRUE(table.console.contains("[TYPEWRITER] Condition check: 32 < 32 = false\n"));
    EXPECT_FALSE(table.console.contains("typed: B"));
    Frame frame;
    tw->render(HUMAN_ID, frame.list); // the full box draws without reading past it
    EXPECT_EQ(find_text(frame.list, "_")->x, 130 - 15 + 10 + 16 * 32);
}

TEST_F(TypingPoolInput, BackspaceAtZeroChangesNothing) {
    InputState input;
    input.backspace.just_pressed = true;
    table.send(*tw, HUMAN_ID, input);
    EXPECT_EQ(human().typed_len, 0);
    EXPECT_TRUE(human().next_hand_left);
    EXPECT_FLOAT_EQ(human().left_hand_offset, 0.0f);
    table.send(*tw, HUMAN_ID, letters("AB"));
    table.send(*tw, HUMAN_ID, input);
    EXPECT_EQ(typed(human()), "A");
    EXPECT_FALSE(human().next_hand_left); // three moves: left, right, left
}

TEST_F(TypingPoolInput, KeyPressesAlternateHandsThatRiseBack) {
    table.send(*tw, HUMAN_ID, letters("AB"));
    EXPECT_FLOAT_EQ(human().left_hand_offset, 20.0f);
    EXPECT_FLOAT_EQ(human().right_hand_offset, 20.0f);
    tw->update(0.125f);
    EXPECT_FLOAT_EQ(human().left_hand_offset, 7.5f);
    tw->update(0.125f);
    EXPECT_FLOAT_EQ(human().left_hand_offset, 0.0f);
}

TEST_F(TypingPoolInput, TypingDuringTheWaitStaysUntilTheNextWord) {
    run_steps(*tw, 0.5f, 5);
    ASSERT_EQ(tw->phase, typewriter::WAITING);
    table.send(*tw, HUMAN_ID, letters("Q"));
    EXPECT_EQ(typed(human()), "Q");
    run_steps(*tw, 0.5f, 6);
    ASSERT_EQ(tw->phase, typewriter::TYPING);
    EXPECT_EQ(human().typed_len, 0);
}

TEST_F(TypingPoolInput, OverseerDeadAndUnknownPlayersCannotType) {
    table.send(*tw, COP_ID, letters("A"));
    EXPECT_TRUE(table.console.contains("[TYPEWRITER] COP cannot type, ignoring input\n"));
    EXPECT_EQ(tw->players[COP_ID].typed_len, 0);

    table.world.global.players[OTHER_HUMAN_ID].is_dead = true;
    table.send(*tw, OTHER_HUMAN_ID, letters("A"));
    EXPECT_TRUE(table.console.contains("[TYPEWRITER] Player 3 is dead, ignoring input\n"));
    EXPECT_EQ(tw->players[OTHER_HUMAN_ID].typed_len, 0);

    tw->on_player_leave(HUMAN_ID);
    table.console.clear();
    table.send(*tw, HUMAN_ID, letters("A"));
    EXPECT_FALSE(table.console.contains("found in state.players"));
    EXPECT_EQ(tw->players.count(HUMAN_ID), 0u);
}

TEST(PasswordInput, TypingOnlyDuringTypingWithItsOwnLines) {
    Table table;
    auto pw = table.password();
    run_steps(*pw, 0.5f, 10);
    ASSERT_EQ(pw->phase, password::THINKING);
    table.send(*pw, HUMAN_ID, letters("C"));
    EXPECT_TRUE(table.console.contains("[PASSWORD] Not in TYPING phase (current: THINKING), ignoring input\n"));
    EXPECT_EQ(pw->players[HUMAN_ID].typed_len, 0);

    run_steps(*pw, 0.5f, 11);
    ASSERT_EQ(pw->phase, password::TYPING);
    table.send(*pw, HUMAN_ID, letters("C"));
    EXPECT_EQ(table.console.count("[PASSWORD] Player 2 found in state.players, checking keys...\n"), 1u);
    InputState back;
    back.backspace.just_pressed = true;
    table.send(*pw, HUMAN_ID, back);
    EXPECT_TRUE(table.console.contains("[PASSWORD] Player 2 typed_len is now: 0\n"));

    pw->on_player_leave(HUMAN_ID);
    table.send(*pw, HUMAN_ID, letters("C"));
    EXPECT_TRUE(table.console.contains("[PASSWORD] Player 2 not found in state.players\n"));
}

TEST(PasswordInput, CapitalsMatchOnlyTheFirstLetterOfTheAnswer) {
    Table table;
    auto pw = table.password();
    pw->current_question = password::QUESTIONS[0]; // "Cat"
    run_steps(*pw, 0.5f, 21);
    ASSERT_EQ(pw->phase, password::TYPING);
    table.send(*pw, HUMAN_ID, letters("C"));
    table.send(*pw, HUMAN_ID, letters("A"));
    table.send(*pw, HUMAN_ID, letters("T"));
    Frame frame;
    pw->render(HUMAN_ID, frame.list);
    const Color green{100, 255, 100, 255}, red{255, 50, 50, 255};
    EXPECT_EQ(find_text(frame.list, "C")->color, green);
    EXPECT_EQ(find_text(frame.list, "A")->color, red);
    EXPECT_EQ(find_text(frame.list, "T")->color, red);
}

} // namespace
} // namespace cog::test
