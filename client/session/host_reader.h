// One client frame's share of what the host sent: a bounded number of bytes read, the events
// handled in order, and of the pictures only the newest decoded.
#pragma once

#include "client/net/connection.h"
#include "client/picture/changed_picture.h"
#include "client/picture/message_slot.h"
#include "client/session/overlay.h"
#include "client/session/session.h"
#include "client/sound/sound_output.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace cog::client {

struct ReadLimits {
    size_t bytes_per_frame = 2 * (MAX_FRAME_BODY + 4); // read from the socket per client frame
    size_t events_per_frame = 1024;                    // the rest wait for the next frame
    int sounds_per_frame = 8;                          // more in one frame are not played
    // Commands that changes may build in one frame: many small changes are fine, but a host
    // cannot make each of a flood of tiny messages copy a whole large picture.
    size_t change_commands_per_frame = 4 * 16384;
};

class HostReader {
public:
    HostReader();

    // Reads and handles what arrived. Returns None while the connection stands; otherwise the
    // connection has been closed and the result says why (the peer left, a broken stream).
    // A message that does not decode is skipped; the stream stays aligned.
    ProtocolError read_frame(Connection& connection, Session& session, Overlay& overlay, SoundOutput& sound,
                             double now_s, const ReadLimits& limits = {});

    // The picture to draw: the commands of the newest good picture within its area budget.
    std::span<const DrawCommand> picture() const;
    bool has_picture() const { return shown_ != Shown::Nothing; }

    // A new connection: every problem is worth one warning again, and no change applies until
    // the connection's first whole picture has come.
    void forget_warnings() {
        warned_ = 0;
        has_base_ = false;
        awaiting_whole_ = false;
    }

private:
    enum class Shown { Nothing, Slot0, Slot1, Changed };

    std::span<const DrawCommand> whole_shown() const;
    void show(Shown which, WorldSize world);
    void take_picture(std::string_view body, WorldSize world);
    void take_changes(Connection& connection, WorldSize world, size_t command_budget);
    void refuse_change(Connection& connection, const char* why);
    void take_other(std::string_view body, Session& session, Overlay& overlay, SoundOutput& sound, double now_s,
                    int& sounds_left);
    void warn_once(uint32_t problem, const char* text);

    std::array<MessageSlot, 2> pictures_; // the one shown and the one being decoded
    Shown shown_ = Shown::Nothing;
    ChangedPicture changed_;              // pictures rebuilt from changes
    std::vector<std::string_view> changes_; // this frame's changes after its last whole picture
    bool has_base_ = false;               // the picture shown is the one the host's next change is made against
    bool awaiting_whole_ = false;         // a whole picture was asked for; changes until then are moot
    size_t drawable_ = 0;                 // leading commands of the shown picture within budget
    MessageSlot other_;                   // events, and messages of unknown form
    uint32_t warned_ = 0;                 // problems already reported on this connection
    uint64_t bytes_heard_ = 0;            // the connection's message bytes as of the last read
};

} // namespace cog::client
