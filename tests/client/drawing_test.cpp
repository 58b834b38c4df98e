// Drawing onto a real SDL renderer (software, into memory): the text cache's limits against
// texts no window could show, and a whole frame letterboxed into a window of another size.
#include "client/window/frame_drawing.h"
#include "client/picture/picture_limits.h"
#include "client/picture/text_metrics.h"
#include "client/window/text_cache.h"
#include "shared/protocol/json.h"

#include <gtest/gtest.h>

#include <SDL.h>
#include <SDL_ttf.h>

#include <cmath>
#include <cstring>
#include <string>

namespace cog::client {
namespace {

class SoftwareTarget : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(TTF_Init(), 0);
        font = open_game_font();
        ASSERT_NE(font, nullptr) << TTF_GetError();
    }
    void TearDown() override {
        if (renderer) SDL_DestroyRenderer(renderer);
        if (surface) SDL_FreeSurface(surface);
        TTF_CloseFont(font);
        TTF_Quit();
    }
    void make_target(int width, int height) {
        surface = SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_RGBA32);
        ASSERT_NE(surface, nullptr);
        renderer = SDL_CreateSoftwareRenderer(surface);
        ASSERT_NE(renderer, nullptr);
    }
    Color pixel(int x, int y) const {
        const auto* p = static_cast<const uint8_t*>(surface->pixels) + y * surface->pitch + x * 4;
        return {p[0], p[1], p[2], p[3]};
    }

    TTF_Font* font = nullptr;
    SDL_Surface* surface = nullptr;
    SDL_Renderer* renderer = nullptr;
};

TEST_F(SoftwareTarget, TextsAreRenderedWithinTheirLimitsAndTheCacheStaysUnderItsCap) {
    make_target(64, 64);
    TextLimits limits;
    limits.new_texts_per_frame = 8;
    limits.max_bytes = 256 * 1024;
    TextCache cache(renderer, font, limits);

    // Too long to be drawn, or wider than any texture may be: nothing, and nothing rendered.
    EXPECT_EQ(cache.get(std::string(limits.max_text_bytes + 1, 'a'), 20).texture, nullptr);
    EXPECT_EQ(cache.get(std::string(limits.max_text_bytes, 'W'), limits.max_pixel_size).texture, nullptr);
    EXPECT_EQ(cache.get("x", limits.max_pixel_size + 1).texture, nullptr);
    const TextTexture ok = cache.get("fits", 20);
    EXPECT_NE(ok.texture, nullptr);
    EXPECT_GT(ok.width, 10);

    // Many new texts in one frame: only the frame's budget is rendered, the rest come later.
    int rendered = 0;
    for (int i = 0; i < 100; ++i) rendered += cache.get("text " + std::to_string(i), 30).texture ? 1 : 0;
    EXPECT_LE(rendered, static_cast<int>(limits.new_texts_per_frame));
    cache.end_frame();
    rendered = 0;
    for (int i = 0; i < 100; ++i) rendered += cache.get("text " + std::to_string(i), 30).texture ? 1 : 0;
    EXPECT_GE(rendered, static_cast<int>(limits.new_texts_per_frame)); // cached ones stay, new ones join

    // Frame after frame of new texts: the bytes held never pass the cap, and the text in use
    // every frame is never the one pushed out.
    for (int frame = 0; frame < 200; ++frame) {
        EXPECT_NE(cache.get("fits", 20).texture, nullptr);
        for (int i = 0; i < 8; ++i) cache.get("frame " + std::to_string(frame) + " text " + std::to_string(i), 60);
        cache.end_frame();
        ASSERT_LE(cache.bytes(), limits.max_bytes);
    }
    EXPECT_EQ(cache.get("fits", 20).texture, ok.texture);
}

// The area budget's idea of how wide a text can be holds for the widest glyphs the font has.
TEST_F(SoftwareTarget, NoTextIsDrawnWiderThanThePictureBudgetCountsIt) {
    make_target(64, 64);
    TextCache cache(renderer, font);
    for (const char* text : {"@@@@", "WWWW", "mmmm", "\u0416\u0416", "\u2014\u2014", "\u2e3b", "\u2026i", "@", "W"}) {
        const TextTexture drawn = cache.get(text, static_cast<int>(std::lround(100 * POINTS_PER_FONT_UNIT)));
        ASSERT_NE(drawn.texture, nullptr) << text;
        EXPECT_LE(static_cast<float>(drawn.width), text_width_limit(std::strlen(text), 100)) << text;
    }
}

// The world drawn into 640 x 480: scale 0.5, black bars of 60 pixels above and below.
TEST_F(SoftwareTarget, AFrameIsLetterboxedIntoAWindowOfAnotherSize) {
    make_target(640, 480);
    TextCache texts(renderer, font);
    std::pmr::monotonic_buffer_resource arena;
    ServerMessage message;
    ASSERT_FALSE(read_json(R"({"kind":1,"commands":[
      {"kind":0,"x":0,"y":0,"width":1280,"height":720,"color":[20,40,60,255]},
      {"kind":0,"x":1180,"y":620,"width":100,"height":100,"color":[250,0,0,255]},
      {"kind":0,"x":-500,"y":-500,"width":400,"height":400,"color":[0,250,0,255]},
      {"kind":1,"x":100,"y":100,"text":"WWWW","font_size":60,"color":[255,255,255,255]}
    ]})", message, &arena));
    Overlay overlay;
    CommandLine line;
    FrameScene scene{message.commands, true, &overlay, &line, {}};
    draw_frame(renderer, SpriteTextures{}, texts, scene);
    SDL_RenderFlush(renderer);

    EXPECT_EQ(pixel(320, 30), (Color{0, 0, 0, 255}));    // upper bar
    EXPECT_EQ(pixel(320, 450), (Color{0, 0, 0, 255}));   // lower bar
    EXPECT_EQ(pixel(5, 65), (Color{20, 40, 60, 255}));   // the world's background
    EXPECT_EQ(pixel(615, 395), (Color{250, 0, 0, 255})); // the corner square, at half size
    EXPECT_EQ(pixel(585, 395), (Color{20, 40, 60, 255}));
    EXPECT_EQ(pixel(5, 5), (Color{0, 0, 0, 255}));       // off the world: nothing on the bar
    int lit = 0; // the text, at half its size: from (50, 110), about 26 pixels high
    for (int y = 110; y < 140; ++y)
        for (int x = 50; x < 130; ++x) lit += pixel(x, y)[0] > 150 ? 1 : 0;
    EXPECT_GT(lit, 100);
    int beyond = 0; // nothing of it lands where the full-size text would reach
    for (int y = 145; y < 200; ++y)
        for (int x = 50; x < 260; ++x) beyond += pixel(x, y)[0] > 150 ? 1 : 0;
    EXPECT_EQ(beyond, 0);
}

// The software renderer (a machine without a graphics card) scales and turns an image whole
// before clipping it: a sprite many worlds wide is not handed to it, a turned sprite of a
// sane size still shows.
TEST_F(SoftwareTarget, ATurnedSpriteTooLargeToBuildIsSkippedAndTheRestOfThePictureDrawn) {
    make_target(640, 360);
    SpriteTextures sprites = create_sprite_textures(renderer);
    ASSERT_NE(sprites.by_asset[3], nullptr);
    TextCache texts(renderer, font);
    std::pmr::monotonic_buffer_resource arena;
    ServerMessage message;
    ASSERT_FALSE(read_json(R"({"kind":1,"commands":[
      {"kind":0,"x":0,"y":0,"width":1280,"height":720,"color":[0,200,0,255]},
      {"kind":5,"x":640,"y":360,"asset_id":3,"scale_x":4,"scale_y":4,"rotation":45,"color":[255,255,255,255]},
      {"kind":5,"x":200,"y":200,"asset_id":3,"scale_x":0.2,"scale_y":0.2,"rotation":45,"color":[255,255,255,255]}
    ]})", message, &arena));
    FrameScene scene{message.commands, true, nullptr, nullptr, {}};
    draw_frame(renderer, sprites, texts, scene);
    SDL_RenderFlush(renderer);
    destroy_sprite_textures(sprites);

    EXPECT_NE(pixel(100, 100), (Color{0, 200, 0, 255})); // the small turned sprite
    EXPECT_EQ(pixel(320, 180), (Color{0, 200, 0, 255})); // the huge one is not there
    EXPECT_EQ(pixel(600, 340), (Color{0, 200, 0, 255}));
}

} // namespace
} // namespace cog::client
