// Reading the host within a frame's budget, newest picture first.
#include "client/session/host_reader.h"

#include "client/picture/picture_limits.h"
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
    BAD_CHANGE = 128,
};

enum class FrameForm { Picture, Change, Event, Other };

// The host writes compact JSON with the kind first; anything else is decoded to find out.
FrameForm sniff(std::string_view body) {
    if (body.starts_with(R"({"kind":1,)")) return FrameForm::Picture;
    if (body.starts_with(R"({"kind":2,)")) return FrameForm::Change;
    if (body.starts_with(R"({"kind":0,)")) return FrameForm::Event;
    return FrameForm::Other;
}

ClientMessage picture_request() {
    ClientMessage message;
    message.kind = ClientMessageKind::PICTURE_REQUEST;
    return message;
}

} // namespace

HostReader::HostReader()
    : pictures_{MessageSlot(MAX_PICTURE_COMMANDS), MessageSlot(MAX_PICTURE_COMMANDS)},
      changed_(MAX_PICTURE_COMMANDS),
      other_(MAX_PICTURE_COMMANDS) {}

std::span<const DrawCommand> HostReader::whole_shown() const {
    switch (shown_) {
    case Shown::Nothing: return {};
    case Shown::Slot0: return pictures_[0].message().commands;
    case Shown::Slot1: return pictures_[1].message().commands;
    case Shown::Changed: return changed_.commands();
    }
    return {};
}

std::span<const DrawCommand> HostReader::picture() const { return whole_shown().first(drawable_); }

void HostReader::show(Shown which, WorldSize world) {
    shown_ = which;
    const std::span<const DrawCommand> commands = whole_shown();
    drawable_ = commands_within_budget(commands, world);
    if (drawable_ < commands.size())
        warn_once(COVERING_PICTURE, "A picture covers too much; its last commands are not drawn");
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
        const FrameForm form = sniff(frame.body);
        if (form == FrameForm::Picture) {
            newest_picture = frame.body; // an older picture of this frame is never decoded,
            changes_.clear();            // nor a change to one
        } else if (form == FrameForm::Change) {
            changes_.push_back(frame.body); // each applies to the one before: all are taken, in order
        } else {
            take_other(frame.body, session, overlay, sound, now_s, sounds_left);
            ++events;
        }
    }
    if (!newest_picture.empty()) take_picture(newest_picture, session.world);
    take_changes(connection, session.world, limits.change_commands_per_frame);
    if (connection.take_skipped_messages() > 0)
        warn_once(DROPPED_MESSAGE, "Skipped a message from the host that is too large or empty");
    connection.drop_taken_frames();
    const ProtocolError error = stream_error != ProtocolError::None ? stream_error : read_error;
    if (error != ProtocolError::None) connection.close();
    return error;
}

void HostReader::take_picture(std::string_view body, WorldSize world) {
    const size_t next = shown_ == Shown::Slot0 ? 1 : 0;
    MessageSlot& slot = pictures_[next];
    const DecodeResult result = slot.decode(body);
    // A skipped picture is still the host's base for its next change, which cannot apply here.
    if (result == DecodeResult::TooManyCommands) {
        warn_once(LARGE_PICTURE, "Skipped a picture with too many commands");
        has_base_ = false;
        return;
    }
    if (result != DecodeResult::Ok || slot.message().kind != ServerMessageKind::DRAW_COMMANDS) {
        warn_once(BAD_PICTURE, "Skipped a picture that does not decode");
        has_base_ = false;
        return;
    }
    show(next == 0 ? Shown::Slot0 : Shown::Slot1, world);
    has_base_ = true;
    awaiting_whole_ = false;
}

void HostReader::take_changes(Connection& connection, WorldSize world, size_t command_budget) {
    for (const std::string_view body : changes_) {
        if (awaiting_whole_) break; // made against pictures this client no longer has
        if (!has_base_) {
            refuse_change(connection, "Ignored a picture change that came without a previous picture; asking for a whole picture");
            break;
        }
        const std::span<const DrawCommand> previous = whole_shown();
        ChangeError why = ChangeError::None;
        // A change costs what it copies, the kept commands too; past the budget the rest of the
        // frame's changes cannot be followed, and a whole picture is cheaper.
        if (previous.size() > command_budget) {
            refuse_change(connection, "Too many picture changes in one frame; asking for a whole picture");
            break;
        }
        const ChangeResult result = changed_.apply(body, previous, why);
        if (result != ChangeResult::Ok) {
            refuse_change(connection, result == ChangeResult::Undecodable
                                          ? "Ignored a picture change that does not decode; asking for a whole picture"
                                          : "Ignored a picture change that does not fit the previous picture; asking for a whole picture");
            break;
        }
        command_budget -= std::min(command_budget, changed_.commands().size());
        show(Shown::Changed, world);
    }
    changes_.clear();
}

// The picture shown stays; the changes made against the one the host thinks it has are moot
// until the whole picture asked for arrives.
void HostReader::refuse_change(Connection& connection, const char* why) {
    warn_once(BAD_CHANGE, why);
    has_base_ = false;
    awaiting_whole_ = true;
    connection.send(picture_request());
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
        changes_.clear();
    } else if (message.kind == ServerMessageKind::PICTURE_CHANGE) {
        changes_.push_back(body);
    } else {
        warn_once(UNKNOWN_KIND, "Ignored a message of unknown kind from the host");
    }
}

} // namespace cog::client
