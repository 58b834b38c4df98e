// The served-file table: only the web client's own files, whatever the request looks like.
#include "server/web/web_channel.h"
#include "server/web/web_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace cog::web {
namespace {

namespace fs = std::filesystem;

struct WebFolder : ::testing::Test {
    fs::path base = fs::temp_directory_path() / ("cog_web_files_" + std::to_string(getpid()));
    fs::path root = base / "site";

    void SetUp() override {
        fs::remove_all(base);
        fs::create_directories(root / "sprites");
        fs::create_directories(base / "outside");
        write(root / "index.html", "<html>");
        write(root / "sprites" / "2.png", "png");
        write(base / "secret.txt", "secret");
        write(base / "outside" / "other.txt", "other");
        fs::create_symlink(base / "secret.txt", root / "leak.txt");
        fs::create_symlink(base / "outside", root / "linked");
        fs::create_symlink(root / "index.html", root / "alias.html"); // stays inside: served
    }
    void TearDown() override { fs::remove_all(base); }
    static void write(const fs::path& path, const std::string& text) { std::ofstream(path) << text; }
};

TEST_F(WebFolder, ServesExactlyTheFilesInsideTheFolder) {
    WebFiles files;
    ASSERT_TRUE(files.load(root.string()));
    ASSERT_NE(files.find("/"), nullptr);
    EXPECT_EQ(files.find("/")->path, fs::canonical(root / "index.html").string());
    EXPECT_STREQ(files.find("/index.html")->mime, "text/html; charset=utf-8");
    ASSERT_NE(files.find("/sprites/2.png"), nullptr);
    EXPECT_STREQ(files.find("/sprites/2.png")->mime, "image/png");
    ASSERT_NE(files.find("/alias.html"), nullptr);
    EXPECT_EQ(files.size(), 3u);
}

TEST_F(WebFolder, RefusesEveryWayOut) {
    WebFiles files;
    ASSERT_TRUE(files.load(root.string()));
    const std::string absolute = (base / "secret.txt").string();
    for (std::string_view path : {"/../secret.txt", "/%2e%2e/secret.txt", "/%2E%2E%2Fsecret.txt", "/sprites/../../secret.txt",
                                  "/leak.txt", "/linked/other.txt", "/linked", "secret.txt", "/sprites", "/sprites/", "",
                                  "/index.html/", "/./index.html"})
        EXPECT_EQ(files.find(path), nullptr) << path;
    EXPECT_EQ(files.find(absolute), nullptr);
    EXPECT_EQ(files.find(std::string_view("/index.html\0x", 13)), nullptr);
}

TEST_F(WebFolder, AMissingFolderLoadsNothing) {
    WebFiles files;
    EXPECT_FALSE(files.load((base / "nowhere").string()));
    EXPECT_EQ(files.find("/"), nullptr);
}

TEST(WebChannel, JoinsFragmentsAndBoundsBothDirections) {
    WebChannel channel;
    std::string message;
    channel.receive("{\"kind\":", false);
    EXPECT_TRUE(channel.message_started());
    EXPECT_FALSE(channel.take_message(message));
    channel.receive("1}", true);
    EXPECT_FALSE(channel.message_started());
    ASSERT_TRUE(channel.take_message(message));
    EXPECT_EQ(message, "{\"kind\":1}");

    // An empty message never reaches the compressor, which would abort on it.
    EXPECT_TRUE(channel.queue(""));
    EXPECT_FALSE(channel.has_output());

    // The outbox takes whole messages up to its bound, then faults and takes nothing more.
    const std::string big(MAX_WEB_MESSAGE_BYTES, 'x');
    for (size_t sent = 0; sent + big.size() <= MAX_OUTBOX_BYTES; sent += big.size()) EXPECT_TRUE(channel.queue(big));
    EXPECT_FALSE(channel.queue("y"));
    EXPECT_EQ(channel.fault(), ChannelFault::OutboxFull);
    EXPECT_EQ(channel.outbox_bytes(), MAX_OUTBOX_BYTES);
    channel.pop_output();
    EXPECT_FALSE(channel.queue("y"));
}

TEST(WebChannel, AMessageOverTheLimitFaultsEvenWhenFragmented) {
    WebChannel channel;
    const std::string half(MAX_WEB_MESSAGE_BYTES / 2, 'a');
    channel.receive(half, false);
    channel.receive(half, false);
    EXPECT_EQ(channel.fault(), ChannelFault::None); // exactly the limit is allowed so far
    channel.receive("b", true);
    EXPECT_EQ(channel.fault(), ChannelFault::TooLarge);
    std::string message;
    EXPECT_FALSE(channel.take_message(message));
    EXPECT_FALSE(channel.message_started());
}

} // namespace
} // namespace cog::web

namespace cog::web {
namespace {

// Many browsers sending large messages at once draw on one pool: past it, every channel holding
// more than its free share stops reading, while one sending small messages goes on.
TEST(WebChannelPool, LargeSendersPauseTogetherAndGiveBackWhatTheHostTakes) {
    auto pool = std::make_shared<FramePool>(256 * 1024);
    auto big_a = std::make_unique<WebChannel>(pool);
    WebChannel big_b(pool), small(pool);
    const std::string chunk(100 * 1024, 'x');
    for (int i = 0; i < 2; ++i) big_a->receive(chunk, false);
    EXPECT_FALSE(big_a->inbox_full()); // 200 KiB held, 136 KiB drawn: within the pool
    for (int i = 0; i < 2; ++i) big_b.receive(chunk, false);
    small.receive("{\"kind\":1}", true);
    EXPECT_TRUE(big_a->inbox_full());
    EXPECT_TRUE(big_b.inbox_full());
    EXPECT_FALSE(small.inbox_full());

    // The host taking B's finished message, and A going away, give the pool back.
    big_b.receive("", true);
    std::string message;
    ASSERT_TRUE(big_b.take_message(message));
    EXPECT_EQ(message.size(), 2 * chunk.size());
    EXPECT_FALSE(big_a->inbox_full());
    big_a.reset();
    std::string small_message;
    ASSERT_TRUE(small.take_message(small_message));
    EXPECT_EQ(pool->held, 0u);
}

} // namespace
} // namespace cog::web
