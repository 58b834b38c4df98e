// Render cost of the door memorization for one viewer in ACTIVE at a full table of nine, with the
// command count and the size of the resulting DRAW_COMMANDS message. The per-figure console lines
// are formatted but go to a sink that drops them, so terminal speed does not enter the figure.
#include "server/screens/doors/doors_state.h"
#include "server/screens/screen/screen_kinds.h"
#include "shared/log/console.h"
#include "shared/protocol/json.h"

#include <benchmark/benchmark.h>

#include <array>
#include <memory>
#include <memory_resource>
#include <string>

namespace {

using namespace cog;

constexpr uint32_t OVERSEER = 1;
constexpr uint32_t WORKER = 2; // a masked human
constexpr float DT = 1.0f / 60.0f;

void drop_line(void*, std::string_view) {}

// Overseer 1, humans 2 and 3, bots 4..9; played 12 s into ACTIVE so that figures stand at every
// cell, some walk and some press.
struct DoorsTable {
    SeededRandom random{7};
    GlobalState global;
    std::unique_ptr<doors::DoorsState> screen;

    DoorsTable() {
        global.random = &random;
        for (uint32_t id = 1; id <= 9; ++id) {
            PlayerConnection& p = global.players[id];
            p.id = id;
            p.connected = true;
            p.is_bot = id > 3;
            p.mask = static_cast<int32_t>(p.is_bot ? bot_mask(id, 0) : human_mask(id, 0));
            global.roles[id] = id == OVERSEER ? PlayerRole::COP : PlayerRole::MASKED;
        }
        global.players[OVERSEER].input.mouse_x = 640;
        global.players[OVERSEER].input.mouse_y = 360;
        screen.reset(static_cast<doors::DoorsState*>(create_doors(random).release()));
        screen->init(global);
        for (int frame = 0; frame < 22 * 60; ++frame) screen->update(DT);
    }
};

DoorsTable& table() {
    static DoorsTable t;
    return t;
}

void BM_DoorsRender(benchmark::State& state) {
    console_set_sink(&drop_line, nullptr);
    DoorsTable& t = table();
    const auto viewer = static_cast<uint32_t>(state.range(0));
    std::array<std::byte, 64 * 1024> memory;
    size_t count = 0;
    for (auto _ : state) {
        std::pmr::monotonic_buffer_resource frame_arena(memory.data(), memory.size());
        DrawList out(&frame_arena);
        t.screen->render(viewer, out);
        count = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    std::pmr::monotonic_buffer_resource frame_arena(memory.data(), memory.size());
    ServerMessage sent{ServerMessageKind::DRAW_COMMANDS, {}, DrawList(&frame_arena)};
    t.screen->render(viewer, sent.commands);
    std::string text;
    write_json(text, sent);
    console_set_sink(nullptr, nullptr);
    state.counters["phase"] = static_cast<double>(t.screen->phase);
    state.counters["commands"] = static_cast<double>(count);
    state.counters["json_bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_DoorsRender)->Arg(WORKER)->Arg(OVERSEER)->Repetitions(15)->ReportAggregatesOnly(true);

} // namespace

BENCHMARK_MAIN();
