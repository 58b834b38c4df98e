// Window, renderer and font set-up and tear-down.
#include "client/window/game_window.h"

namespace cog::client {

namespace {
constexpr int START_W = 1280; // pixels: the world at scale 1
constexpr int START_H = 720;  // pixels
} // namespace

std::unique_ptr<GameWindow> GameWindow::open(const std::string& title, std::string& error) {
    std::unique_ptr<GameWindow> w(new GameWindow());
    if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0 || TTF_Init() != 0) {
        error = std::string("cannot start the display: ") + SDL_GetError();
        return nullptr;
    }
    // Smooth scaling of the sprites and texts when the window is not 1280 x 720.
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "1");
    w->window_ = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, START_W, START_H,
                                  SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI);
    // Vertical sync where the driver offers it; a renderer without it otherwise.
    if (w->window_) w->renderer_ = SDL_CreateRenderer(w->window_, -1, SDL_RENDERER_PRESENTVSYNC);
    if (w->window_ && !w->renderer_) w->renderer_ = SDL_CreateRenderer(w->window_, -1, 0);
    if (!w->renderer_) {
        error = std::string("cannot open the window: ") + SDL_GetError();
        return nullptr;
    }
    w->font_ = open_game_font();
    if (!w->font_) {
        error = std::string("cannot load the font (install fonts-dejavu-core): ") + TTF_GetError();
        return nullptr;
    }
    w->sprites_ = create_sprite_textures(w->renderer_);
    w->texts_ = std::make_unique<TextCache>(w->renderer_, w->font_);
    // Text events stay on: a letter typed right after the key that opens the command line is
    // translated in the same batch of window events, before the field could switch them on.
    SDL_StartTextInput();
    return w;
}

bool GameWindow::has_vsync() const {
    SDL_RendererInfo info{};
    return SDL_GetRendererInfo(renderer_, &info) == 0 && (info.flags & SDL_RENDERER_PRESENTVSYNC) != 0;
}

int GameWindow::refresh_hz() const {
    SDL_DisplayMode mode{};
    return SDL_GetWindowDisplayMode(window_, &mode) == 0 ? mode.refresh_rate : 0;
}

GameWindow::~GameWindow() {
    texts_.reset();
    destroy_sprite_textures(sprites_);
    if (font_) TTF_CloseFont(font_);
    if (renderer_) SDL_DestroyRenderer(renderer_);
    if (window_) SDL_DestroyWindow(window_);
    TTF_Quit();
    SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
}

} // namespace cog::client
