// libFuzzer target: arbitrary bytes through both JSON readers, then re-encoding what was accepted.
#include "shared/protocol/json.h"

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
    return 0;
}
