// Cost of writing a picture as a change against the previous one, and of applying it: a
// typing-pool-like picture of 107 commands in which 20 sprites bob (one member each) and 5 texts
// grow (two members each) from one frame to the next; and of finding that a change serves
// another viewer as it is.
#include "shared/protocol/json.h"
#include "shared/protocol/picture_change.h"
#include "shared/protocol/picture_change_writer.h"

#include <benchmark/benchmark.h>
#include <xxhash.h>

#include <memory_resource>
#include <string>
#include <vector>

namespace {

using namespace cog;

DrawList picture_at(int frame, std::pmr::memory_resource* arena) {
    DrawList list(arena);
    for (int i = 0; i < 107; ++i) {
        DrawCommand c;
        const float f = static_cast<float>(i);
        c.color = {255, 255, 255, 255};
        if (i < 7) {
            c.kind = DrawCommandKind::TEXT;
            c.text = "HOUSE";
            c.x = 540.0f - f - (i >= 2 ? 0.6667f * static_cast<float>(frame) : 0.0f);
            c.y = 47;
            c.font_size = 74 + i + (i >= 2 ? frame : 0);
        } else if (i % 11 == 9 || i % 11 == 10) {
            c.kind = DrawCommandKind::SPRITE;
            c.x = 130.0f + 10.0f * f;
            c.y = 150.0f + 0.0137f * static_cast<float>(frame * (i % 7 + 1));
            c.width = c.height = 200;
            c.asset_id = 6;
            c.scale_x = c.scale_y = 1;
        } else {
            c.kind = DrawCommandKind::RECT;
            c.x = 20.0f * f;
            c.y = 300;
            c.width = 18;
            c.height = 40;
            c.color = {40, 40, 60, 255};
        }
        list.push_back(c);
    }
    return list;
}

// A picture as the host keeps it: its commands' texts one after another, and their hashes.
struct Written {
    PictureBuffer text;
    std::vector<CommandSpan> spans;
    std::vector<uint64_t> hashes;
    std::string body; // the whole DRAW_COMMANDS body
    WholePicture whole() const { return {text.data(), spans, hashes, body.size()}; }
};

Written written(int frame, std::pmr::memory_resource* arena) {
    Written w;
    const DrawList list = picture_at(frame, arena);
    write_json(w.body, ServerMessage{ServerMessageKind::DRAW_COMMANDS, Event{}, list});
    for (const DrawCommand& c : list) {
        const size_t begin = w.text.size();
        write_command_json(w.text, c);
        w.spans.push_back({static_cast<uint32_t>(begin), static_cast<uint32_t>(w.text.size() - begin)});
        w.hashes.push_back(XXH3_64bits(w.text.data() + begin, w.text.size() - begin));
        w.text.push_back(',');
    }
    return w;
}

// Argument 1: the frame's first viewer, who works the edits out; 0: a later viewer, who finds
// them already written.
// Two consecutive frames of one viewer, indexed, and the writer's buffers.
struct TwoFrames {
    std::pmr::monotonic_buffer_resource arena;
    Written before = written(1, &arena), now = written(2, &arena);
    PictureIndex index;
    PictureBuffer out;
    ChangeScratch scratch;
    TwoFrames() { index.build(before.hashes); }
    bool write() {
        out.clear();
        return write_picture_change(out, before.whole(), index, now.whole(), scratch);
    }
};

void BM_WritePictureChange(benchmark::State& state) {
    const bool first_viewer = state.range(0) != 0;
    TwoFrames frames;
    for (auto _ : state) {
        if (first_viewer) frames.scratch.cache.clear();
        benchmark::DoNotOptimize(frames.write());
    }
    state.counters["whole_bytes"] = static_cast<double>(frames.now.body.size());
    state.counters["change_bytes"] = static_cast<double>(frames.out.size());
}
BENCHMARK(BM_WritePictureChange)->Arg(1)->Arg(0);

// Deciding that the change worked out for one viewer serves another: here a viewer whose two
// pictures are the same as the first's, the check walking every command.
void BM_ChangeAlsoServes(benchmark::State& state) {
    TwoFrames frames;
    frames.write();
    for (auto _ : state)
        benchmark::DoNotOptimize(change_also_serves(frames.scratch, frames.before.whole(), frames.now.whole(),
                                                    frames.before.whole(), frames.now.whole()));
}
BENCHMARK(BM_ChangeAlsoServes);

void BM_ApplyPictureChange(benchmark::State& state) {
    TwoFrames frames;
    frames.write();
    ServerMessage shown;
    read_json(std::string_view(frames.before.body.data(), frames.before.body.size()), shown, &frames.arena);
    DrawList rebuilt;
    for (auto _ : state) {
        std::pmr::monotonic_buffer_resource strings;
        PictureChange change;
        read_json(std::string_view(frames.out.data(), frames.out.size()), change, &strings);
        benchmark::DoNotOptimize(apply_picture_change(shown.commands, change, rebuilt, 16384));
    }
}
BENCHMARK(BM_ApplyPictureChange);

} // namespace

BENCHMARK_MAIN();
