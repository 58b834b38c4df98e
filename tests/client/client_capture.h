// What a client under test gives off: the sounds it plays and the console lines it writes.
#pragma once

#include "client/sound/sound_output.h"
#include "shared/log/console.h"
#include "tests/client/hostile_host.h"

#include <string>
#include <string_view>

namespace cog::client {

class CountingSound final : public SoundOutput {
public:
    int plays = 0;
    void play(uint16_t, float) override { ++plays; }
    void stop_music() override {}
};

// The console lines written while a test runs.
class ConsoleCapture {
public:
    ConsoleCapture() { console_set_sink(&ConsoleCapture::collect, this); }
    ~ConsoleCapture() { console_set_sink(nullptr, nullptr); }
    size_t count(std::string_view needle) const { return hostile::occurrences(text, needle); }
    std::string text;

private:
    static void collect(void* self, std::string_view line) { static_cast<ConsoleCapture*>(self)->text.append(line); }
};

} // namespace cog::client
