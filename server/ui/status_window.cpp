// SDL2 + Dear ImGui glue for the status window.
#include "server/ui/status_window.h"

#include "server/ui/ui_render.h"
#include "shared/log/log.h"

#include <SDL.h>
#include <cstdlib>
#include <imgui.h>
#include <imgui_impl_sdl.h>
#include <imgui_impl_sdlrenderer.h>

namespace cog {

struct StatusWindow::Impl {
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* target = nullptr; // the panels are drawn here, then copied to the window
    ImGuiContext* context = nullptr;
    bool close_requested = false;
    int64_t last_draw_ns = 0;
    int64_t last_input_ns = 0;
    int64_t draw_cost_ns = 0; // smoothed duration of the recent drawings
    bool drawn = false;
    bool input_pending = false; // events arrived since the last draw
    UiState ui;
};

bool display_available() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

std::unique_ptr<StatusWindow> StatusWindow::open() {
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        LOG_WARN("Cannot open the status window: %s", SDL_GetError());
        return nullptr;
    }
    std::unique_ptr<StatusWindow> self(new StatusWindow());
    self->impl_ = std::make_unique<Impl>();
    Impl& w = *self->impl_;
    w.window = SDL_CreateWindow("Server", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, WIDTH, HEIGHT,
                                SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI);
    if (!w.window) {
        LOG_WARN("Cannot open the status window: %s", SDL_GetError());
        return nullptr;
    }
    // No present-vsync: a present that waits for the display (or blocks while the window is
    // covered) would hold the game's frame; the loop keeps its own 16 ms pacing.
    SDL_SetHint(SDL_HINT_RENDER_VSYNC, "0");
    w.renderer = SDL_CreateRenderer(w.window, -1, 0);
    if (!w.renderer) {
        LOG_WARN("Cannot open the status window: %s", SDL_GetError());
        return nullptr;
    }
    w.target = SDL_CreateTexture(w.renderer, SDL_PIXELFORMAT_RGBA32, SDL_TEXTUREACCESS_TARGET, WIDTH, HEIGHT);
    if (!w.target) {
        LOG_WARN("Cannot open the status window: %s", SDL_GetError());
        return nullptr;
    }
    IMGUI_CHECKVERSION();
    w.context = ImGui::CreateContext();
    ImGui::GetIO().IniFilename = nullptr; // the host reads and writes no files
    ImGui::StyleColorsDark();
    ImGui_ImplSDL2_InitForSDLRenderer(w.window);
    ImGui_ImplSDLRenderer_Init(w.renderer);
    return self;
}

StatusWindow::~StatusWindow() {
    if (!impl_) return;
    if (impl_->context) {
        ImGui_ImplSDLRenderer_Shutdown();
        ImGui_ImplSDL2_Shutdown();
        ImGui::DestroyContext(impl_->context);
    }
    if (impl_->target) SDL_DestroyTexture(impl_->target);
    if (impl_->renderer) SDL_DestroyRenderer(impl_->renderer);
    if (impl_->window) SDL_DestroyWindow(impl_->window);
    // SDL_Quit is left to process exit: it unloads the X11 libraries SDL opened, whose few
    // global allocations then show up as leaks without a name to attribute them to.
}

bool StatusWindow::poll_close_requested() {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        ImGui_ImplSDL2_ProcessEvent(&event);
        impl_->input_pending = true;
        if (event.type == SDL_QUIT) impl_->close_requested = true;
        if (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_CLOSE &&
            event.window.windowID == SDL_GetWindowID(impl_->window))
            impl_->close_requested = true;
    }
    return impl_->close_requested;
}

bool StatusWindow::redraw_due(int64_t now_ns, int64_t frame_deadline_ns) {
    Impl& w = *impl_;
    if (w.input_pending) w.last_input_ns = now_ns;
    if (!w.drawn) return true;
    const int64_t since = now_ns - w.last_draw_ns;
    if (since >= OVERDUE_NS) return true;
    const bool active = w.input_pending || now_ns - w.last_input_ns < ACTIVE_FOR_NS;
    const bool wanted = since >= (active ? ACTIVE_REDRAW_NS : IDLE_REDRAW_NS);
    return wanted && now_ns + w.draw_cost_ns <= frame_deadline_ns;
}

UiActions StatusWindow::draw(const StatusView& view, int64_t now_ns, Clock& clock) {
    Impl& w = *impl_;
    struct CostMeter { // the drawing's duration, whichever way it returns
        Impl& w;
        Clock& clock;
        int64_t start;
        // Smoothed, so one slow drawing (the first one sets everything up) does not hold the
        // next ones back for a whole second.
        ~CostMeter() { w.draw_cost_ns = (3 * w.draw_cost_ns + (clock.monotonic_ns() - start)) / 4; }
    } meter{w, clock, now_ns};
    // A minimised or hidden window shows nothing; skip the drawing work.
    if (SDL_GetWindowFlags(w.window) & (SDL_WINDOW_MINIMIZED | SDL_WINDOW_HIDDEN)) return {};
    w.drawn = true;
    w.last_draw_ns = now_ns;
    w.input_pending = false;
    ImGui_ImplSDLRenderer_NewFrame();
    ImGui_ImplSDL2_NewFrame();
    ImGui::NewFrame();
    int width = 0, height = 0;
    SDL_GetWindowSize(w.window, &width, &height);
    const UiActions actions = ui_render(w.ui, view, width, height);
    ImGui::Render();
    // The panels go to the fixed-size target first; the window then shows it at its corner.
    SDL_SetRenderTarget(w.renderer, w.target);
    SDL_SetRenderDrawColor(w.renderer, 40, 45, 50, 255);
    SDL_RenderClear(w.renderer);
    ImGui_ImplSDLRenderer_RenderDrawData(ImGui::GetDrawData());
    SDL_SetRenderTarget(w.renderer, nullptr);
    SDL_SetRenderDrawColor(w.renderer, 0, 0, 0, 255);
    SDL_RenderClear(w.renderer);
    const SDL_Rect at{0, 0, WIDTH, HEIGHT};
    SDL_RenderCopy(w.renderer, w.target, nullptr, &at);
    SDL_RenderPresent(w.renderer);
    return actions;
}

bool StatusWindow::read_target(std::vector<uint8_t>& rgba, int& width, int& height) {
    Impl& w = *impl_;
    width = WIDTH;
    height = HEIGHT;
    rgba.assign(static_cast<size_t>(WIDTH) * HEIGHT * 4, 0);
    SDL_SetRenderTarget(w.renderer, w.target);
    const int result = SDL_RenderReadPixels(w.renderer, nullptr, SDL_PIXELFORMAT_RGBA32, rgba.data(), WIDTH * 4);
    SDL_SetRenderTarget(w.renderer, nullptr);
    return result == 0;
}

} // namespace cog
