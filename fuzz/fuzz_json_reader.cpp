// libFuzzer target: arbitrary bytes through the JSON readers, then re-encoding what was accepted;
// a picture change that reads is also applied to a small picture, within a command limit.
#include "shared/protocol/json.h"
#include "shared/protocol/picture_change.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory_resource>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::pmr::monotonic_buffer_resource arena;
    std::string out;

    cog::ClientMessage client;
    if (!cog::read_json(text, client, &arena)) {
        // Whatever was accepted must encode to text that reads back. (Not necessarily to the
        // same bytes: an invalid UTF-8 byte is written as \xNN, which reads back as U+00NN.)
        cog::write_json(out, client);
        cog::ClientMessage again;
        if (cog::read_json(out, again, &arena)) std::abort();
    }

    cog::ServerMessage server{cog::ServerMessageKind::EVENT, {}, cog::DrawList(&arena)};
    if (!cog::read_json(text, server, &arena)) {
        out.clear();
        cog::write_json(out, server);
        cog::ServerMessage again{cog::ServerMessageKind::EVENT, {}, cog::DrawList(&arena)};
        if (cog::read_json(out, again, &arena)) std::abort();
    }

    cog::PictureChange change{cog::ServerMessageKind::EVENT, 0, cog::KeptRuns(&arena), cog::DrawList(&arena),
                             cog::PicturePlaces(&arena), cog::DrawEdits(&arena)};
    if (!cog::read_json(text, change, &arena, 64)) {
        cog::DrawList previous(4, cog::DrawCommand{}, &arena);
        cog::DrawList picture(&arena);
        if (cog::apply_picture_change(previous, change, picture, 64) == cog::ChangeError::None && picture.size() > 64)
            std::abort();
    }
    return 0;
}
