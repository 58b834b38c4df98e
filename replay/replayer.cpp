// The replay loop: feed a frame's recorded inputs, run the host's frame, compare what it sent.
#include "replay/replayer.h"

#include "replay/connection_ends.h"
#include "replay/player_feeds.h"
#include "replay/replay_clock.h"
#include "server/main/host.h"
#include "server/recording/frame_observer.h"
#include "server/recording/recorded_message.h"
#include "server/web/web_channel.h"
#include "shared/log/console.h"

#include <map>
#include <memory>
#include <set>

namespace cog::replay {

namespace {

// Checks every picture the replayed host sends against the recording, in order.
class Verifier final : public FrameObserver {
public:
    Verifier(bool verify, uint32_t player, const PictureSink& sink, ReplayReport& report, PlayerFeeds& feeds,
             ConnectionEnds& ends)
        : verify_(verify), player_(player), sink_(sink), report_(report), feeds_(feeds), ends_(ends) {}

    void begin(const RecordedFrame& frame, size_t index, double seconds) {
        frame_ = &frame;
        index_ = index;
        seconds_ = seconds;
        next_picture_ = 0;
        logins_.clear();
    }
    // Whatever the recording still expected of the frame.
    void end() {
        if (next_picture_ < frame_->pictures.size())
            differ(frame_->pictures[next_picture_].id, 0, "a recorded picture was not sent");
        for (size_t i = 0; i < frame_->logins.size(); ++i) {
            const uint32_t got = i < logins_.size() ? logins_[i] : 0;
            if (got != frame_->logins[i].id)
                differ(frame_->logins[i].id, 0, "the login was given seat " + std::to_string(got));
        }
    }
    bool stopped() const { return stopped_ || (verify_ && !report_.identical); }

    void login(std::string_view, uint32_t, PresentedSecret, uint32_t id) override {
        logins_.push_back(id);
        // The last login's news to everybody goes now: a crowd logging in at once would otherwise
        // hold every join announcement to every player until the pictures.
        feeds_.discard_all_output();
    }

    void message(uint32_t id, std::string_view) override { ends_.message_read(id); }

    void picture_sent(uint32_t id, std::string_view body, std::span<const uint32_t> starts) override {
        // What the host sent is not read back: the digests are taken here. Let go of it at once,
        // so a frame of many viewers holds one picture at a time rather than all of them.
        feeds_.discard_output(id);
        ends_.picture_sent(id);
        if (sink_ && id == player_ && !sink_(seconds_, body)) stopped_ = true;
        if (!verify_ || !report_.identical) return;
        if (next_picture_ >= frame_->pictures.size()) {
            differ(id, 0, "a picture the recording does not have");
            return;
        }
        const RecordedPicture& want = frame_->pictures[next_picture_++];
        if (want.id != id) {
            differ(id, 0, "picture for player " + std::to_string(id) + ", recorded for " + std::to_string(want.id));
            return;
        }
        if (picture_digest(body) == want.digest) return;
        const size_t count = starts.empty() ? 0 : starts.size() - 1;
        for (size_t i = 0; i < count && i < want.commands.size(); ++i) {
            if (command_digest(command_text(body, starts, i)) != want.commands[i]) {
                differ(id, i, "command " + std::to_string(i) + " differs");
                return;
            }
        }
        differ(id, std::min(count, want.commands.size()),
               std::to_string(count) + " commands, recorded " + std::to_string(want.commands.size()));
    }

private:
    void differ(uint32_t player, size_t command, std::string what) {
        if (!report_.identical) return;
        report_.identical = false;
        report_.first = {index_, player, command, std::move(what)};
    }

    bool verify_;
    uint32_t player_;
    const PictureSink& sink_;
    ReplayReport& report_;
    PlayerFeeds& feeds_;
    ConnectionEnds& ends_;
    const RecordedFrame* frame_ = nullptr;
    size_t index_ = 0;
    double seconds_ = 0;
    size_t next_picture_ = 0;
    std::vector<uint32_t> logins_;
    bool stopped_ = false;
};

void discard_console(void*, std::string_view) {}

// The recording says how the login's secret compared, never what it was; the replayed host drew
// secrets of its own, so a matching one is taken from it.
std::optional<std::string_view> replayed_secret(const HostState& host, const RecordedLogin& login) {
    switch (login.secret) {
    case PresentedSecret::Absent: return std::nullopt;
    case PresentedSecret::Empty: return "";
    case PresentedSecret::Matching: return seat_secret(host.seat_claims, login.previous_id).value_or("-");
    case PresentedSecret::Wrong: break;
    }
    return "-"; // never a secret: secrets are hex digits
}

// A LOGIN arrives on a new channel, waiting in the host's list of logins as an accepted
// connection would; its id is known from the recording.
void feed_login(HostState& host, PlayerFeeds& feeds, const RecordedLogin& login) {
    // Each recorded player its own peer: the game was played by real connections, whatever
    // addresses they came from.
    std::shared_ptr<web::WebChannel> channel =
        feeds.open(login.id, "recorded login for seat " + std::to_string(login.id));
    ClientMessage message;
    message.kind = ClientMessageKind::LOGIN;
    message.player_name = login.name;
    message.previous_player_id = login.previous_id;
    message.reconnect_secret = replayed_secret(host, login);
    std::string body;
    write_json(body, message);
    channel->receive(body, true);
    PendingLogin pending;
    pending.transport = Transport{-1, channel};
    pending.reader = FrameReader(&host.connections.frame_pool);
    host.connections.pending_logins.push_back(std::move(pending));
}

// A connection that closed, stalled, turned unreadable or failed a send ends where the host met
// the end (see ConnectionEnds): the host acts on everything the player sent in that frame and
// sends him what it sent before it lets him go, as it did.
// False, with the player, when his messages would pile up past what the host takes of them.
bool feed_frame(HostState& host, PlayerFeeds& feeds, ConnectionEnds& ends, const RecordedFrame& frame,
                uint32_t& piled_up) {
    for (const RecordedLogin& login : frame.logins) feed_login(host, feeds, login);
    for (const RecordedMessage& message : frame.messages) {
        const std::string body = replayed_message(message.body, host.debug_access.admin_token);
        if (feeds.feed(message.id, body) != FeedResult::PilesUp) continue;
        piled_up = message.id;
        return false;
    }
    ends.begin(frame);
    return true;
}

} // namespace

const char* replay_refusal_text(ReplayRefusal refusal) {
    switch (refusal) {
    case ReplayRefusal::None: return "ok";
    case ReplayRefusal::MessagesPileUp: return "feeds a player more messages than the host takes of him";
    }
    return "?";
}

ReplayReport run_replay(RecordingReader& recording, bool verify, uint32_t player, const PictureSink& sink,
                        const FrameEdit& edit) {
    ReplayReport report;
    ReplayClock clock(recording.clock());
    SystemClock instruments;
    SeededRandom random(recording.header().seed);
    // What waits in all channels together is bounded like a frame: a frame's messages are all
    // that a real game's replay has waiting.
    PlayerFeeds feeds(MAX_FRAME_BYTES);
    ConnectionEnds ends([&feeds](uint32_t id) {
        if (web::WebChannel* feed = feeds.find(id)) feed->set_fault(web::ChannelFault::Closed);
    });
    Verifier verifier(verify, player, sink, report, feeds, ends);
    HostConfig config;
    config.clock = &clock;
    config.instrument_clock = &instruments;
    config.random = &random;
    config.observer = &verifier;
    config.listen = false;
    config.open_window = false;
    config.web_port = 0;
    config.debug_commands = recording.header().mode;
    config.admin_token = recording.header().admin_token;
    console_set_sink(&discard_console, nullptr);
    std::set<uint32_t> players;
    size_t stray_frame = SIZE_MAX; // the first frame in which the clock left the recording
    bool unread_readings = false;  // a frame ended without taking all its readings
    {
        Host host(config);
        host.start();
        RecordedFrame frame;
        int64_t first_ns = 0;
        for (size_t i = 0; !verifier.stopped() && recording.next_frame(frame); ++i) {
            if (edit) edit(i, frame);
            if (i == 0) first_ns = frame.start_ns;
            for (const RecordedLogin& login : frame.logins) players.insert(login.id);
            if (!feed_frame(host.state(), feeds, ends, frame, report.piled_up_player)) {
                report.refused = ReplayRefusal::MessagesPileUp;
                report.frames = i;
                break;
            }
            // In floating point: a difference of two recorded readings need not fit 64 bits.
            verifier.begin(frame, i, (static_cast<double>(frame.start_ns) - static_cast<double>(first_ns)) / 1e9);
            host.frame();
            ends.end_frame();
            // A frame ends with every reading it and its pause made; one left over would be met
            // by the next frame in another place, which shows only frames later.
            if ((clock.strayed() || !recording.clock().empty()) && stray_frame == SIZE_MAX) stray_frame = i;
            if (!recording.clock().empty() && verify) {
                unread_readings = true;
                report.frames = i + 1;
                break;
            }
            // Drawing goes on, each frame with its own readings.
            recording.clock().clear();
            if (verify) verifier.end();
            // Connections the host let go are let go here too.
            feeds.settle(host.state().connections.sockets);
            report.frames = i + 1;
        }
        host.shutdown();
    }
    console_set_sink(nullptr, nullptr);
    // A recording cut short lacks the readings after its last frame; anywhere else, a reading
    // the recording does not have means the game took another path.
    const bool cut_at_end =
        !unread_readings && recording.error() == LoadError::Truncated && stray_frame + 1 == report.frames;
    if (verify && report.identical && stray_frame != SIZE_MAX && !cut_at_end) {
        report.identical = false;
        report.first = {stray_frame, 0, 0, "the game read its clock differently from the recording"};
    }
    report.players = players.size();
    return report;
}

} // namespace cog::replay
