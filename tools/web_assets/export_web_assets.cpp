// Writes the browser client's sprites, sounds and drawing numbers from the native client's own
// painters and synthesizer, so both clients look and sound alike:
//
//   export_web_assets OUT_DIR    ->  OUT_DIR/sprites/<id>.png, OUT_DIR/sounds/<id>.wav, OUT_DIR/assets.json
#include "client/art/art.h"
#include "client/picture/sprite_frames.h"
#include "client/picture/text_metrics.h"
#include "client/sound/synth.h"
#include "shared/assets/assets.h"

#include <stb/stb_image_write.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using namespace cog::client;
namespace fs = std::filesystem;

constexpr uint16_t LAST_ASSET = static_cast<uint16_t>(cog::AssetId::DICE_4);
constexpr uint16_t LAST_SOUND = static_cast<uint16_t>(cog::SoundId::SFX_GUNSHOT);

// 0xAARRGGBB words to R, G, B, A bytes.
std::vector<unsigned char> rgba_bytes(const ArtImage& image) {
    std::vector<unsigned char> bytes;
    bytes.reserve(image.argb.size() * 4);
    for (uint32_t p : image.argb) {
        bytes.push_back(static_cast<unsigned char>(p >> 16));
        bytes.push_back(static_cast<unsigned char>(p >> 8));
        bytes.push_back(static_cast<unsigned char>(p));
        bytes.push_back(static_cast<unsigned char>(p >> 24));
    }
    return bytes;
}

void put_le(std::string& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
}

// Mono 16-bit PCM: every browser decodes it.
std::string wav_bytes(const std::vector<float>& samples) {
    const uint32_t data_bytes = static_cast<uint32_t>(samples.size() * 2);
    std::string out = "RIFF";
    put_le(out, 36 + data_bytes, 4);
    out += "WAVEfmt ";
    put_le(out, 16, 4);
    put_le(out, 1, 2); // PCM
    put_le(out, 1, 2); // mono
    put_le(out, SAMPLE_RATE, 4);
    put_le(out, SAMPLE_RATE * 2, 4);
    put_le(out, 2, 2);
    put_le(out, 16, 2);
    out += "data";
    put_le(out, data_bytes, 4);
    for (float s : samples) {
        const auto value = static_cast<int16_t>(std::lround(std::clamp(s, -1.0f, 1.0f) * 32767.0f));
        put_le(out, static_cast<uint16_t>(value), 2);
    }
    return out;
}

bool write_file(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

std::string number(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
    return text;
}

// One sprite's manifest entry, or empty when the id has no picture.
std::string export_sprite(const fs::path& dir, uint16_t id) {
    const ArtImage image = paint_asset(id);
    if (image.width <= 0) return {};
    const std::string file = "sprites/" + std::to_string(id) + ".png";
    const std::vector<unsigned char> bytes = rgba_bytes(image);
    if (!stbi_write_png((dir / file).c_str(), image.width, image.height, 4, bytes.data(), image.width * 4)) return {};
    const SpriteFrame frame = sprite_frame(id);
    return "{\"id\":" + std::to_string(id) + ",\"file\":\"" + file + "\",\"size\":" + number(frame.size) +
           ",\"anchor_x\":" + number(frame.anchor_x) + ",\"anchor_y\":" + number(frame.anchor_y) + "}";
}

std::string export_sound(const fs::path& dir, uint16_t id) {
    const std::vector<float> samples = synthesize(id);
    if (samples.empty()) return {};
    const std::string file = "sounds/" + std::to_string(id) + ".wav";
    if (!write_file(dir / file, wav_bytes(samples))) return {};
    return "{\"id\":" + std::to_string(id) + ",\"file\":\"" + file + "\",\"music\":" + (is_music(id) ? "true" : "false") +
           "}";
}

void append_entry(std::string& list, const std::string& entry) {
    if (entry.empty()) return;
    if (list.size() > 1) list += ",";
    list += entry;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUT_DIR\n", argv[0]);
        return 2;
    }
    const fs::path dir = argv[1];
    std::error_code error;
    fs::create_directories(dir / "sprites", error);
    fs::create_directories(dir / "sounds", error);
    std::string sprites = "[", sounds = "[";
    for (uint16_t id = 1; id <= LAST_ASSET; ++id) append_entry(sprites, export_sprite(dir, id));
    for (uint16_t id = 1; id <= LAST_SOUND; ++id) append_entry(sounds, export_sound(dir, id));
    const std::string manifest = "{\"sprites\":" + sprites + "],\"sounds\":" + sounds +
                                 "],\"points_per_font_unit\":" + number(POINTS_PER_FONT_UNIT) +
                                 ",\"single_glyph_cell\":" + number(SINGLE_GLYPH_CELL) + "}\n";
    if (!write_file(dir / "assets.json", manifest)) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], (dir / "assets.json").c_str());
        return 1;
    }
    return 0;
}
