// Profiler zones: identity by parent and name, per-frame counters and the all-time maximum.
#include "server/profiler/profiler.h"
#include "tests/support/test_world.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

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

TEST(Profiler, FullRegionCountsRefusedOpeningsAndResetClearsMaxima) {
    FakeClock clock;
    Profiler p(clock);
    // Distinct names under one parent until the region is full; none may crash or unpair.
    std::vector<std::string> names;
    for (size_t i = 0; i < Profiler::REGION_BYTES / sizeof(Zone) + 10; ++i) names.push_back("z" + std::to_string(i));
    p.begin_frame();
    for (const std::string& name : names) {
        p.push(name);
        p.push("inner"); // refused too once the region is full
        clock.advance_ns(10);
        p.pop();
        p.pop();
    }
    p.end_frame();
    EXPECT_EQ(&p.current(), &p.root());
    const Zone* overflow = child(p.root(), "<overflow>");
    ASSERT_NE(overflow, nullptr);
    EXPECT_GT(overflow->hits, 10);
    EXPECT_EQ(p.root().last_child, overflow); // listed once, after the zones that fit

    const Zone* first = child(p.root(), "z0");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->all_time_max_ns, 10);
    p.reset_all_time_max();
    EXPECT_EQ(first->all_time_max_ns, 0);
    EXPECT_EQ(child(*first, "inner")->all_time_max_ns, 0);
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
