// cogwell-replay: checks a recorded game against the host's code, or draws what a player saw.
//
//   cogwell-replay FILE --verify
//   cogwell-replay FILE --player ID --at SECONDS --png OUT.png
//   cogwell-replay FILE --player ID --from S --to S --png-dir DIR
#include "replay/picture_png.h"
#include "replay/recording.h"
#include "replay/replayer.h"

#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace {

struct Arguments {
    std::string file;
    bool verify = false;
    uint32_t player = 0;
    std::optional<double> at, from, to;
    std::string png, png_dir;
};

int usage(const char* program) {
    std::fprintf(stderr,
                 "Usage: %s FILE --verify\n"
                 "       %s FILE --player ID --at SECONDS --png OUT.png\n"
                 "       %s FILE --player ID --from SECONDS --to SECONDS --png-dir DIR\n",
                 program, program, program);
    return 2;
}

std::optional<double> number(std::string_view text) {
    char* end = nullptr;
    const std::string copy(text);
    const double value = std::strtod(copy.c_str(), &end);
    if (end == copy.c_str() || *end != '\0' || value < 0) return std::nullopt;
    return value;
}

bool parse(int argc, char** argv, Arguments& a) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view word = argv[i];
        const bool has_value = i + 1 < argc;
        if (word == "--verify") a.verify = true;
        else if (word == "--player" && has_value) a.player = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        else if (word == "--at" && has_value) a.at = number(argv[++i]);
        else if (word == "--from" && has_value) a.from = number(argv[++i]);
        else if (word == "--to" && has_value) a.to = number(argv[++i]);
        else if (word == "--png" && has_value) a.png = argv[++i];
        else if (word == "--png-dir" && has_value) a.png_dir = argv[++i];
        else if (a.file.empty() && !word.starts_with("--")) a.file = word;
        else return false;
    }
    const bool still = a.player && a.at && !a.png.empty();
    const bool sequence = a.player && a.from && a.to && !a.png_dir.empty();
    return !a.file.empty() && (a.verify || still || sequence);
}

// A replay the recording made impossible, said like a recording that cannot be read: status 3.
int refused(const Arguments& a, const cog::replay::ReplayReport& report) {
    std::fprintf(stderr, "%s cannot be replayed after frame %zu: it %s (player %u)\n", a.file.c_str(), report.frames,
                 cog::replay::replay_refusal_text(report.refused), report.piled_up_player);
    return 3;
}

int verify(cog::replay::RecordingReader& recording, const Arguments& a) {
    const cog::replay::ReplayReport report = cog::replay::run_replay(recording, true);
    if (report.refused != cog::replay::ReplayRefusal::None) return refused(a, report);
    const bool read_to_end =
        recording.error() == cog::replay::LoadError::None || recording.error() == cog::replay::LoadError::Truncated;
    if (report.identical && !read_to_end) return 1; // said by the caller: which frame could not be read
    if (report.identical) {
        std::printf("%zu frames, %zu players: identical\n", report.frames, report.players);
        return 0;
    }
    if (report.first.player == 0) std::printf("frame %zu: %s\n", report.first.frame, report.first.what.c_str());
    else
        std::printf("frame %zu, player %u, command %zu: %s\n", report.first.frame, report.first.player,
                    report.first.command, report.first.what.c_str());
    return 1;
}

// Draws the player's pictures whose time falls in [from, to]; `to` < 0: only the first at or
// after `from`, to `single`.
int draw(cog::replay::RecordingReader& recording, const Arguments& a) {
    const double from = a.at ? *a.at : *a.from;
    const double to = a.at ? *a.at : *a.to;
    int written = 0;
    cog::replay::PngError error = cog::replay::PngError::None;
    const auto sink = [&](double seconds, std::string_view body) {
        if (seconds + 1e-9 < from) return true;
        if (a.at) {
            error = cog::replay::save_picture_png(body, a.png);
            written += error == cog::replay::PngError::None;
            return false;
        }
        if (seconds > to) return false;
        char name[32];
        std::snprintf(name, sizeof name, "/%06d.png", written);
        error = cog::replay::save_picture_png(body, a.png_dir + name);
        written += error == cog::replay::PngError::None;
        return error == cog::replay::PngError::None;
    };
    const cog::replay::ReplayReport report = cog::replay::run_replay(recording, false, a.player, sink);
    if (report.refused != cog::replay::ReplayRefusal::None) return refused(a, report);
    if (error != cog::replay::PngError::None) {
        std::fprintf(stderr, "%s\n", cog::replay::png_error_text(error));
        return 1;
    }
    if (written == 0) {
        std::fprintf(stderr, "player %u has no picture in that time\n", a.player);
        return 1;
    }
    std::printf("%d picture%s written\n", written, written == 1 ? "" : "s");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    // Output to a reader that went away is its loss, not a crash in the middle of a picture.
    std::signal(SIGPIPE, SIG_IGN);
    Arguments arguments;
    if (!parse(argc, argv, arguments)) return usage(argv[0]);
    cog::replay::RecordingReader recording;
    const cog::replay::LoadError error = recording.open(arguments.file);
    if (error != cog::replay::LoadError::None) {
        std::fprintf(stderr, "%s %s\n", arguments.file.c_str(), cog::replay::load_error_text(error));
        return 1;
    }
    const int status = arguments.verify ? verify(recording, arguments) : draw(recording, arguments);
    const cog::replay::LoadError end = recording.error();
    // A recording cut short (a host that died) still replays up to where it ends.
    if (end == cog::replay::LoadError::Truncated)
        std::fprintf(stderr, "%s %s\n", arguments.file.c_str(), cog::replay::load_error_text(end));
    if (end == cog::replay::LoadError::None || end == cog::replay::LoadError::Truncated) return status;
    // Frames that could not be read were never replayed: whatever came before, no verdict.
    std::fprintf(stderr, "%s cannot be replayed after frame %zu: it %s\n", arguments.file.c_str(),
                 recording.frames_read(), cog::replay::load_error_text(end));
    return 3;
}
