// A recording whose disk has stopped taking writes ends itself once its waiting records reach the
// bound, however small each record is: the host's memory is not the disk's buffer.
#include "server/recording/recorder.h"
#include "tests/host/host_harness.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace cog::test {
namespace {

TEST(RecordingQueue, AStalledDiskEndsTheRecordingAtTheBoundOfWhatWaits) {
    // A pipe nobody reads stands for a disk that stalled: the writer thread blocks once it is full.
    const std::string path = "/tmp/cogwell-stalled-" + std::to_string(getpid()) + ".rec";
    std::remove(path.c_str());
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    const int reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    ConsoleCapture console;
    std::unique_ptr<Recorder> recorder = Recorder::open(path, 7);
    ASSERT_NE(recorder, nullptr);
    recorder->host_started(DebugCommandsMode::OPEN, "");
    // Bytes the writer's compression cannot shrink, so the pipe fills as a disk's queue would.
    std::string body(256 << 10, '\0');
    std::mt19937 bits(7);
    for (char& c : body) c = static_cast<char>(bits());
    const size_t bound_frames = Recorder::MAX_QUEUED_BYTES / body.size();
    size_t frames = 0;
    for (; frames < 3 * bound_frames && !recorder->failed(); ++frames) {
        recorder->frame_begun();
        recorder->message(1, body);
        recorder->frame_ended();
    }
    EXPECT_TRUE(recorder->failed());
    // What waits, plus the batch the blocked writer holds, plus the pipe's own buffer.
    EXPECT_LE(frames, 2 * bound_frames + 8);
    EXPECT_TRUE(console.contains("Writing the recording fell too far behind; it ends there"));
    // Lets the writer finish, so that the recorder can close the file.
    std::thread drain([&] {
        fcntl(reader, F_SETFL, 0);
        char buffer[1 << 16];
        while (::read(reader, buffer, sizeof buffer) > 0) {
        }
    });
    recorder.reset();
    drain.join();
    ::close(reader);
    std::remove(path.c_str());
}

} // namespace
} // namespace cog::test
