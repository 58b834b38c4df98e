// Whole-minigame flow: word and question draws, stage timing, the end without a shot, spectators.
#include "server/screens/typewriter/typewriter_words.h"
#include "tests/minigames/minigame_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace cog::test {
namespace {

TEST(WordDraw, PartialShuffleOfTheTier) {
    ScriptedRandom random;
    random.queue_uniform(0.95); // a[0] <-> a[9]
    random.queue_uniform(0.0);
    random.queue_uniform(0.99); // a[2] <-> a[9], which now holds the old a[0]
    std::vector<std::string> words;
    typewriter::pick_random_words(words, typewriter::WORDS_EASY, random);
    EXPECT_EQ(words, (std::vector<std::string>{"TREE", "OBEY", "CAT"}));
}

TEST(WordDraw, NineWordsThreePerTierInOrder) {
    for (uint64_t seed = 1; seed <= 20; ++seed) {
        SeededRandom random(seed);
        auto created = create_typewriter(random);
        auto& tw = static_cast<typewriter::TypewriterState&>(*created);
        ASSERT_EQ(tw.word_count, 9);
        const typewriter::WordTier* tiers[] = {&typewriter::WORDS_EASY, &typewriter::WORDS_MEDIUM,
                                                &typewriter::WORDS_HARD};
        for (size_t i = 0; i < 9; ++i) {
            const auto& tier = *tiers[i / 3];
            EXPECT_NE(std::find(tier.begin(), tier.end(), tw.words[i]), tier.end()) << tw.words[i];
        }
        EXPECT_EQ(std::set<std::string>(tw.words.begin(), tw.words.end()).size(), 9u);
    }
}

TEST(QuestionDraw, PartialShuffleOfTheFive) {
    ScriptedRandom random;
    for (int i = 0; i < 3; ++i) random.queue_uniform(0.99);
    std::vector<password::Question> questions;
    password::pick_random_questions(questions, random);
    ASSERT_EQ(questions.size(), 3u);
    EXPECT_EQ(questions[0].prompt, "Password is a word that starts with the letter \"n\"");
    EXPECT_EQ(questions[0].answer, "Knight");
    EXPECT_EQ(questions[1].answer, "Cat");
    EXPECT_EQ(questions[2].answer, "Pico");
}

TEST(TypingPoolFlow, NineWordsThenPopAfterFiftyFourSeconds) {
    Table table;
    auto tw = table.typewriter();
    RunResult result = run_until_transition(*tw, 0.5f, 200);
    EXPECT_EQ(result.transition.kind, TransitionKind::POP);
    EXPECT_EQ(result.steps, 108);
    EXPECT_EQ(table.console.count("[TYPEWRITER] Transitioning from INTRO to TYPING phase\n"), 1u);
    EXPECT_EQ(table.console.count("Phase transition: TYPING -> WAITING"), 9u);
    EXPECT_TRUE(table.console.contains("[TYPEWRITER] Phase transition: TYPING -> WAITING (stage 8 complete)\n"));
    EXPECT_TRUE(table.console.contains("[TYPEWRITER] Phase transition: WAITING -> TYPING (stage 9/9, word: " +
                                       tw->words[8] + ")\n"));
    EXPECT_EQ(table.console.count("[TYPEWRITER] Game complete, transitioning to lobby\n"), 1u);
}

TEST(TypingPoolFlow, TopSectionFollowsThePhase) {
    Table table;
    auto tw = table.typewriter();
    tw->update(0.5f);
    Frame typing;
    tw->render(HUMAN_ID, typing.list);
    const DrawCommand* counter = find_text(typing.list, "Word 1/9");
    ASSERT_NE(counter, nullptr);
    EXPECT_FLOAT_EQ(counter->x, 640 - 8 * 8);
    EXPECT_EQ(find_text(typing.list, "3s")->color, (Color{255, 200, 100, 255}));
    // The glowing word: four layers and the main text.
    size_t word_texts = 0;
    for (const auto& c : typing.list) word_texts += c.kind == DrawCommandKind::TEXT && c.text == tw->current_word;
    EXPECT_EQ(word_texts, 5u);

    run_steps(*tw, 0.5f, 6); // 0.5 s into the wait
    Frame waiting;
    tw->render(HUMAN_ID, waiting.list);
    const DrawCommand* next = find_text(waiting.list, "Next word in: 3s");
    ASSERT_NE(next, nullptr);
    EXPECT_FLOAT_EQ(next->x, 640 - 12 * 16 + 20);
}

TEST(PasswordFlow, ThreeQuestionsThenPopWithoutALine) {
    Table table;
    auto pw = table.password();
    RunResult intro = run_until_transition(*pw, 0.5f, 9);
    EXPECT_EQ(pw->phase, password::INTRO);
    EXPECT_EQ(intro.transition.kind, TransitionKind::NONE);
    pw->update(0.5f); // 5 s: the first question starts
    EXPECT_EQ(pw->phase, password::THINKING);
    RunResult rest = run_until_transition(*pw, 0.5f, 200);
    EXPECT_EQ(rest.transition.kind, TransitionKind::POP);
    EXPECT_EQ(10 + rest.steps, 81); // 40.5 s: the first thinking step shares the intro's last update
    EXPECT_EQ(pw->question_index, 3);
    EXPECT_FALSE(table.console.contains("transitioning to lobby"));
}

TEST(DeadViewers, DeadTypingPoolPlayerGetsThePurpleFrameOnly) {
    Table table;
    auto tw = table.typewriter();
    run_steps(*tw, 0.5f, 40);
    table.world.global.players[HUMAN_ID].is_dead = true;
    Frame frame;
    tw->render(HUMAN_ID, frame.list);
    EXPECT_NE(find_text(frame.list, "SPECTATOR MODE"), nullptr);
    EXPECT_NE(find_text(frame.list, "You have been eliminated"), nullptr);
    EXPECT_EQ(find_text(frame.list, "Alert! The observer is watching you"), nullptr);
    EXPECT_EQ(find_text(frame.list, "YOU"), nullptr); // no longer a figure
    EXPECT_EQ(count_sprites(frame.list, AssetId::BODY), 7u);
}

TEST(DeadViewers, DeadPasswordPlayerStillGetsTheRedAlert) {
    Table table;
    auto pw = table.password();
    run_steps(*pw, 0.5f, 24);
    table.world.global.players[HUMAN_ID].is_dead = true;
    Frame frame;
    pw->render(HUMAN_ID, frame.list);
    EXPECT_NE(find_text(frame.list, "Alert! The observer is watching you"), nullptr);
    EXPECT_EQ(find_text(frame.list, "SPECTATOR MODE"), nullptr);
}

} // namespace
} // namespace cog::test
