// Reading the host within a frame's budget, newest picture first.
#include "client/host_reader.h"

#include "client/picture_limits.h"
#include "shared/log/log.h"

namespace cog::client {

namespace {

enum Problem : uint32_t {
    BAD_PICTURE = 1,
    LARGE_PICTURE = 2,
    COVERING_PICTURE = 4,
    BAD_MESSAGE = 8,
    UNKNOWN_KIND = 16,
    BAD_STREAM = 32,
    DROPPED_MESSAGE = 64,
};

enum class FrameForm { Picture, Event, Other };

// The host writes compact JSON with the kind first; anything else is decoded to find out.
FrameForm sniff(std::string_view body) {
    if (body.starts_with(R"({"kind":1,)")) return FrameForm::Picture;
    if (body.starts_with(R"({"kind":0,)")) return FrameForm::Event;
    return FrameForm::Other;
}

} // namespace

HostReader::HostReader()
    : pictures_{MessageSlot(MAX_PICTURE_COMMANDS), MessageSlot(MAX_PICTURE_COMMANDS)}, other_(MAX_PICTURE_COMMANDS) {}

std::span<const DrawCommand> HostReader::picture() const {
    if (shown_ < 0) return {};
    return std::span<const DrawCommand>(pictures_[static_cast<size_t>(shown_)].message().commands).first(drawable_);
}

void HostReader::warn_once(uint32_t problem, const char* text) {
    if (warned_ & problem) return;
    warned_ |= problem;
    LOG_WARN("%s", text);
}

ProtocolError HostReader::read_frame(Connection& connection, Session& session, Overlay& overlay, SoundOutput& sound,
                                     double now_s, const ReadLimits& limits) {
    if (!connection.is_open()) return ProtocolError::ConnectionClosed;
    const ProtocolError read_error = connection.read_available(limits.bytes_per_frame);
    // A host in the middle of a long message is sending, not silent: any bytes count as hearing it.
    const uint64_t arrived = connection.traffic().message_bytes;
    if (arrived != bytes_heard_) session.last_heard_s = now_s;
    bytes_heard_ = arrived;
    std::string_view newest_picture;
    size_t events = 0;
    int sounds_left = limits.sounds_per_frame;
    ProtocolError stream_error = ProtocolError::None;
    while (events < limits.events_per_frame) {
        const IncomingFrame frame = connection.next_frame();
        if (frame.error != ProtocolError::None) {
            stream_error = frame.error;
            warn_once(BAD_STREAM, "The host sent a frame header the stream cannot go on from; reconnecting");
            break;
        }
        if (frame.body.empty()) break;
        session.last_heard_s = now_s;
        if (sniff(frame.body) == FrameForm::Picture) {
            newest_picture = frame.body; // an older picture of this frame is never decoded
        } else {
            take_other(frame.body, session, overlay, sound, now_s, sounds_left);
            ++events;
        }
    }
    if (!newest_picture.empty()) take_picture(newest_picture, session.world);
    if (connection.take_skipped_messages() > 0)
        warn_once(DROPPED_MESSAGE, "Skipped a message from the host that is too large or empty");
    connection.drop_taken_frames();
    const ProtocolError error = stream_error != ProtocolError::None ? stream_error : read_error;
    if (error != ProtocolError::None) connection.close();
    return error;
}

void HostReader::take_picture(std::string_view body, WorldSize world) {
    const size_t next = shown_ == 0 ? 1 : 0;
    MessageSlot& slot = pictures_[next];
    const DecodeResult result = slot.decode(body);
    if (result == DecodeResult::TooManyCommands) {
        warn_once(LARGE_PICTURE, "Skipped a picture with too many commands");
        return;
    }
    if (result != DecodeResult::Ok || slot.message().kind != ServerMessageKind::DRAW_COMMANDS) {
        warn_once(BAD_PICTURE, "Skipped a picture that does not decode");
        return;
    }
    const auto& commands = slot.message().commands;
    drawable_ = commands_within_budget(commands, world);
    if (drawable_ < commands.size())
        warn_once(COVERING_PICTURE, "A picture covers too much; its last commands are not drawn");
    shown_ = static_cast<int>(next);
}

void HostReader::take_other(std::string_view body, Session& session, Overlay& overlay, SoundOutput& sound,
                            double now_s, int& sounds_left) {
    const DecodeResult result = other_.decode(body);
    if (result != DecodeResult::Ok) {
        warn_once(BAD_MESSAGE, "Skipped a message from the host that does not decode");
        return;
    }
    const ServerMessage& message = other_.message();
    if (message.kind == ServerMessageKind::EVENT) {
        // A flood of sounds in one frame would only drown each other: the first few are played.
        if (message.event.kind == EventKind::PLAY_SOUND && sounds_left-- <= 0) return;
        handle_event(session, overlay, sound, message.event, now_s);
    } else if (message.kind == ServerMessageKind::DRAW_COMMANDS) {
        take_picture(body, session.world); // a picture in a form other than the host's own
    } else {
        warn_once(UNKNOWN_KIND, "Ignored a message of unknown kind from the host");
    }
}

} // namespace cog::client
