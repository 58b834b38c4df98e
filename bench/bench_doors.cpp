// Render cost of the door memorization per viewer in ACTIVE at a full table, with message size.
#include "server/screens/doors/doors_state.h"
#include "server/screens/screen/screen_kinds.h"
#include "shared/log/console.h"
#include "shared/protocol/json.h"

#include <benchmark/benchmark.h>

#include <array>
#include <memory>
#include <memory_resource>
#include <span>
#include <string>

namespace {

using namespace cog;

constexpr uint32_t OVERSEER = 1;
constexpr uint32_t WORKER = 2; // a masked human
constexpr float DT = 1.0f / 60.0f;

// The per-figure console lines are formatted, then dropped here, so terminal speed stays out.
void drop_line(void*, std::string_view) {}

// Overseer 1, humans 2 and 3, bots 4..9.
void seat_nine(GlobalState& global) {
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
}

struct DoorsTable {
    SeededRandom random{7};
    GlobalState global;
    std::unique_ptr<doors::DoorsState> screen{static_cast<doors::DoorsState*>(create_doors(random).release())};
};

// 12 s into ACTIVE, so that figures stand at every cell, some walk and some press.
void play_into_active(DoorsTable& t) {
    t.global.random = &t.random;
    seat_nine(t.global);
    t.screen->init(t.global);
    for (int frame = 0; frame < 22 * 60; ++frame) t.screen->update(DT);
}

DoorsTable& table() {
    static DoorsTable t;
    if (!t.screen->global) play_into_active(t); // init sets global: played once
    return t;
}

// The viewer's picture drawn into `memory`, as the host's frame arena would hold it.
struct Picture {
    std::pmr::monotonic_buffer_resource arena;
    ServerMessage message;
    Picture(std::span<std::byte> memory, DoorsTable& t, uint32_t viewer)
        : arena(memory.data(), memory.size()), message{ServerMessageKind::DRAW_COMMANDS, {}, DrawList(&arena)} {
        t.screen->render(viewer, message.commands);
    }
};

void BM_DoorsRender(benchmark::State& state) {
    console_set_sink(&drop_line, nullptr);
    DoorsTable& t = table();
    const auto viewer = static_cast<uint32_t>(state.range(0));
    std::array<std::byte, 64 * 1024> memory;
    for (auto _ : state) {
        Picture picture(memory, t, viewer);
        benchmark::DoNotOptimize(picture.message.commands.data());
    }
    Picture last(memory, t, viewer);
    std::string wire;
    write_json(wire, last.message);
    console_set_sink(nullptr, nullptr);
    state.counters["phase"] = static_cast<double>(t.screen->phase);
    state.counters["commands"] = static_cast<double>(last.message.commands.size());
    state.counters["json_bytes"] = static_cast<double>(wire.size());
}
BENCHMARK(BM_DoorsRender)->Arg(WORKER)->Arg(OVERSEER)->Repetitions(15)->ReportAggregatesOnly(true);

} // namespace

BENCHMARK_MAIN();
