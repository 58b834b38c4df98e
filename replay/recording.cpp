// Decompressing a recording and splitting it into clock readings and frames.
#include "replay/recording.h"

#include <fstream>
#include <iterator>
#include <zstd.h>

namespace cog::replay {

const char* load_error_text(LoadError error) {
    switch (error) {
    case LoadError::None: return "ok";
    case LoadError::CannotOpen: return "cannot be read";
    case LoadError::NotZstd: return "is not a compressed recording";
    case LoadError::NotARecording: return "is not a Cogwell recording";
    case LoadError::Truncated: return "is cut short";
    }
    return "?";
}

namespace {

bool decompress(std::string_view compressed, std::string& out) {
    ZSTD_DCtx* context = ZSTD_createDCtx();
    std::string chunk(ZSTD_DStreamOutSize(), '\0');
    ZSTD_inBuffer in{compressed.data(), compressed.size(), 0};
    bool ok = true;
    while (in.pos < in.size) {
        ZSTD_outBuffer outbuf{chunk.data(), chunk.size(), 0};
        const size_t result = ZSTD_decompressStream(context, &outbuf, &in);
        if (ZSTD_isError(result)) {
            ok = false;
            break;
        }
        out.append(chunk.data(), outbuf.pos);
    }
    ZSTD_freeDCtx(context);
    return ok;
}

// One record of a frame; false at a tag that has no place here.
bool read_frame_record(RecordTag tag, RecordCursor& c, Recording& rec, RecordedFrame& frame, int64_t& wall,
                       int64_t& mono) {
    switch (tag) {
    case RecordTag::WALL_CLOCK:
        wall += c.signed_varint();
        rec.clock.push_back({true, wall});
        return true;
    case RecordTag::MONO_CLOCK:
        mono += c.signed_varint();
        rec.clock.push_back({false, mono});
        if (frame.start_ns == 0) frame.start_ns = mono;
        return true;
    case RecordTag::LOGIN: {
        RecordedLogin login;
        login.previous_id = static_cast<uint32_t>(c.varint());
        login.name = c.bytes();
        login.id = static_cast<uint32_t>(c.varint());
        frame.logins.push_back(login);
        return true;
    }
    case RecordTag::MESSAGE: {
        RecordedMessage message;
        message.id = static_cast<uint32_t>(c.varint());
        message.body = c.bytes();
        frame.messages.push_back(message);
        return true;
    }
    case RecordTag::DROP:
        frame.drops.push_back({static_cast<uint32_t>(c.varint()), static_cast<DropReason>(c.varint())});
        return true;
    case RecordTag::PICTURE: {
        RecordedPicture picture;
        picture.id = static_cast<uint32_t>(c.varint());
        picture.digest = c.varint();
        const uint64_t count = c.varint();
        if (count > c.data.size()) return false;
        picture.commands.reserve(count);
        for (uint64_t i = 0; i < count && c.ok; ++i) picture.commands.push_back(c.u16());
        frame.pictures.push_back(std::move(picture));
        return true;
    }
    default: return false;
    }
}

} // namespace

LoadError parse_recording(std::string_view compressed, Recording& rec) {
    const bool whole = decompress(compressed, rec.bytes);
    RecordCursor c{rec.bytes};
    if (rec.bytes.size() < RECORDING_MAGIC.size() + 1) return whole ? LoadError::NotARecording : LoadError::NotZstd;
    if (std::string_view(rec.bytes).substr(0, RECORDING_MAGIC.size()) != RECORDING_MAGIC)
        return LoadError::NotARecording;
    c.at = RECORDING_MAGIC.size();
    if (static_cast<RecordTag>(c.byte()) != RecordTag::START) return LoadError::NotARecording;
    rec.seed = c.varint();
    rec.mode = static_cast<DebugCommandsMode>(c.varint());
    rec.admin_token = std::string(c.bytes());
    // Readings before the first frame (start-up) and between frames (pacing) belong to no frame
    // but are kept in order all the same.
    RecordedFrame loose, current;
    bool in_frame = false;
    int64_t wall = 0, mono = 0;
    while (!c.done()) {
        const RecordTag tag = static_cast<RecordTag>(c.byte());
        if (tag == RecordTag::FRAME) {
            current = RecordedFrame{};
            in_frame = true;
        } else if (tag == RecordTag::FRAME_END && in_frame) {
            rec.frames.push_back(std::move(current));
            in_frame = false;
        } else if (!read_frame_record(tag, c, rec, in_frame ? current : loose, wall, mono)) {
            return LoadError::NotARecording;
        }
    }
    if (!c.ok || in_frame || !whole) return LoadError::Truncated;
    return LoadError::None;
}

LoadError load_recording(const std::string& path, Recording& out) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return LoadError::CannotOpen;
    const std::string compressed((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return parse_recording(compressed, out);
}

} // namespace cog::replay
