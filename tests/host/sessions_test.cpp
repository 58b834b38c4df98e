// Logging in, reconnecting and leaving, over real sockets.
#include "tests/host/host_harness.h"

#include "server/main/screen_stack.h"
#include "server/main/sessions.h"

#include <cerrno>
#include <gtest/gtest.h>

namespace cog::test {
namespace {

std::string init_body(uint32_t id, const std::string& secret = "") {
    return "{\"kind\":0,\"event\":{\"kind\":0,\"client_id\":" + std::to_string(id) +
           ",\"world_width\":1280,\"world_height\":720,\"player_id\":0,\"player_name\":\"\",\"message\":\"\","
           "\"sender_id\":0,\"sound_id\":0,\"volume\":0.00000000" +
           (secret.empty() ? "" : ",\"reconnect_secret\":\"" + secret + "\"") + "},\"commands\":[]}";
}

bool is_hex(std::string_view text) { return text.find_first_not_of("0123456789abcdef") == std::string_view::npos; }

// A client written without reconnection secrets gets the INIT it was written for, byte for byte,
// whatever its id and on a reconnection; one that keeps secrets gets its seat's secret (32 hex
// digits) last.
TEST(Sessions, IdsAreHandedOutOnceAndInitIsExact) {
    HostHarness h;
    ASSERT_TRUE(h.start());
    TestClient a(h.port()), b(h.port());
    a.send_login("alice");
    h.frames(2);
    auto a_messages = a.receive_all();
    ASSERT_FALSE(a_messages.empty());
    EXPECT_EQ(a_messages[0].body, init_body(1));
    EXPECT_EQ(init_body(1).size(), 186u);
    EXPECT_FALSE(a_messages[0].message.event.reconnect_secret.has_value());

    const std::string secret = h.claim_seat(b, "bob", 0, "").secret;
    EXPECT_EQ(secret.size(), 32u);
    EXPECT_TRUE(is_hex(secret));
    auto seen_by_a = a.receive_all();
    ASSERT_EQ(count_events(seen_by_a, EventKind::PLAYER_JOINED), 1u);
    const Event& joined = first_event(seen_by_a, EventKind::PLAYER_JOINED)->message.event;
    EXPECT_EQ(joined.player_id, 2u);
    EXPECT_EQ(joined.player_name, "bob");
    EXPECT_EQ(joined.reconnect_secret, std::nullopt);

    a.close();
    h.frames(3);
    auto seen_by_b = b.receive_all();
    EXPECT_EQ(count_events(seen_by_b, EventKind::PLAYER_LEFT), 1u);
    EXPECT_EQ(first_event(seen_by_b, EventKind::PLAYER_LEFT)->message.event.player_id, 1u);
    EXPECT_FALSE(h.state().global.players.at(1).connected); // the record stays for a reconnection

    TestClient c(h.port());
    EXPECT_EQ(h.login(c, "carol"), 3u); // ids never come back
    h.frames(3);
    EXPECT_EQ(count_events(b.receive_all(), EventKind::PLAYER_LEFT), 0u);

    TestClient back(h.port());
    back.send_login("alice", 1);
    h.frames(2);
    const auto back_messages = back.receive_all();
    ASSERT_FALSE(back_messages.empty());
    EXPECT_EQ(back_messages[0].body, init_body(1));
    TestClient d(h.port());
    d.send_login("dan");
    h.frames(2);
    const auto d_messages = d.receive_all();
    ASSERT_FALSE(d_messages.empty());
    EXPECT_EQ(d_messages[0].body, init_body(4));
}

TEST(Sessions, EmptyNameBecomesPlayerEverywhere) {
    HostHarness h;
    ASSERT_TRUE(h.start());
    TestClient watcher(h.port()), anonymous(h.port());
    h.login(watcher, "w");
    ConsoleCapture console;
    EXPECT_EQ(h.login(anonymous, ""), 2u);
    EXPECT_EQ(h.state().global.players.at(2).name, "Player");
    EXPECT_TRUE(console.contains("Player 2 (Player) joined"));
    auto messages = watcher.receive_all();
    ASSERT_NE(first_event(messages, EventKind::PLAYER_JOINED), nullptr);
    EXPECT_EQ(first_event(messages, EventKind::PLAYER_JOINED)->message.event.player_name, "Player");
}

TEST(Sessions, ReconnectionNeedsTheSameIdAndExactName) {
    HostHarness h;
    ASSERT_TRUE(h.start());
    TestClient first(h.port()), other(h.port());
    ASSERT_EQ(h.login(first, "Zed"), 1u);
    ASSERT_EQ(h.login(other, "Other"), 2u);
    const int32_t mask = h.state().global.players.at(1).mask;
    first.close();
    h.frames(2);
    other.receive_all();

    // While the seat is free, only its exact name takes it: names compare byte for byte.
    TestClient wrong_case(h.port());
    EXPECT_EQ(h.login(wrong_case, "zed", 1), 3u);
    EXPECT_FALSE(h.state().global.players.at(1).connected);
    other.receive_all();

    ConsoleCapture console;
    TestClient again(h.port());
    EXPECT_EQ(h.login(again, "Zed", 1), 1u);
    EXPECT_TRUE(console.contains("Player 1 (Zed) reconnected"));
    EXPECT_EQ(h.state().global.players.at(1).mask, mask);
    EXPECT_EQ(count_events(other.receive_all(), EventKind::PLAYER_JOINED), 1u);
}

TEST(Sessions, AnActiveSeatIsNotHandedOverAQuietOneIs) {
    HostHarness h;
    ASSERT_TRUE(h.start());
    TestClient first(h.port());
    ASSERT_EQ(h.login(first, "Ann", 0), 1u);
    h.state().global.roles[1] = PlayerRole::COP;
    // Her id and name are public (every PLAYER_JOINED carries them); while she is talking,
    // presenting them gets a stranger a seat of his own.
    h.clock.advance_ns(1'500'000'000);
    first.send_input(InputState{});
    h.frames(1);
    h.clock.advance_ns(1'500'000'000);
    TestClient impostor(h.port());
    EXPECT_EQ(h.login(impostor, "Ann", 1), 2u);
    EXPECT_FALSE(first.closed_by_peer(20));
    EXPECT_TRUE(h.state().global.players.at(1).connected);
    EXPECT_FALSE(is_cop(h.state().global, 2));

    // Silent for more than two seconds (her connection died unnoticed): the seat, its role
    // included, goes back to whoever presents it, and the old socket is closed.
    h.clock.advance_ns(2'100'000'000);
    TestClient back(h.port());
    ASSERT_EQ(h.login(back, "Ann", 1), 1u);
    EXPECT_TRUE(first.closed_by_peer(200));
    EXPECT_TRUE(is_cop(h.state().global, 1));
    h.frames(2);
    EXPECT_GT(count_draws(back.receive_all()), 0u);
}

// A client that keeps its secret gets its seat back with it after a real drop, role and mask
// and all, even from a host that treats every other presenter of the id and name as a stranger.
// Without a random source there is no secret, and the seat goes back to id and name as before.
TEST(Sessions, TheSecretBringsTheSeatBackAfterARealDrop) {
    HostHarness h;
    ASSERT_TRUE(h.start());
    TestClient first(h.port()), other(h.port());
    const HostHarness::Seat zed = h.claim_seat(first, "Zed", 0, "");
    ASSERT_EQ(zed.id, 1u);
    ASSERT_EQ(h.login(other, "Other"), 2u);
    h.state().global.roles[1] = PlayerRole::COP;
    const int32_t mask = h.state().global.players.at(1).mask;
    first.close();
    ASSERT_TRUE(h.frames_until([&] { return !h.state().global.players.at(1).connected; }, 20));

    TestClient stranger(h.port());
    EXPECT_EQ(h.login(stranger, "Zed", 1), 3u); // long gone, yet not his without the secret
    ConsoleCapture console;
    TestClient again(h.port());
    const HostHarness::Seat back = h.claim_seat(again, "Zed", 1, zed.secret);
    EXPECT_EQ(back.id, 1u);
    EXPECT_EQ(back.secret, zed.secret);
    EXPECT_TRUE(console.contains("Player 1 (Zed) reconnected"));
    EXPECT_FALSE(console.contains(zed.secret));
    EXPECT_EQ(h.state().global.players.at(1).mask, mask);
    EXPECT_TRUE(is_cop(h.state().global, 1));
    for (const ReceivedMessage& m : other.receive_all()) EXPECT_EQ(m.body.find(zed.secret), std::string::npos);

    HostHarness no_source(false, 0, DebugCommandsMode::OPEN, false, [](HostConfig& config) {
        config.secret_source = [](std::span<unsigned char>) { return ENOSYS; };
    });
    ASSERT_TRUE(no_source.start());
    TestClient keeper(no_source.port());
    const HostHarness::Seat ann = no_source.claim_seat(keeper, "Ann", 0, "");
    EXPECT_TRUE(ann.secret.empty());
    keeper.close();
    ASSERT_TRUE(no_source.frames_until([&] { return !no_source.state().global.players.at(ann.id).connected; }, 20));
    TestClient plain(no_source.port());
    EXPECT_EQ(no_source.login(plain, "Ann", ann.id), ann.id);
}

TEST(Sessions, FirstMessageMustBeLogin) {
    HostHarness h;
    ASSERT_TRUE(h.start());
    ConsoleCapture console;
    TestClient rude(h.port());
    rude.send_input(InputState{});
    h.frames(2);
    EXPECT_TRUE(rude.closed_by_peer(200));
    EXPECT_TRUE(console.contains("Expected LOGIN message from new client"));
    TestClient polite(h.port());
    EXPECT_EQ(h.login(polite, "p"), 1u); // the refused socket consumed no id
}

TEST(Sessions, LongNamesAreCutAtACharacterBoundary) {
    HostHarness h;
    ASSERT_TRUE(h.start());
    std::string name;
    for (int i = 0; i < 40; ++i) name += "\xC3\xA9"; // 80 bytes of two-byte characters
    name = "x" + name;                                // shifts the boundary: byte 32 is mid-character
    TestClient client(h.port());
    ASSERT_EQ(h.login(client, name), 1u);
    const std::string& stored = h.state().global.players.at(1).name;
    EXPECT_EQ(stored.size(), 31u);
    EXPECT_EQ(stored, name.substr(0, 31));
    EXPECT_EQ(login_name(std::string(100, 'a')).size(), 32u);
    // Reconnecting with the same long name compares the cut names.
    client.close();
    h.frames(2);
    TestClient again(h.port());
    EXPECT_EQ(h.login(again, name, 1), 1u);
}

TEST(Sessions, NewHumanTakesOverABotRecordAndItsRole) {
    HostHarness h;
    ASSERT_TRUE(h.start());
    TestClient one(h.port());
    ASSERT_EQ(h.login(one, "one"), 1u);
    PlayerConnection bot;
    bot.id = 2;
    bot.is_bot = true;
    bot.connected = true;
    h.state().global.players[2] = bot;
    h.state().global.roles[2] = PlayerRole::MASKED;
    TestClient two(h.port());
    ASSERT_EQ(h.login(two, "two"), 2u);
    EXPECT_FALSE(h.state().global.players.at(2).is_bot);
    EXPECT_EQ(h.state().global.roles.at(2), PlayerRole::MASKED);
}

TEST(Sessions, DisconnectIsIdempotentAndIgnoresUnknownIds) {
    HostHarness h;
    ASSERT_TRUE(h.start());
    TestClient a(h.port()), b(h.port());
    h.login(a, "a");
    h.login(b, "b");
    b.receive_all();
    disconnect_player(h.state(), 77);
    disconnect_player(h.state(), 1);
    disconnect_player(h.state(), 1);
    EXPECT_EQ(count_events(b.receive_all(), EventKind::PLAYER_LEFT), 1u);
    EXPECT_TRUE(a.closed_by_peer(200));
}

} // namespace
} // namespace cog::test

namespace cog::test {
namespace {

size_t connected_records(const HostState& state) {
    size_t n = 0;
    for (const auto& [id, player] : state.global.players) n += player.connected ? 1 : 0;
    return n;
}

// Churned logins must not pile up records (memory, and the status window walks them); a game
// that returns to the lobby keeps its leavers for their return; a long absence is forgotten.
TEST(Sessions, DepartedPlayersAreForgottenOnceNothingCanUseThem) {
    HostHarness h;
    ASSERT_TRUE(h.start());
    h.state().connections.pending_logins_per_address = 0; // every churned login comes from this machine
    TestClient stay(h.port());
    ASSERT_EQ(h.login(stay, "stay"), 1u);
    // One address joins and leaves in a loop: past the cap its own first leaver is forgotten,
    // never a player from elsewhere who left before all of them.
    auto first = std::make_unique<TestClient>(h.port(), 0, "127.0.0.2");
    const HostHarness::Seat first_seat = h.claim_seat(*first, "first", 0, "");
    const uint32_t first_id = first_seat.id;
    first.reset();
    h.frames_until([&] { return !h.state().global.players.at(first_id).connected; });
    constexpr size_t BATCH = 48;
    for (size_t done = 0; done < MAX_DEPARTED_RECORDS + 2 * BATCH; done += BATCH) {
        std::vector<std::unique_ptr<TestClient>> batch;
        for (size_t i = 0; i < BATCH; ++i) {
            batch.push_back(std::make_unique<TestClient>(h.port(), 0, "127.0.0.3"));
            batch.back()->send_login("churn");
        }
        h.frames_until([&] { return connected_records(h.state()) == BATCH + 1; }, 100);
        batch.clear();
        h.frames_until([&] { return connected_records(h.state()) == 1; }, 100);
    }
    EXPECT_GE(h.state().next_player_id, MAX_DEPARTED_RECORDS + 2 * BATCH);
    EXPECT_LE(h.state().global.players.size(), MAX_DEPARTED_RECORDS + 1);
    EXPECT_TRUE(h.state().global.players.at(1).connected);
    EXPECT_EQ(h.state().global.players.count(first_id + 1), 0u); // the churning address's first leaver
    EXPECT_EQ(h.state().global.players.count(h.state().next_player_id - 1), 1u); // the latest leaver
    TestClient back(h.port(), 0, "127.0.0.2");
    EXPECT_EQ(h.claim_seat(back, "first", first_id, first_seat.secret).id, first_id);

    // A game going back to the lobby keeps the leavers: they may come back to their seats.
    const size_t kept = h.state().global.players.size();
    push_screen(h.state(), ScreenId::CRAWL);
    pop_to_screen(h.state(), ScreenId::LOBBY);
    EXPECT_EQ(h.state().global.players.size(), kept);

    // In the lobby a leaver keeps his seat for a while (a dropped connection comes back to
    // it), but not for ever.
    auto leaver = std::make_unique<TestClient>(h.port());
    const uint32_t id = h.login(*leaver, "leaver");
    leaver.reset();
    h.frames_until([&] { return !h.state().global.players.at(id).connected; });
    h.clock.advance_ns(DEPARTED_RECORD_TTL_NS - 5'000'000'000);
    h.frames(2);
    EXPECT_EQ(h.state().global.players.count(id), 1u);
    h.clock.advance_ns(6'000'000'000);
    h.frames(2);
    EXPECT_EQ(h.state().global.players.count(id), 0u);
    EXPECT_EQ(h.state().global.players.size(), 2u); // "stay" and "first", back in its seat
}

// One address takes new seats in a burst, then at a steady rate; a player coming back to its seat
// and the machine's own address are never held back.
TEST(Sessions, OneAddressTakesNewSeatsOnlySoFast) {
    HostHarness h;
    ASSERT_TRUE(h.start());
    h.state().seat_claims.max_per_address = 16;
    h.state().seat_claims.new_seats.enabled = true;
    // A household sits down at once and leaves again, all within a few frames.
    std::vector<std::unique_ptr<TestClient>> crowd;
    for (int i = 0; i < NEW_SEATS_BURST; ++i) {
        crowd.push_back(std::make_unique<TestClient>(h.port(), 0, "127.0.0.2"));
        crowd.back()->send_login("churn", 0, "");
    }
    ASSERT_TRUE(h.frames_until([&] { return h.state().next_player_id == 1 + NEW_SEATS_BURST; }, 20));
    HostHarness::Seat kept;
    for (const auto& m : crowd[0]->receive_all())
        if (m.message.kind == ServerMessageKind::EVENT && m.message.event.kind == EventKind::INIT)
            kept = {m.message.event.client_id, std::string(m.message.event.reconnect_secret.value_or(""))};
    ASSERT_NE(kept.id, 0u);
    crowd.clear();
    ASSERT_TRUE(h.frames_until([&] { return connected_records(h.state()) == 0; }, 20));
    ConsoleCapture console;
    TestClient refused(h.port(), 0, "127.0.0.2");
    refused.send_login("one too many");
    EXPECT_TRUE(h.frames_until([&] { return refused.closed_by_peer(1); }, 50));
    EXPECT_TRUE(console.contains("[NETWORK] Login of 'one too many' from 127.0.0.2 refused: that address takes new "
                                 "seats too fast (16 at once, then 2 a second); 0 more refused since the last such line"));
    TestClient back(h.port(), 0, "127.0.0.2");
    EXPECT_EQ(h.claim_seat(back, "churn", kept.id, kept.secret).id, kept.id);
    TestClient local(h.port());
    EXPECT_NE(h.login(local, "local"), 0u);
    h.clock.advance_ns(1'000'000'000 / NEW_SEATS_PER_SECOND);
    TestClient later(h.port(), 0, "127.0.0.2");
    EXPECT_NE(h.claim_seat(later, "later", 0, "").id, 0u);
}

} // namespace
} // namespace cog::test
