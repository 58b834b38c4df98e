// Throughput of the wire protocol: writing a frame's draw list, reading an input message, and
// memcpy of the same bytes as the ceiling.
#include "shared/protocol/json.h"
#include "shared/protocol/number_text.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstring>
#include <memory_resource>
#include <string>
#include <vector>

namespace {

using namespace cog;

// A picture like a minigame's: rectangles, texts, sprites and rotated sprites at computed
// (mostly fractional) positions.
ServerMessage draw_frame() {
    static const char* texts[] = {"Player 3", "It was a HUMAN!", "TYPE: overseer", "Round 2 / 5", "\xc3\xa9t\xc3\xa9"};
    ServerMessage m;
    m.kind = ServerMessageKind::DRAW_COMMANDS;
    for (int i = 0; i < 80; ++i) {
        DrawCommand c;
        const float f = static_cast<float>(i);
        c.kind = static_cast<DrawCommandKind>(std::array{0, 1, 4, 5}[static_cast<size_t>(i % 4)]);
        c.x = 640.0f - 0.3f * 24.0f * f + 0.125f;
        c.y = 36.0f + f * 7.3f;
        c.width = c.kind == DrawCommandKind::TEXT ? 0.0f : 64.0f + f;
        c.height = c.kind == DrawCommandKind::TEXT ? 0.0f : 48.5f;
        c.color = {static_cast<uint8_t>(i * 3), 200, static_cast<uint8_t>(255 - i), 255};
        if (c.kind == DrawCommandKind::TEXT) {
            c.text = texts[i % 5];
            c.font_size = 24 + i % 3 * 8;
        }
        if (c.kind == DrawCommandKind::SPRITE || c.kind == DrawCommandKind::SPRITE_PRO) c.asset_id = static_cast<uint16_t>(100 + i);
        if (c.kind == DrawCommandKind::SPRITE_PRO) {
            c.rotation = f * 4.5f;
            c.scale_x = 1.5f;
            c.scale_y = 0.75f + f / 160.0f;
            c.flip_x = i % 8 == 1;
        }
        m.commands.push_back(c);
    }
    return m;
}

std::string input_text() {
    ClientMessage m;
    m.kind = ClientMessageKind::INPUT;
    m.input.mouse_x = 612.3125f;
    m.input.mouse_y = 401.7f;
    m.input.mouse_left = true;
    m.input.space = true;
    for (size_t i = 0; i < LETTER_KEY_COUNT; i += 5) m.input.keys[i].is_down = true;
    m.input.keys[7].just_pressed = true;
    std::string text;
    write_json(text, m);
    return text;
}

void BM_WriteDrawCommands(benchmark::State& state) {
    const ServerMessage m = draw_frame();
    std::string out;
    for (auto _ : state) {
        out.clear();
        write_json(out, m);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["bytes"] = static_cast<double>(out.size());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * out.size()));
}
BENCHMARK(BM_WriteDrawCommands);

void BM_ReadInput(benchmark::State& state) {
    const std::string text = input_text();
    alignas(16) static char buffer[4096];
    for (auto _ : state) {
        std::pmr::monotonic_buffer_resource arena(buffer, sizeof buffer, std::pmr::null_memory_resource());
        ClientMessage m;
        JsonError e = read_json(text, m, &arena);
        benchmark::DoNotOptimize(e);
        benchmark::DoNotOptimize(m);
    }
    state.counters["bytes"] = static_cast<double>(text.size());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ReadInput);

void BM_MemcpyDrawFrame(benchmark::State& state) {
    std::string text;
    write_json(text, draw_frame());
    std::vector<char> dest(text.size());
    for (auto _ : state) {
        std::memcpy(dest.data(), text.data(), text.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_MemcpyDrawFrame);

void BM_MemcpyInput(benchmark::State& state) {
    const std::string text = input_text();
    std::vector<char> dest(text.size());
    for (auto _ : state) {
        std::memcpy(dest.data(), text.data(), text.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_MemcpyInput);

void BM_F32Text(benchmark::State& state) {
    float values[64];
    for (int i = 0; i < 64; ++i) values[i] = 640.0f - 7.3f * static_cast<float>(i);
    char buf[64 * 50];
    for (auto _ : state) {
        char* p = buf;
        for (float v : values) p = number_text::write_f32(p, v);
        benchmark::DoNotOptimize(p);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * 64));
}
BENCHMARK(BM_F32Text);

} // namespace

BENCHMARK_MAIN();
