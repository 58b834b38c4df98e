// Intro crawl: the story text, both scroll curves, the visible window and the hand-over at 30 s.
#include "server/screens/crawl/crawl_state.h"
#include "server/screens/crawl/crawl_story.h"
#include "tests/flow/flow_support.h"

#include <gtest/gtest.h>

namespace cog::test {
namespace {

class CrawlTest : public ::testing::Test {
protected:
    TestWorld world;
    CrawlState crawl;
    Frame frame;

    void SetUp() override { push_like_host(crawl, world.global); }

    // Brings the crawl to `seconds` in one update, as one long frame would.
    DrawList& render_at(float seconds) {
        crawl.elapsed = 0;
        EXPECT_EQ(crawl.update(seconds).kind, TransitionKind::NONE);
        frame.list.clear();
        crawl.render(1, frame.list);
        return frame.list;
    }
};

TEST(CrawlStory, KeepsTheTypographicApostrophes) {
    EXPECT_EQ(CRAWL_STORY[0], "The year is 21XX...");
    EXPECT_EQ(CRAWL_STORY[14], "Seriously you don\xE2\x80\x99t want to know how bad the alternative is,");
    EXPECT_EQ(CRAWL_STORY[14].find('\''), std::string_view::npos);
    EXPECT_NE(CRAWL_STORY[33].find("don\xE2\x80\x99t notice"), std::string_view::npos);
    EXPECT_EQ(CRAWL_STORY[40], "Today, Cogwell Inc. will stand tall, or crumble.");
    EXPECT_TRUE(CRAWL_STORY[1].empty());
    EXPECT_TRUE(CRAWL_STORY[43].empty());
}

TEST(CrawlScroll, CurvesMeetAtFifteenSeconds) {
    EXPECT_FLOAT_EQ(crawl_scroll(0, false), 0.0f);
    EXPECT_NEAR(crawl_scroll(10, false), (1000.0f / 1350.0f + 5.0f) * 60.0f, 1e-3f);
    EXPECT_FLOAT_EQ(crawl_scroll(15, false), 600.0f);
    EXPECT_FLOAT_EQ(crawl_scroll(15, true), 600.0f);
    EXPECT_NEAR(crawl_scroll(20, true), (125.0f / 75.0f + 5.0f) * 60.0f + 600.0f, 1e-3f);
}

TEST_F(CrawlTest, FirstFrameShowsNothingButTheBackground) {
    crawl.render(1, frame.list);
    ASSERT_EQ(frame.list.size(), 1u);
    EXPECT_EQ(frame.list[0].color, (Color{0, 0, 0, 255}));
    EXPECT_NE(find_text(render_at(0.01f), CRAWL_STORY[0]), nullptr);
}

TEST_F(CrawlTest, AtFifteenSecondsTheFastCurveTakesOver) {
    const DrawList& list = render_at(15.0f);
    EXPECT_TRUE(crawl.fast);
    const auto texts = commands_of_kind(list, DrawCommandKind::TEXT);
    ASSERT_EQ(texts.size(), 12u); // lines 0..11
    EXPECT_FLOAT_EQ(texts[0].y, 220.0f);
    EXPECT_FLOAT_EQ(texts[0].x, 80.0f);
    EXPECT_EQ(texts[0].font_size, 32);
    EXPECT_EQ(texts[0].color, (Color{255, 220, 100, 255}));
    EXPECT_EQ(texts[1].text, ""); // gaps are drawn as empty texts
    EXPECT_FLOAT_EQ(texts[11].y, 770.0f);
    EXPECT_EQ(texts[11].text, CRAWL_STORY[11]);
}

TEST_F(CrawlTest, LastLineLeavesAfterAboutTwentySevenAndAHalfSeconds) {
    EXPECT_NE(find_text(render_at(27.4f), CRAWL_STORY[40]), nullptr);
    for (const std::string& text : texts_of(render_at(27.6f))) EXPECT_EQ(text, "");
}

TEST_F(CrawlTest, PushesRoleRevealAtThirtySecondsAndRemountRestarts) {
    EXPECT_EQ(run_frames(crawl, 59, 0.5f).kind, TransitionKind::NONE);
    const ScreenTransition t = crawl.update(0.5f);
    EXPECT_EQ(t.kind, TransitionKind::PUSH);
    EXPECT_EQ(t.screen, ScreenId::ROLE_REVEAL);
    crawl.mount();
    EXPECT_FLOAT_EQ(crawl.elapsed, 0.0f);
    EXPECT_FALSE(crawl.fast);
}

} // namespace
} // namespace cog::test
