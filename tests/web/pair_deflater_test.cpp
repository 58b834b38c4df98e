// Frames the host compresses itself, read back the way a browser does: one raw inflater per
// connection for its whole life, the window it agreed to, the flush marker put back.
#include "server/web/pair_deflater.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

namespace cog::web {
namespace {

class Browser {
public:
    Browser(int window_bits, bool kept) {
        history.window_bits = window_bits;
        history.kept = kept;
        inflateInit2(&z_, -window_bits);
    }
    ~Browser() { inflateEnd(&z_); }

    // Sends `message` through `deflater` and reads it back; "" with a reason on failure.
    std::string receive(PairDeflater& deflater, const std::string& message, std::string& error) {
        const std::string_view frame = deflater.send(history, message);
        if (frame.size() < 2) return error = "no frame", "";
        const auto byte = [&](size_t i) { return static_cast<unsigned char>(frame[i]); };
        if (byte(0) != 0xC1) return error = "not a final compressed text frame", "";
        if (byte(1) & 0x80) return error = "masked", "";
        size_t length = byte(1) & 0x7f, at = 2;
        const int extra = length == 126 ? 2 : length == 127 ? 8 : 0;
        if (extra) length = 0;
        for (int i = 0; i < extra; ++i) length = length << 8 | byte(at++);
        if (extra == 2 && length < 126) return error = "length not in its shortest form", "";
        if (extra == 8 && length <= 0xffff) return error = "length not in its shortest form", "";
        if (frame.size() != at + length) return error = "frame length " + std::to_string(length) + " is not its payload's", "";
        std::string payload(frame.substr(at));
        payload += std::string("\x00\x00\xff\xff", 4);
        if (!history.kept) inflateReset(&z_);
        std::string text(message.size() + 64, '\0');
        z_.next_in = reinterpret_cast<Bytef*>(payload.data());
        z_.avail_in = static_cast<uInt>(payload.size());
        z_.next_out = reinterpret_cast<Bytef*>(text.data());
        z_.avail_out = static_cast<uInt>(text.size());
        const int rc = inflate(&z_, Z_SYNC_FLUSH);
        if (rc != Z_OK || z_.avail_in != 0) return error = z_.msg ? z_.msg : "inflate " + std::to_string(rc), "";
        text.resize(text.size() - z_.avail_out);
        return text;
    }

    ClientHistory history;

private:
    z_stream z_{};
};

// Messages like a room's picture changes: a shared frame of text with numbers that move, some
// repeating text from a few hundred bytes back (past a 256-byte window, within 32 KiB).
std::string change(int frame) {
    std::string text = "{\"kind\":2,\"base\":107,\"keep\":[0,0,107],\"edit_at\":[9,10,20,21],\"edits\":[";
    for (int i = 0; i < 12; ++i) text += "{\"y\":" + std::to_string(146.18415833 + frame * 0.37 + i) + "},";
    text += "{}],\"pad\":\"";
    for (int i = 0; i < 40; ++i) text += static_cast<char>('a' + (frame * 7 + i * i) % 26);
    return text + "\"}";
}

TEST(PairDeflater, EveryBrowserReadsEachMessageWhateverItAgreedToAndEqualPairsAreCompressedOnce) {
    PairDeflater deflater;
    // Three browsers agreeing to the same, then a 256-byte window, then no kept context.
    std::vector<std::unique_ptr<Browser>> browsers;
    for (int i = 0; i < 3; ++i) browsers.push_back(std::make_unique<Browser>(15, true));
    browsers.push_back(std::make_unique<Browser>(8, true));
    browsers.push_back(std::make_unique<Browser>(15, false));

    std::mt19937 random(7);
    std::string noise(200000, ' '); // barely compresses: a payload past 64 KiB, 64-bit length
    for (char& c : noise) c = static_cast<char>('!' + random() % 90);
    std::vector<std::string> messages;
    for (int f = 0; f < 40; ++f) messages.push_back(change(f));
    messages.insert(messages.begin() + 10, "");
    messages.insert(messages.begin() + 20, noise);
    messages.insert(messages.begin() + 21, noise.substr(0, 300)); // 16-bit length, refers to the noise

    size_t frames = 0;
    for (size_t m = 0; m < messages.size(); ++m) {
        // The last browser missed one message: its history differs from then on.
        for (size_t b = 0; b < browsers.size(); ++b) {
            if (b == 2 && m == 5) continue;
            std::string error;
            EXPECT_EQ(browsers[b]->receive(deflater, messages[m], error), messages[m])
                << "browser " << b << ", message " << m << ": " << error;
            ++frames;
        }
    }
    // Browsers 0, 1 and 2 share each pair, but for the one after browser 2's gap; the others
    // each have their own; a long message is compressed for each browser on its own.
    EXPECT_EQ(deflater.compressions(), (messages.size() - 1) * 3 + 1 + browsers.size());
    EXPECT_LT(deflater.compressions(), frames);
}

} // namespace
} // namespace cog::web
