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
    // Renders after one update that brings the crawl to `seconds`.
    DrawList& render_at(float seconds) {
        crawl.mount();
        crawl.update(seconds);
        frame.list.clear();
        crawl.render(1, frame.list);
        return frame.list;
    }
};

TEST(CrawlStory, KeepsTypographicApostrophes) {
    EXPECT_EQ(CRAWL_STORY[14], "Seriously you don\xE2\x80\x99t want to know how bad the alternative is,");
    EXPECT_NE(CRAWL_STORY[33].find("don\xE2\x80\x99t notice"), std::string_view::npos);
    EXPECT_EQ(CRAWL_STORY[40], "Today, Cogwell Inc. will stand tall, or crumble.");
}

TEST(CrawlScroll, CurvesMeetAtFifteenSeconds) {
    EXPECT_NEAR(crawl_scroll(10, false), (1000.0f / 1350.0f + 5.0f) * 60.0f, 1e-3f);
    EXPECT_FLOAT_EQ(crawl_scroll(15, false), 600.0f);
    EXPECT_FLOAT_EQ(crawl_scroll(15, true), 600.0f);
    EXPECT_NEAR(crawl_scroll(20, true), (125.0f / 75.0f + 5.0f) * 60.0f + 600.0f, 1e-3f);
}

TEST_F(CrawlTest, LinesEnterAtTheBottomAndLeaveAtTheTop) {
    crawl.render(1, frame.list);
    EXPECT_EQ(frame.list.size(), 1u); // line 0 sits at y 820
    EXPECT_NE(find_text(render_at(0.01f), CRAWL_STORY[0]), nullptr);

    const auto texts = commands_of_kind(render_at(15.0f), DrawCommandKind::TEXT);
    ASSERT_EQ(texts.size(), 12u); // lines 0..11; gaps drawn as empty texts
    EXPECT_FLOAT_EQ(texts[0].y, 220.0f);
    EXPECT_FLOAT_EQ(texts[11].y, 770.0f);
    EXPECT_EQ(texts[11].text, CRAWL_STORY[11]);

    EXPECT_NE(find_text(render_at(27.4f), CRAWL_STORY[40]), nullptr);
    for (const std::string& text : texts_of(render_at(27.6f))) EXPECT_EQ(text, "");
}

TEST_F(CrawlTest, PushesRoleRevealAtThirtySeconds) {
    EXPECT_EQ(run_frames(crawl, 59, 0.5f).kind, TransitionKind::NONE);
    const ScreenTransition t = crawl.update(0.5f);
    EXPECT_EQ(t.kind, TransitionKind::PUSH);
    EXPECT_EQ(t.screen, ScreenId::ROLE_REVEAL);
}

} // namespace
} // namespace cog::test
