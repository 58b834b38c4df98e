// Bot typing: letter schedules, one letter per update, no mistakes, the 32-letter bound.
#include "server/screens/minigame/bot_typing.h"
#include "tests/minigames/minigame_table.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

namespace cog::test {
namespace {

TEST(LetterSchedule, GapsAreJitteredAroundTheMeanAndSummed) {
    ScriptedRandom random;
    random.queue_uniform(0.0);  // -40 %
    random.queue_uniform(0.5);  // mean
    random.queue_uniform(0.75); // +20 %
    BotPlan plan;
    plan_letter_times(plan, 3.0f, 3, random);
    EXPECT_FLOAT_EQ(plan.letter_times[0], 0.6f);
    EXPECT_FLOAT_EQ(plan.letter_times[1], 1.6f);
    EXPECT_FLOAT_EQ(plan.letter_times[2], 2.8f);
    EXPECT_FLOAT_EQ(plan.letter_times[3], 0.0f);
}

TEST(LetterSchedule, GapsNeverShorterThanFiftyMilliseconds) {
    ScriptedRandom random;
    BotPlan plan;
    plan_letter_times(plan, 0.1f, 4, random);
    EXPECT_FLOAT_EQ(plan.letter_times[0], 0.05f);
    EXPECT_FLOAT_EQ(plan.letter_times[3], 0.2f);
}

TEST(LetterSchedule, LongTargetsAreClampedToTheBox) {
    ScriptedRandom random;
    BotPlan plan;
    plan.answer = "kept";
    plan_letter_times(plan, 1.0f, 40, random);
    EXPECT_EQ(plan.answer, "kept"); // nothing written past letter_times
    MinigamePlayer player;
    player.bot = plan;
    std::string target(40, 'X');
    for (int i = 0; i < 50; ++i) type_due_letter(player, target, 100.0f);
    EXPECT_EQ(player.typed_len, 32);
}

// Checks, update after update, that bots only extend a correct prefix by one letter at a time.
void expect_orderly_typing(ScreenProcs& screen, std::map<uint32_t, MinigamePlayer>& players, int steps,
                           const std::function<std::string(uint32_t)>& target_of) {
    std::map<uint32_t, int> before;
    for (int step = 0; step < steps; ++step) {
        for (auto& [id, p] : players) before[id] = p.typed_len;
        screen.update(1.0f / 60.0f);
        for (auto& [id, p] : players) {
            if (id < BOT_ID) continue;
            int grew = p.typed_len - before[id];
            EXPECT_TRUE(grew == 0 || grew == 1 || p.typed_len == 0) << "bot " << id << " step " << step;
            std::string target = target_of(id);
            EXPECT_EQ(typed(p), target.substr(0, static_cast<size_t>(p.typed_len)));
        }
    }
}

TEST(TypingPoolBots, TypeEachWordCorrectlyWithinTheirPlan) {
    Table table;
    auto tw = table.typewriter();
    tw->update(1.0f / 60.0f);
    for (uint32_t id = BOT_ID; id <= 9; ++id) {
        const BotPlan& plan = tw->players[id].bot;
        EXPECT_GE(plan.total_time, 0.8f);
        EXPECT_LT(plan.total_time, 2.5f);
        float previous = 0;
        for (size_t k = 0; k < tw->current_word.size(); ++k) {
            EXPECT_GE(plan.letter_times[k] - previous, 0.05f - 1e-6f);
            previous = plan.letter_times[k];
        }
        EXPECT_EQ(tw->players[id].typed_len, 0);
    }
    expect_orderly_typing(*tw, tw->players, 60 * 20, [&](uint32_t) { return tw->current_word; });
    EXPECT_EQ(tw->players[HUMAN_ID].typed_len, 0); // humans are not driven
}

TEST(PasswordBots, TypeTheirDrawnPasswordOnlyAfterThinking) {
    Table table;
    auto pw = table.password();
    run_steps(*pw, 0.5f, 10);
    ASSERT_EQ(pw->phase, password::THINKING);
    for (uint32_t id = BOT_ID; id <= 9; ++id) {
        const BotPlan& plan = pw->players[id].bot;
        const password::Question& q = pw->current_question;
        bool known = plan.answer == q.answer;
        for (auto decoy : q.decoys) known = known || plan.answer == decoy;
        EXPECT_TRUE(known) << plan.answer;
        EXPECT_GE(plan.wait_time, 2.0f);
        EXPECT_LT(plan.wait_time, 6.0f);
        EXPECT_GE(plan.total_time, 2.0f);
        EXPECT_LT(plan.total_time, 4.0f);
    }
    EXPECT_EQ(table.console.count("[PASSWORD] Bot player "), 6u);
    // Every candidate can be drawn, the last decoy included (a pick among one too few never
    // reaches it): 6 bots x 100 plans over 20 candidates.
    bool last_decoy_drawn = false;
    for (int plan = 0; plan < 100 && !last_decoy_drawn; ++plan) {
        password::init_bot_typing_for_question(*pw);
        for (uint32_t id = BOT_ID; id <= 9; ++id)
            last_decoy_drawn = last_decoy_drawn || pw->players[id].bot.answer == pw->current_question.decoys.back();
    }
    EXPECT_TRUE(last_decoy_drawn);
    run_steps(*pw, 0.5f, 11);
    ASSERT_EQ(pw->phase, password::TYPING);
    for (uint32_t id = BOT_ID; id <= 9; ++id) EXPECT_EQ(pw->players[id].typed_len, 0);
    expect_orderly_typing(*pw, pw->players, 60 * 3, [&](uint32_t id) { return pw->players[id].bot.answer; });
}

TEST(PasswordBots, ShortWaitStartsTypingInsideTheTypingPhase) {
    Table table;
    auto pw = table.password();
    table.world.global.players.erase(5); // one bot only keeps the draws simple
    for (uint32_t id = 6; id <= 9; ++id) table.world.global.players.erase(id);
    for (uint32_t id = 5; id <= 9; ++id) pw->on_player_leave(id);
    ScriptedRandom scripted;
    scripted.queue_uniform(0.0); // the answer itself
    scripted.queue_uniform(0.0); // wait 2 s
    scripted.queue_uniform(0.0); // target 2 s
    scripted.fallback = 0x800000; // every gap at the mean
    table.world.global.random = &scripted;
    run_steps(*pw, 0.5f, 10);
    const std::string answer(pw->current_question.answer);
    ASSERT_EQ(pw->players[BOT_ID].bot.answer, answer);
    run_steps(*pw, 0.5f, 11); // TYPING begins
    run_steps(*pw, 0.5f, 3);
    EXPECT_EQ(pw->players[BOT_ID].typed_len, 0);
    EXPECT_FALSE(table.console.contains("finished thinking"));
    pw->update(0.5f); // 2 s of waiting done, and the schedule's first letters are due
    EXPECT_TRUE(table.console.contains("[PASSWORD] Bot player 4 finished thinking, now typing: '" + answer + "'\n"));
    EXPECT_EQ(pw->players[BOT_ID].typed_len, 1); // catches up one letter per update
    pw->update(0.1f);
    EXPECT_EQ(pw->players[BOT_ID].typed_len, 2);
}

} // namespace
} // namespace cog::test
