// The cost of a command line by its length: a line is read only as far as its first two words,
// so a megabyte of spaces after "tm" should cost about what "tm" alone does.
#include "server/main/commands.h"
#include "server/main/host_state.h"
#include "shared/log/console.h"

#include <benchmark/benchmark.h>
#include <string>

namespace cog {
namespace {

class StillClock final : public Clock {
public:
    int64_t wall_ns() override { return 0; }
    int64_t monotonic_ns() override { return 0; }
    void sleep_ms(int64_t) override {}
};

void BM_ToggleMouseLineOfSpaces(benchmark::State& state) {
    console_set_sink([](void*, std::string_view) {}, nullptr);
    StillClock clock;
    SeededRandom random(1);
    HostState host(clock, random, clock);
    PlayerConnection& player = host.global.players[1];
    player.id = 1;
    player.connected = true;
    const std::string line = "tm" + std::string(static_cast<size_t>(state.range(0)), ' ');
    for (auto _ : state) handle_settings_command(host, 1, line);
    benchmark::DoNotOptimize(player.show_mouse);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(line.size()));
    console_set_sink(nullptr, nullptr);
}
BENCHMARK(BM_ToggleMouseLineOfSpaces)->Arg(0)->Arg(1 << 10)->Arg(1 << 20);

} // namespace
} // namespace cog

BENCHMARK_MAIN();
