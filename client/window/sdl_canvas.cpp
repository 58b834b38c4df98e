// Rectangles, tinted textures, texts and shapes on the SDL renderer.
#include "client/window/sdl_canvas.h"

#include "client/picture/text_metrics.h"

#include <cmath>

namespace cog::client {

namespace {
void tint(SDL_Texture* texture, Color color) {
    SDL_SetTextureColorMod(texture, color[0], color[1], color[2]);
    SDL_SetTextureAlphaMod(texture, color[3]);
}
} // namespace

SDL_FRect SdlCanvas::to_window(float x, float y, float width, float height) const {
    const Point at = world_to_window(viewport_, {x, y});
    return {at.x, at.y, width * viewport_.scale, height * viewport_.scale};
}

void SdlCanvas::fill_rect(float x, float y, float width, float height, Color color) {
    const SDL_FRect r = to_window(x, y, width, height);
    SDL_SetRenderDrawBlendMode(renderer_, SDL_BLENDMODE_BLEND);
    SDL_SetRenderDrawColor(renderer_, color[0], color[1], color[2], color[3]);
    SDL_RenderFillRectF(renderer_, &r);
}

void SdlCanvas::text(float x, float y, std::string_view text, int font_size, Color color) {
    const int pixels = static_cast<int>(std::lround(static_cast<float>(font_size) * POINTS_PER_FONT_UNIT * viewport_.scale));
    const TextTexture t = texts_.get(text, pixels);
    if (!t.texture) return;
    Point at = world_to_window(viewport_, {x, y});
    if (text.size() == 1) at.x += (SINGLE_GLYPH_CELL * static_cast<float>(pixels) - static_cast<float>(t.width)) / 2;
    const SDL_FRect r{at.x, at.y, static_cast<float>(t.width), static_cast<float>(t.height)};
    tint(t.texture, color);
    SDL_RenderCopyF(renderer_, t.texture, nullptr, &r);
}

void SdlCanvas::sprite(const SpritePlacement& p) {
    SDL_Texture* texture = p.asset < SPRITE_SLOTS ? sprites_.by_asset[p.asset] : nullptr;
    if (texture) {
        draw_texture(texture, p);
        return;
    }
    // An id without a picture still shows where it is, so a missing image is noticed.
    fill_rect(p.x, p.y, p.width, p.height, {255, 0, 255, 160});
}

void SdlCanvas::draw_texture(SDL_Texture* texture, const SpritePlacement& p) {
    const SDL_FRect r = to_window(p.x, p.y, p.width, p.height);
    const SDL_FPoint pivot{p.pivot_x * viewport_.scale, p.pivot_y * viewport_.scale};
    const int flip = (p.flip_x ? SDL_FLIP_HORIZONTAL : 0) | (p.flip_y ? SDL_FLIP_VERTICAL : 0);
    tint(texture, p.tint);
    SDL_RenderCopyExF(renderer_, texture, nullptr, &r, p.rotation_deg, &pivot, static_cast<SDL_RendererFlip>(flip));
}

void SdlCanvas::circle(float centre_x, float centre_y, float radius, Color color) {
    if (!sprites_.disc || radius <= 0) return;
    const SDL_FRect r = to_window(centre_x - radius, centre_y - radius, 2 * radius, 2 * radius);
    tint(sprites_.disc, color);
    SDL_RenderCopyF(renderer_, sprites_.disc, nullptr, &r);
}

void SdlCanvas::line(float x1, float y1, float x2, float y2, float thickness, Color color) {
    const Point a = world_to_window(viewport_, {x1, y1});
    const Point b = world_to_window(viewport_, {x2, y2});
    const float length = std::hypot(b.x - a.x, b.y - a.y);
    if (length <= 0) return;
    // A quad along the segment, half the thickness to each side.
    const float half = std::fmax(0.5f, thickness * viewport_.scale / 2);
    const float nx = -(b.y - a.y) / length * half, ny = (b.x - a.x) / length * half;
    const SDL_Color c{color[0], color[1], color[2], color[3]};
    const SDL_Vertex v[4] = {{{a.x + nx, a.y + ny}, c, {0, 0}},
                             {{b.x + nx, b.y + ny}, c, {0, 0}},
                             {{b.x - nx, b.y - ny}, c, {0, 0}},
                             {{a.x - nx, a.y - ny}, c, {0, 0}}};
    const int indices[6] = {0, 1, 2, 0, 2, 3};
    SDL_SetRenderDrawBlendMode(renderer_, SDL_BLENDMODE_BLEND);
    SDL_RenderGeometry(renderer_, nullptr, v, 4, indices, 6);
}

} // namespace cog::client
