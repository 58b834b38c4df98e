// Profiler zones: identity by parent and name, per-frame counters and the all-time maximum.
#include "server/profiler/profiler.h"
#include "tests/support/test_world.h"

#include <gtest/gtest.h>

namespace cog::test {
namespace {

const Zone* child(const Zone& parent, std::string_view name) {
    for (const Zone* z = parent.first_child; z; z = z->next_sibling)
        if (z->name == name) return z;
    return nullptr;
}

void timed(Profiler& p, FakeClock& clock, std::string_view name, int64_t ns) {
    p.push(name);
    clock.advance_ns(ns);
    p.pop();
}

TEST(Profiler, ThreeOpeningsInOneFrameAndZonesPerParent) {
    FakeClock clock;
    Profiler p(clock);
    p.begin_frame();
    p.push("send_draw_commands");
    timed(p, clock, "render", 1'000'000);
    timed(p, clock, "render", 3'000'000);
    timed(p, clock, "render", 2'000'000);
    p.pop();
    p.push("update_state");
    timed(p, clock, "render", 5'000'000);
    p.pop();
    p.end_frame();

    const Zone* send = child(p.root(), "send_draw_commands");
    ASSERT_NE(send, nullptr);
    const Zone* render = child(*send, "render");
    ASSERT_NE(render, nullptr);
    EXPECT_EQ(render->hits, 3);
    EXPECT_EQ(render->total_ns, 6'000'000);
    EXPECT_EQ(render->max_ns, 3'000'000);
    EXPECT_EQ(send->child_count, 1);
    const Zone* other = child(*child(p.root(), "update_state"), "render");
    ASSERT_NE(other, nullptr);
    EXPECT_NE(other, render);
    EXPECT_EQ(p.root().total_ns, 11'000'000);
    EXPECT_EQ(&p.current(), &p.root());

    // A frame without the zone: counters back to 0, the all-time maximum stays.
    p.begin_frame();
    p.end_frame();
    EXPECT_EQ(render->hits, 0);
    EXPECT_EQ(render->max_ns, 0);
    EXPECT_EQ(render->all_time_max_ns, 3'000'000);
}

TEST(Profiler, HashSeedsWithTheFirstByte) {
    // h starts at the first byte, then every byte (the first included) is xored in and multiplied.
    const uint32_t a = 'a';
    EXPECT_EQ(Profiler::zone_hash("a"), (a ^ a) * 16777619u);
    EXPECT_EQ(Profiler::zone_hash("ab"), ((((a ^ a) * 16777619u) ^ 'b') * 16777619u));
}

TEST(Profiler, UnpairedPopKeepsTheRootCurrent) {
    FakeClock clock;
    Profiler p(clock);
    p.pop();
    EXPECT_EQ(&p.current(), &p.root());
    p.push("x");
    p.pop();
    EXPECT_EQ(&p.current(), &p.root());
}

} // namespace
} // namespace cog::test
