// Clearing, letterboxing and drawing one frame.
#include "client/window/frame_drawing.h"

#include "client/picture/picture.h"
#include "client/window/sdl_canvas.h"

namespace cog::client {

namespace {

constexpr Color WAITING_BACKGROUND{20, 20, 30, 255};

void draw_waiting(Canvas& canvas, WorldSize world) {
    canvas.fill_rect(0, 0, world.width, world.height, WAITING_BACKGROUND);
    canvas.text(world.width / 2 - 170, world.height / 2 - 30, "Waiting for the host...", 32, {200, 200, 220, 255});
}

} // namespace

void draw_frame(SDL_Renderer* renderer, const SpriteTextures& sprites, TextCache& texts, const FrameScene& scene) {
    int width = 0, height = 0;
    SDL_GetRendererOutputSize(renderer, &width, &height);
    const Viewport viewport = fit_world(width, height, scene.world);
    SDL_RenderSetClipRect(renderer, nullptr);
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    // Sprites reaching past the world (the scrolling city, the flashlight) stay off the bars.
    const SDL_Rect world{static_cast<int>(viewport.offset_x), static_cast<int>(viewport.offset_y),
                         static_cast<int>(scene.world.width * viewport.scale + 0.5f),
                         static_cast<int>(scene.world.height * viewport.scale + 0.5f)};
    SDL_RenderSetClipRect(renderer, &world);
    SdlCanvas canvas(renderer, sprites, texts, viewport);
    if (scene.has_picture) {
        draw_picture(scene.picture, scene.world, canvas);
    } else {
        draw_waiting(canvas, scene.world);
    }
    if (scene.overlay && scene.command_line) draw_overlay(*scene.overlay, *scene.command_line, scene.world, canvas);
    texts.end_frame();
}

} // namespace cog::client
