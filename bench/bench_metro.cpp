// Render cost of the metro ride for one viewer in GAMEPLAY_VISIBLE with eight passengers, and
// the size of the resulting DRAW_COMMANDS message.
#include "shared/protocol/json.h"

// GCC 12 at -O2 reports a false -Wrestrict inside std::string's operator+ (GCC bug 105329) for
// the test table's default player names; the optimised benchmark is the only build that sees it.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#include "tests/minigames/metro_table.h"
#pragma GCC diagnostic pop

#include <benchmark/benchmark.h>

#include <array>
#include <memory>
#include <memory_resource>
#include <span>
#include <string>

namespace {

using namespace cog;

constexpr float FRAME_S = 1.0f / 60.0f;

// The tests' car: the Overseer, two masked humans, a bot and four robot fillers make eight
// passengers. 20 s into the ride, everyone leans and the Overseer aims at the car.
struct Car {
    test::MetroTable table;

    Car() {
        metro::MetroState& ride = table.start();
        while (ride.ride_time < 20.0f) ride.update(FRAME_S);
        table.world.global.players[test::MetroTable::COP].input.mouse_x = 700;
        table.world.global.players[test::MetroTable::COP].input.mouse_y = 380;
    }
};

Car& car() {
    static Car instance;
    return instance;
}

// The picture as the host would send it; returns its JSON size in bytes.
size_t message_bytes(metro::MetroState& ride, uint32_t viewer, std::pmr::memory_resource* memory) {
    ServerMessage message{ServerMessageKind::DRAW_COMMANDS, {}, DrawList(memory)};
    ride.render(viewer, message.commands);
    std::string json;
    write_json(json, message);
    return json.size();
}

// One frame's picture in a fresh arena over `scratch`; returns its command count.
size_t render_once(metro::MetroState& ride, uint32_t viewer, std::span<std::byte> scratch) {
    std::pmr::monotonic_buffer_resource frame(scratch.data(), scratch.size());
    DrawList picture(&frame);
    ride.render(viewer, picture);
    benchmark::DoNotOptimize(picture.data());
    return picture.size();
}

void BM_MetroRender(benchmark::State& state) {
    metro::MetroState& ride = *car().table.metro;
    if (ride.phase != metro::GAMEPLAY_VISIBLE || ride.passengers.size() != 8) {
        state.SkipWithError("the ride is not in GAMEPLAY_VISIBLE with eight passengers");
        return;
    }
    const auto viewer = static_cast<uint32_t>(state.range(0));
    std::array<std::byte, 32 * 1024> scratch;
    size_t commands = 0;
    for (auto _ : state) commands = render_once(ride, viewer, scratch);
    std::pmr::monotonic_buffer_resource frame(scratch.data(), scratch.size());
    state.counters["commands"] = static_cast<double>(commands);
    state.counters["json_bytes"] = static_cast<double>(message_bytes(ride, viewer, &frame));
}
BENCHMARK(BM_MetroRender)->Arg(test::MetroTable::ANN)->Arg(test::MetroTable::COP)->Repetitions(15)->ReportAggregatesOnly(true);

} // namespace

BENCHMARK_MAIN();
