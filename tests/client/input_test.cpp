// Key edges in the INPUT snapshots, the letterbox mapping both ways, and the command-line field
// taking the keyboard.
#include "client/picture/viewport.h"
#include "client/session/command_line.h"
#include "client/session/key_tracker.h"
#include "client/window/client_events.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace cog::client {
namespace {

TEST(KeyEdges, JustPressedAndJustReleasedAppearInOneSnapshotOnly) {
    KeyTracker keys;
    const size_t h = 'H' - 'A';
    key_down(keys, static_cast<GameKey>(h));
    key_down(keys, static_cast<GameKey>(h)); // auto-repeat
    InputState first = take_snapshot(keys, {});
    EXPECT_TRUE(first.keys[h].is_down);
    EXPECT_TRUE(first.keys[h].just_pressed);
    EXPECT_FALSE(first.keys[h].just_released);
    EXPECT_FALSE(first.keys[h + 1].is_down);

    key_down(keys, static_cast<GameKey>(h)); // still held, repeating
    InputState held = take_snapshot(keys, {});
    EXPECT_TRUE(held.keys[h].is_down);
    EXPECT_FALSE(held.keys[h].just_pressed);

    key_up(keys, static_cast<GameKey>(h));
    InputState released = take_snapshot(keys, {});
    EXPECT_FALSE(released.keys[h].is_down);
    EXPECT_TRUE(released.keys[h].just_released);
    InputState after = take_snapshot(keys, {});
    EXPECT_FALSE(after.keys[h].just_released);
}

TEST(KeyEdges, QuickTapsLevelsAndReleaseAll) {
    KeyTracker keys;
    // Down and up between two snapshots: the host must still see the press and the level once.
    key_down(keys, KEY_BACKSPACE);
    key_up(keys, KEY_BACKSPACE);
    key_down(keys, KEY_SPACE);
    key_up(keys, KEY_SPACE);
    key_down(keys, MOUSE_LEFT);
    InputState tap = take_snapshot(keys, {12.5f, 700});
    EXPECT_TRUE(tap.backspace.just_pressed);
    EXPECT_TRUE(tap.backspace.just_released);
    EXPECT_TRUE(tap.space);
    EXPECT_TRUE(tap.mouse_left);
    EXPECT_FLOAT_EQ(tap.mouse_x, 12.5f);
    EXPECT_FLOAT_EQ(tap.mouse_y, 700);
    InputState next = take_snapshot(keys, {});
    EXPECT_FALSE(next.space);
    EXPECT_FALSE(next.backspace.just_pressed);
    EXPECT_TRUE(next.mouse_left);

    // Losing the keyboard releases what was held, with one release edge each.
    key_down(keys, static_cast<GameKey>('Z' - 'A'));
    take_snapshot(keys, {});
    release_all(keys);
    InputState lost = take_snapshot(keys, {});
    EXPECT_FALSE(lost.mouse_left);
    EXPECT_TRUE(lost.keys[25].just_released);
    EXPECT_FALSE(lost.keys[0].just_released);

    // Both Shift keys down, one let go: Shift is still held.
    key_down(keys, KEY_LEFT_SHIFT);
    key_down(keys, KEY_RIGHT_SHIFT);
    key_down(keys, KEY_RIGHT_CTRL);
    take_snapshot(keys, {});
    key_up(keys, KEY_LEFT_SHIFT);
    InputState one_up = take_snapshot(keys, {});
    EXPECT_TRUE(one_up.shift);
    EXPECT_TRUE(one_up.ctrl);
    key_up(keys, KEY_RIGHT_SHIFT);
    key_up(keys, KEY_RIGHT_CTRL);
    InputState both_up = take_snapshot(keys, {});
    EXPECT_FALSE(both_up.shift);
    EXPECT_FALSE(both_up.ctrl);
}

TEST(KeyEdges, LettersTypedWithinOneFrameReachTheHostInTypedOrder) {
    KeyTracker keys;
    const auto letter = [](char c) { return static_cast<GameKey>(c - 'A'); };
    // "WN" typed fast: the host would read N before W if both came in one snapshot.
    key_down(keys, letter('W'));
    key_up(keys, letter('W'));
    key_down(keys, letter('N'));
    key_down(keys, KEY_RIGHT); // not a typed key: it does not wait
    key_up(keys, letter('N'));
    InputState first = take_snapshot(keys, {});
    EXPECT_TRUE(first.keys['W' - 'A'].just_pressed);
    EXPECT_TRUE(first.keys['W' - 'A'].just_released);
    EXPECT_FALSE(first.keys['N' - 'A'].just_pressed);
    EXPECT_FALSE(first.keys['N' - 'A'].is_down);
    EXPECT_TRUE(first.right); // not a typed key: it does not wait behind N
    InputState second = take_snapshot(keys, {});
    EXPECT_TRUE(second.keys['N' - 'A'].just_pressed);
    EXPECT_TRUE(second.keys['N' - 'A'].just_released);
    EXPECT_FALSE(second.keys['W' - 'A'].just_pressed);
    EXPECT_TRUE(second.right);
    InputState third = take_snapshot(keys, {});
    EXPECT_FALSE(third.keys['N' - 'A'].just_pressed);
    EXPECT_TRUE(third.right);
}

TEST(Letterbox, WorldAndWindowMapBothWays) {
    const Viewport same = fit_world(1280, 720);
    EXPECT_FLOAT_EQ(same.scale, 1);
    EXPECT_FLOAT_EQ(same.offset_x, 0);

    // Wider than 16:9: bars left and right.
    const Viewport wide = fit_world(1920, 720);
    EXPECT_FLOAT_EQ(wide.scale, 1);
    EXPECT_FLOAT_EQ(wide.offset_x, 320);
    EXPECT_FLOAT_EQ(wide.offset_y, 0);
    // Taller: bars above and below, scaled down.
    const Viewport tall = fit_world(640, 720);
    EXPECT_FLOAT_EQ(tall.scale, 0.5f);
    EXPECT_FLOAT_EQ(tall.offset_y, 180);

    for (const Viewport& v : {wide, tall, fit_world(1923, 1081)}) {
        const Point corner = world_to_window(v, {1280, 720});
        EXPECT_NEAR(corner.x, v.offset_x + 1280 * v.scale, 1e-3);
        const Point back = window_to_world(v, world_to_window(v, {321.5f, 17}));
        EXPECT_NEAR(back.x, 321.5f, 1e-3);
        EXPECT_NEAR(back.y, 17, 1e-3);
    }
    // A click on the left bar lies left of the world.
    EXPECT_LT(window_to_world(wide, {100, 300}).x, 0);
    EXPECT_FLOAT_EQ(window_to_world(tall, {320, 360}).x, 640);
    EXPECT_FLOAT_EQ(window_to_world(tall, {320, 360}).y, 360);
}

TEST(Letterbox, ThePointerMapsThroughBarsHighDpiAndTheAnnouncedWorld) {
    // 960 x 720 points on a screen with two pixels a point: bars above and below the world.
    const WindowSizes sizes{960, 720, 1920, 1440};
    const Point centre = pointer_to_world({480, 360}, sizes, {});
    EXPECT_FLOAT_EQ(centre.x, 640);
    EXPECT_FLOAT_EQ(centre.y, 360);
    // The world's top-left corner lies below the upper bar: 1920 / 1280 = 1.5 pixels a unit,
    // (1440 - 1080) / 2 = 180 pixels of bar, 90 points.
    const Point corner = pointer_to_world({0, 90}, sizes, {});
    EXPECT_NEAR(corner.x, 0, 1e-3);
    EXPECT_NEAR(corner.y, 0, 1e-3);
    EXPECT_LT(pointer_to_world({480, 10}, sizes, {}).y, 0); // on the bar: above the world
    // A world of 1920 x 1080 announced by the host fills the same window at another scale.
    const Point wide = pointer_to_world({960, 630}, sizes, {1920, 1080});
    EXPECT_NEAR(wide.x, 1920, 1e-3);
    EXPECT_NEAR(wide.y, 1080, 1e-3);
}

TEST(CommandField, TypingErasingAndSubmitting) {
    CommandLine line;
    open_command_line(line);
    type_into(line, " push metro  ");
    EXPECT_EQ(submit_command_line(line), "push metro");
    EXPECT_FALSE(line.open);
    EXPECT_TRUE(line.text.empty());

    open_command_line(line);
    type_into(line, "t\xc3\xa9"); // "té": backspace removes the whole two-byte letter
    erase_last_character(line);
    EXPECT_EQ(line.text, "t");
    erase_last_character(line);
    erase_last_character(line);
    EXPECT_EQ(submit_command_line(line), "");
}

} // namespace
} // namespace cog::client

namespace cog::client {
namespace {

SDL_Event key_event(Uint32 type, SDL_Keycode key) {
    SDL_Event e{};
    e.type = type;
    e.key.type = type;
    e.key.keysym.sym = key;
    return e;
}

SDL_Event text_event(const char* text) {
    SDL_Event e{};
    e.type = SDL_TEXTINPUT;
    std::snprintf(e.text.text, sizeof e.text.text, "%s", text);
    return e;
}

TEST(CommandField, WhileOpenTheLettersGoToTheFieldNotToTheGame) {
    constexpr double NOW = 5000; // the client clock, far from any other clock's reading
    ClientState state;
    key_down(state.keys, KEY_RIGHT); // held when the field opens: released for the host
    take_snapshot(state.keys, {});
    handle_sdl_event(state, key_event(SDL_KEYDOWN, SDLK_BACKQUOTE), nullptr, nullptr, NOW);
    ASSERT_TRUE(state.command_line.open);
    handle_sdl_event(state, text_event("`"), nullptr, nullptr, NOW); // the opening key's own text
    for (const char* letter : {"i", "n", "f", "o"}) {
        handle_sdl_event(state, key_event(SDL_KEYDOWN, static_cast<SDL_Keycode>(letter[0])), nullptr, nullptr, NOW);
        handle_sdl_event(state, text_event(letter), nullptr, nullptr, NOW);
    }
    EXPECT_EQ(state.command_line.text, "info");
    const InputState during = take_snapshot(state.keys, {});
    EXPECT_FALSE(during.right);
    EXPECT_FALSE(during.keys['I' - 'A'].just_pressed);
    EXPECT_FALSE(during.keys['N' - 'A'].is_down);

    // Enter sends the line; with no host it is said so instead.
    handle_sdl_event(state, key_event(SDL_KEYDOWN, SDLK_RETURN), nullptr, nullptr, NOW);
    EXPECT_FALSE(state.command_line.open);
    ASSERT_FALSE(state.overlay.chat.empty());
    EXPECT_EQ(state.overlay.chat.back().text, "Not connected: command not sent");
    // The note stays for its time on the clock the frame loop expires it with.
    drop_expired(state.overlay, NOW + 1);
    ASSERT_EQ(state.overlay.chat.size(), 1u);
    drop_expired(state.overlay, NOW + CHAT_SHOW_S);
    EXPECT_TRUE(state.overlay.chat.empty());

    // Closed again, letters are game keys and typed text is ignored.
    handle_sdl_event(state, key_event(SDL_KEYDOWN, SDLK_i), nullptr, nullptr, NOW);
    handle_sdl_event(state, text_event("i"), nullptr, nullptr, NOW);
    EXPECT_TRUE(take_snapshot(state.keys, {}).keys['I' - 'A'].just_pressed);
    EXPECT_TRUE(state.command_line.text.empty());
}

} // namespace
} // namespace cog::client
