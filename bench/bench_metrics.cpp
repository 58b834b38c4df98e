// What the room's metrics cost: the frame's share (gathering the counts of a room of 100 seated
// players and publishing the snapshot, once a frame) and the metrics thread's (writing the text of
// one scrape).
#include "server/main/host_state.h"
#include "server/main/metrics_gathering.h"
#include "server/metrics/exposition.h"
#include "shared/metrics/snapshot_exchange.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

using namespace cog;

void BM_GatherAndPublish(benchmark::State& state) {
    SystemClock clock;
    SeededRandom random(1);
    auto host = std::make_unique<HostState>(clock, random, clock);
    for (uint32_t id = 1; id <= static_cast<uint32_t>(state.range(0)); ++id) {
        PlayerConnection& player = host->global.players[id];
        player.id = id;
        player.connected = true;
        host->connections.sockets[id] = ClientSocket{};
    }
    auto exchange = std::make_unique<metrics::SnapshotExchange<metrics::RoomMetrics>>();
    for (auto _ : state) {
        gather_room_metrics(*host, {});
        exchange->publish(host->metrics);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_GatherAndPublish)->Arg(9)->Arg(100);

void BM_RenderScrape(benchmark::State& state) {
    metrics::RoomMetrics m;
    m.frames = 123456;
    for (int i = 0; i < 1000; ++i) m.frame_times.observe(i * 20'000);
    m.fleet = true;
    m.recording = true;
    m.set_screen("TYPEWRITER");
    size_t bytes = 0;
    for (auto _ : state) bytes = metrics::render_exposition(m).size();
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_RenderScrape);

} // namespace

BENCHMARK_MAIN();
