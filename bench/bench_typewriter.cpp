// Render cost of the typing pool's game view for one viewer at a full table, and the size of
// the resulting DRAW_COMMANDS message.
#include "server/screens/screen/screen_kinds.h"
#include "server/screens/typewriter/typewriter_state.h"
#include "shared/log/console.h"
#include "shared/protocol/json.h"

#include <benchmark/benchmark.h>

#include <array>
#include <memory>
#include <memory_resource>
#include <string>

namespace {

using namespace cog;

constexpr uint32_t COP_ID = 1;
constexpr uint32_t MASKED_ID = 2;

void ignore_console(void*, std::string_view) {}

// Overseer 1, humans 2 and 3, bots 4..9, 21 s into the game: word 4 is being typed, the
// briefing is over and the bots have typed part of their word.
struct Table {
    SeededRandom random{42};
    GlobalState global;
    std::unique_ptr<typewriter::TypewriterState> screen;

    Table() {
        console_set_sink(&ignore_console, nullptr);
        global.random = &random;
        global.play_sound = [](SoundId, float) {};
        global.stop_music = [] {};
        for (uint32_t id = 1; id <= 9; ++id) seat(id, id >= 4);
        global.roles[COP_ID] = PlayerRole::COP;
        screen.reset(static_cast<typewriter::TypewriterState*>(create_typewriter(random).release()));
        screen->init(global);
        for (const auto& entry : global.players) screen->on_player_enter(entry.first);
        for (int frame = 0; frame < 21 * 60; ++frame) screen->update(1.0f / 60.0f);
        type_as(MASKED_ID, 'C');
        type_as(3, 'Q');
        global.players[COP_ID].input.mouse_x = 640;
        global.players[COP_ID].input.mouse_y = 360;
        console_set_sink(nullptr, nullptr);
    }

    void seat(uint32_t id, bool bot) {
        PlayerConnection& p = global.players[id];
        p.id = id;
        p.is_bot = bot;
        p.connected = true;
        p.mask = static_cast<int32_t>(bot ? bot_mask(id, 0) : human_mask(id, 0));
        if (id != COP_ID) global.roles[id] = PlayerRole::MASKED;
    }

    void type_as(uint32_t id, char letter) {
        InputState input;
        input.keys[static_cast<size_t>(letter - 'A')].just_pressed = true;
        screen->handle_input(id, input);
    }
};

Table& table() {
    static Table t;
    return t;
}

void BM_TypewriterRender(benchmark::State& state) {
    Table& t = table();
    const auto viewer = static_cast<uint32_t>(state.range(0));
    std::array<std::byte, 64 * 1024> buffer;
    size_t commands = 0;
    for (auto _ : state) {
        std::pmr::monotonic_buffer_resource arena(buffer.data(), buffer.size());
        DrawList list(&arena);
        t.screen->render(viewer, list);
        commands = list.size();
        benchmark::DoNotOptimize(list.data());
    }
    std::pmr::monotonic_buffer_resource arena(buffer.data(), buffer.size());
    ServerMessage message{ServerMessageKind::DRAW_COMMANDS, {}, DrawList(&arena)};
    t.screen->render(viewer, message.commands);
    std::string json;
    write_json(json, message);
    state.counters["commands"] = static_cast<double>(commands);
    state.counters["json_bytes"] = static_cast<double>(json.size());
}
BENCHMARK(BM_TypewriterRender)->Arg(MASKED_ID)->Arg(COP_ID)->Repetitions(15)->ReportAggregatesOnly(true);

} // namespace

BENCHMARK_MAIN();
