// The status window: the profiler rows' texts, and the panels drawn into their fixed-size target.
#include "server/profiler/profiler.h"
#include "server/ui/profiler_rows.h"
#include "server/ui/status_window.h"
#include "tests/host/host_harness.h"

#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <imgui.h>
#include <stb/stb_image_write.h>
#include <string>

namespace cog::test {
namespace {

TEST(StatusWindow, ProfilerRowsReadAsFormatted) {
    FakeClock clock;
    Profiler p(clock);
    p.begin_frame();
    p.push("main_loop");
    p.push("send_draw_commands");
    for (int64_t ns : {1'000'000, 3'000'000, 2'000'000}) {
        p.push("render");
        clock.advance_ns(ns);
        p.pop();
    }
    p.pop();
    p.pop();
    p.push("idle");
    p.pop();
    clock.advance_ns(6'000'000);
    p.end_frame(); // 12 ms measured
    p.begin_frame();
    p.push("main_loop");
    clock.advance_ns(8'000'000);
    p.pop();
    p.end_frame(); // 8 ms; render not opened this frame

    const std::vector<ProfilerRowText> rows = profiler_row_texts(p.root());
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].category, " main_loop");
    EXPECT_EQ(rows[0].share, "100.0%");
    EXPECT_EQ(rows[1].category, "-- send_draw_commands");
    EXPECT_EQ(rows[2].category, "---- render");
    EXPECT_EQ(rows[2].hits, "0");
    EXPECT_EQ(rows[2].share, "0.0%");
    EXPECT_EQ(rows[2].avg_ms, "0.00ms");
    EXPECT_EQ(rows[2].max_ms, "0.00ms");
    EXPECT_EQ(rows[2].all_time_max_ms, "3.00ms"); // kept across frames
    EXPECT_EQ(rows[3].category, " idle");
    p.reset_all_time_max();
    EXPECT_EQ(profiler_row_texts(p.root())[2].all_time_max_ms, "0.00ms");
}

TEST(StatusWindow, PanelsAreDrawnIntoTheFixedTargetOverItsBackground) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs a display (the test script runs under xvfb-run)";
    HostHarness h(true);
    ASSERT_TRUE(h.start());
    ASSERT_NE(h.host->window(), nullptr);
    h.frames(2);
    std::vector<uint8_t> rgba;
    int width = 0, height = 0;
    ASSERT_TRUE(h.host->window()->read_target(rgba, width, height));
    EXPECT_EQ(width, 960);
    EXPECT_EQ(height, 540);
    if (const char* folder = std::getenv("COG_FRAME_DUMP")) // a picture for a look
        stbi_write_png((std::string(folder) + "/status_window.png").c_str(), width, height, 4, rgba.data(), width * 4);
    // Low in the "Server State" panel, below the rows: the panel's translucent background over
    // the target's own (40, 45, 50).
    const ImVec4 panel = ImGui::GetStyle().Colors[ImGuiCol_WindowBg];
    const size_t at = (static_cast<size_t>(500) * 960 + 200) * 4;
    const float over[3] = {40, 45, 50};
    const float own[3] = {panel.x, panel.y, panel.z};
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(rgba[at + static_cast<size_t>(c)], own[c] * 255 * panel.w + over[c] * (1 - panel.w), 1.5) << c;
    h.host->shutdown();
}

} // namespace
} // namespace cog::test
