// Program entry: the host with the wall clock and the OS random source, configured by its options.
#include "server/main/host.h"
#include "server/options/options.h"
#include "server/recording/recorder.h"
#include "shared/log/console.h"
#include "shared/log/console_writer.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <unistd.h>

namespace {

std::atomic<bool> g_stop_requested{false};

void request_stop(int) { g_stop_requested.store(true); }

} // namespace

int main(int argc, char** argv) {
    const cog::ParsedOptions parsed = cog::parse_host_options(argc, argv, [](const char* name) -> const char* {
        return std::getenv(name);
    });
    if (parsed.error != cog::OptionsError::None) {
        if (!parsed.message.empty()) std::fprintf(stderr, "%s: %s\n", argv[0], parsed.message.c_str());
        std::fputs(cog::host_usage(argv[0]).c_str(), parsed.error == cog::OptionsError::Help ? stdout : stderr);
        return parsed.error == cog::OptionsError::Help ? 0 : 2;
    }
    // SIGINT and SIGTERM end the loop like closing the window: screens destroyed, clean exit.
    std::signal(SIGINT, request_stop);
    std::signal(SIGTERM, request_stop);
    std::signal(SIGPIPE, SIG_IGN); // a vanished client must not kill the host mid-send
    // A file-size limit (ulimit -f) met by the recording ends the recording, not the game.
    std::signal(SIGXFSZ, SIG_IGN);

    // The log goes through a writer thread: a reader of our output that falls behind costs
    // dropped lines (counted in a later line), never a late frame.
    cog::ConsoleWriter console(STDOUT_FILENO);
    cog::console_set_sink(&cog::ConsoleWriter::sink, &console);
    cog::log_set_min_level(parsed.options.log_level);

    cog::SystemClock clock;
    // A recorded game keeps its seed, so the same draws can be made again in a replay.
    const uint64_t seed = cog::SeededRandom::os_seed();
    cog::SeededRandom random(seed);
    cog::HostConfig config;
    static_cast<cog::HostOptions&>(config) = parsed.options;
    // The build puts the browser client in a folder beside the program.
    if (config.web_root.empty()) {
        std::error_code error;
        config.web_root = (std::filesystem::read_symlink("/proc/self/exe", error).parent_path() / "web").string();
    }
    config.clock = &clock;
    config.random = &random;
    config.stop_requested = &g_stop_requested;
    config.console = &console;
    std::unique_ptr<cog::Recorder> recorder;
    std::optional<cog::RecordingClock> recording_clock;
    if (!config.record_path.empty()) {
        recorder = cog::Recorder::open(config.record_path, seed, config.record_max_bytes);
        if (!recorder) return 1;
        recording_clock.emplace(clock, *recorder);
        config.clock = &*recording_clock;
        config.instrument_clock = &clock;
        config.observer = recorder.get();
        config.recorder = recorder.get();
    }
    int code = 0;
    {
        cog::Host host(config);
        code = host.run();
    }
    recorder.reset(); // the recording is complete before the exit code is
    cog::console_set_sink(nullptr, nullptr);
    return code;
}
