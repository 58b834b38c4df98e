// The glowing title text and the console log line format.
#include "shared/log/console.h"
#include "shared/log/log.h"
#include "shared/types/draw.h"

#include <cmath>
#include <gtest/gtest.h>

#include <climits>
#include <memory_resource>
#include <string>

namespace cog {
namespace {

TEST(DrawTextGlow, AtTimeZeroFourGlowLayersThenTheMainText) {
    std::pmr::monotonic_buffer_resource arena;
    DrawList list(&arena);
    draw_text_glow(list, {"HELLO", 640, 120, 40, 0, {255, 255, 255, 255}, {100, 200, 255, 7}});
    ASSERT_EQ(list.size(), 5u);
    for (int k = 1; k <= 4; ++k) {
        const DrawCommand& layer = list[static_cast<size_t>(k - 1)];
        const int size = 40 + 2 * k;
        EXPECT_EQ(layer.kind, DrawCommandKind::TEXT);
        EXPECT_EQ(layer.font_size, size);
        EXPECT_FLOAT_EQ(layer.x, 640 - size * 5 / 6.0f);
        EXPECT_FLOAT_EQ(layer.y, 120 - 30 - k);
        // The glow's own alpha is ignored: the layers fade 32, 24, 16, 8.
        EXPECT_EQ(layer.color, (Color{100, 200, 255, static_cast<uint8_t>(32 - 8 * (k - 1))}));
        EXPECT_EQ(layer.text, "HELLO");
    }
    EXPECT_EQ(list[4].font_size, 40);
    EXPECT_FLOAT_EQ(list[4].x, 640 - 40 * 5 / 6.0f);
    EXPECT_FLOAT_EQ(list[4].y, 80);
    EXPECT_EQ(list[4].color, (Color{255, 255, 255, 255}));
}

TEST(DrawTextGlow, EmptyTextStillDrawsFiveCommandsAtTheCentre) {
    std::pmr::monotonic_buffer_resource arena;
    DrawList list(&arena);
    draw_text_glow(list, {"", 300, 100, 20, 0, {}, {}});
    ASSERT_EQ(list.size(), 5u);
    for (const DrawCommand& c : list) EXPECT_FLOAT_EQ(c.x, 300);
}

TEST(DrawTextGlow, PulseAndBobFollowTheTime) {
    std::pmr::monotonic_buffer_resource arena;
    DrawList list(&arena);
    const float t = 0.7f;
    draw_text_glow(list, {"AB", 0, 100, 60, t, {}, {}});
    const int size = static_cast<int>(60 * (std::sin(2 * t) * 0.05f + 1));
    const int bob = static_cast<int>(std::sin(1.5f * t) * 8);
    EXPECT_EQ(list[4].font_size, size);
    EXPECT_FLOAT_EQ(list[4].y, 100 + bob - 40);
    EXPECT_NE(size, 60);
    EXPECT_NE(bob, 0);
}

TEST(DrawFormat, TextLivesInTheListArenaAndMayBeLong) {
    std::pmr::monotonic_buffer_resource arena;
    DrawList list(&arena);
    const std::string long_name(600, 'x');
    const std::string_view text = draw_format(list, "Player - %s", long_name.c_str());
    EXPECT_EQ(text.size(), 609u);
    EXPECT_EQ(text.substr(0, 9), "Player - ");
    EXPECT_EQ(draw_format(list, "Player %d", 7), "Player 7");
    // The printf-free path writes what printf writes.
    char expected[128];
    std::snprintf(expected, sizeof expected, "%s %d/%d %u%c%% %i", "Next", INT_MIN, -7, 4000000000u, 'x', 0);
    EXPECT_EQ(draw_format(list, "%s %d/%d %u%c%% %i", "Next", INT_MIN, -7, 4000000000u, 'x', 0), expected);
    EXPECT_EQ(draw_format(list, "Time: %.1f / 60.0s", 12.25), "Time: 12.2 / 60.0s"); // other forms: printf
}

TEST(Log, LineFormatWithTagColourDateAndCallSite) {
    const std::source_location site = std::source_location::current();
    char prefix[512];
    const int n = log_format_prefix(prefix, sizeof prefix, LogLevel::Warning, site, 0);
    const std::string text(prefix, static_cast<size_t>(n));
    EXPECT_EQ(text.rfind("\x1b[33m[WARN ] ---\x1b[0m [", 0), 0u) << text;
    const std::string call_site = "[draw_and_log_test.cpp:" + std::to_string(site.line()) + ":TestBody()] ";
    EXPECT_NE(text.find(call_site), std::string::npos) << text;
    EXPECT_EQ(text.find("/tests/"), std::string::npos); // no directories

    const int m = log_format_prefix(prefix, sizeof prefix, LogLevel::Info, site, 0);
    EXPECT_EQ(std::string(prefix, 12), "[INFO ] --- ");
    EXPECT_EQ(std::string(prefix + 12, 1), "[");
    EXPECT_GT(m, 30);
}

TEST(Log, ProcedureNameFromSignatures) {
    EXPECT_EQ(log_procedure_name("void cog::push_screen(cog::HostState&, cog::ScreenId)"), "push_screen");
    EXPECT_EQ(log_procedure_name("int main()"), "main");
    EXPECT_EQ(log_procedure_name("cog::ScreenTransition cog::LobbyState::update(float)"), "update");
    EXPECT_EQ(log_procedure_name("void cog::f<int>(T)"), "f");
}

TEST(Log, WritesOneFormattedLineToTheConsole) {
    std::string captured;
    console_set_sink([](void* out, std::string_view line) { static_cast<std::string*>(out)->append(line); },
                     &captured);
    LOG_ERROR("Failed to create listener: %s", "Address_In_Use");
    LOG_DEBUG("debug %d", 1);
    console_set_sink(nullptr, nullptr);
    EXPECT_NE(captured.find("\x1b[31m[ERROR] ---\x1b[0m"), std::string::npos);
    EXPECT_NE(captured.find("TestBody()] Failed to create listener: Address_In_Use\n"), std::string::npos);
    EXPECT_NE(captured.find("\x1b[90m[DEBUG] ---\x1b[0m"), std::string::npos);
}

} // namespace
} // namespace cog
