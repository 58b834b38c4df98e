// Deterministic services and a ready GlobalState for screen tests: a hand-driven clock, a seeded
// or scripted random source, recorded sounds and a captured console.
#pragma once

#include "server/screens/screen/global_state.h"
#include "shared/log/console.h"
#include "shared/protocol/messages.h"

#include <cstdint>
#include <deque>
#include <memory_resource>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cog::test {

class FakeClock final : public Clock {
public:
    int64_t wall = 1'700'000'000'000'000'000; // nanoseconds since 1970; set it to step the wall clock
    int64_t mono = 1'000'000'000;
    std::vector<int64_t> sleeps_ms;           // every sleep asked for
    int64_t mono_step_ns = 0;                 // added after every monotonic read: simulated work
    int64_t wall_ns() override { return wall; }
    int64_t monotonic_ns() override {
        const int64_t now = mono;
        advance_ns(mono_step_ns);
        return now;
    }
    void sleep_ms(int64_t ms) override {
        sleeps_ms.push_back(ms);
        advance_ns(ms * 1'000'000);
    }
    // Time passes: both clocks move on.
    void advance_ns(int64_t ns) {
        wall += ns;
        mono += ns;
    }
};

// Returns the queued draws first, then `fallback` forever.
class ScriptedRandom final : public Random {
public:
    std::deque<uint64_t> queued;
    uint64_t fallback = 0;
    uint64_t next_u64() override {
        if (queued.empty()) return fallback;
        uint64_t v = queued.front();
        queued.pop_front();
        return v;
    }
    // Queues a draw whose uniform value is u (u in [0, 1)).
    void queue_uniform(double u) { queued.push_back(static_cast<uint64_t>(u * 16777216.0) & 0xFFFFFFu); }
};

struct PlayedSound {
    SoundId id;
    float volume;
};

// A GlobalState wired to fake services, recording every sound request.
struct TestWorld {
    FakeClock clock;
    SeededRandom random{12345};
    GlobalState global;
    std::vector<PlayedSound> sounds;
    int music_stops = 0;
    std::vector<std::pair<uint32_t, std::string>> told; // system lines: to whom, what

    TestWorld() {
        global.clock = &clock;
        global.random = &random;
        global.play_sound = [this](SoundId id, float volume) { sounds.push_back({id, volume}); };
        global.stop_music = [this] { ++music_stops; };
        global.tell = [this](uint32_t id, std::string_view text) { told.emplace_back(id, std::string(text)); };
    }

    PlayerConnection& add_human(uint32_t id, std::string name = "") {
        PlayerConnection& p = global.players[id];
        p = PlayerConnection{};
        p.id = id;
        p.name = name.empty() ? "P" + std::to_string(id) : std::move(name);
        p.connected = true;
        p.show_mouse = true;
        p.mask = human_mask(id, global.mask_offset);
        return p;
    }
    PlayerConnection& add_bot(uint32_t id) {
        PlayerConnection& p = global.players[id];
        p = PlayerConnection{};
        p.id = id;
        p.is_bot = true;
        p.connected = true;
        p.mask = bot_mask(id, global.mask_offset);
        return p;
    }
};

// Collects console output (log and diagnostic lines) while alive.
class ConsoleCapture {
public:
    ConsoleCapture() { console_set_sink(&ConsoleCapture::collect, this); }
    ~ConsoleCapture() { console_set_sink(nullptr, nullptr); }
    ConsoleCapture(const ConsoleCapture&) = delete;
    ConsoleCapture& operator=(const ConsoleCapture&) = delete;

    const std::string& text() const { return text_; }
    bool contains(std::string_view needle) const { return text_.find(needle) != std::string::npos; }
    size_t count(std::string_view needle) const;
    void clear() { text_.clear(); }

private:
    static void collect(void* self, std::string_view line) {
        static_cast<ConsoleCapture*>(self)->text_.append(line);
    }
    std::string text_;
};

// A draw list backed by its own arena, for render calls in tests.
struct Frame {
    std::pmr::monotonic_buffer_resource arena;
    DrawList list{&arena};
};

// The commands of one kind, or with one text.
std::vector<DrawCommand> commands_of_kind(const DrawList& list, DrawCommandKind kind);
const DrawCommand* find_text(const DrawList& list, std::string_view text);

} // namespace cog::test
