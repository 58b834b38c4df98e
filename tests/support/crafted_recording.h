// Recordings written record by record, as no host would write them: the replay's hostile inputs,
// for its tests and for measuring what they cost.
#pragma once

#include "server/recording/recording_format.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <zstd.h>

namespace cog::test {

struct CraftedRecording {
    std::string records; // before compression

    explicit CraftedRecording(uint64_t seed = 1) {
        records.append(RECORDING_MAGIC);
        tag(RecordTag::START);
        put_varint(records, seed);
        put_varint(records, 0); // open debug commands
        put_bytes(records, "");  // no admin token
    }
    CraftedRecording& tag(RecordTag t) {
        records.push_back(static_cast<char>(t));
        return *this;
    }
    // A wall-clock reading `change_ns` after the previous one.
    CraftedRecording& wall(int64_t change_ns) {
        tag(RecordTag::WALL_CLOCK);
        put_signed(records, change_ns);
        return *this;
    }
    // A monotonic reading `change_ns` after the previous one.
    CraftedRecording& mono(int64_t change_ns) {
        tag(RecordTag::MONO_CLOCK);
        put_signed(records, change_ns);
        return *this;
    }
    CraftedRecording& login(std::string_view name, uint32_t previous_id, uint32_t id) {
        tag(RecordTag::LOGIN);
        put_varint(records, previous_id);
        put_bytes(records, name);
        put_varint(records, id);
        put_varint(records, 0); // no reconnection secret presented
        return *this;
    }
    CraftedRecording& message(uint32_t id, std::string_view body) {
        tag(RecordTag::MESSAGE);
        put_varint(records, id);
        put_bytes(records, body);
        return *this;
    }
    CraftedRecording& drop(uint32_t id, int64_t reason) {
        tag(RecordTag::DROP);
        put_varint(records, id);
        put_varint(records, static_cast<uint64_t>(reason));
        return *this;
    }
    // A frame 16 ms after the last, with nothing in it.
    CraftedRecording& idle_frame() {
        tag(RecordTag::FRAME).mono(16'000'000).tag(RecordTag::FRAME_END);
        return *this;
    }
    bool save(const std::string& path, int level = 3) const {
        std::string packed(ZSTD_compressBound(records.size()), '\0');
        const size_t size = ZSTD_compress(packed.data(), packed.size(), records.data(), records.size(), level);
        std::FILE* file = std::fopen(path.c_str(), "wb");
        if (!file || ZSTD_isError(size)) return false;
        const bool written = std::fwrite(packed.data(), 1, size, file) == size;
        return std::fclose(file) == 0 && written;
    }
};

} // namespace cog::test
