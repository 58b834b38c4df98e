// Writes the browser client's sprites, sounds and drawing numbers from the native client's own
// painters and synthesizer, so both clients look and sound alike:
//
//   export_web_assets OUT_DIR    ->  OUT_DIR/sprites.png, OUT_DIR/sounds.bin, OUT_DIR/assets.json
//
// All sprites share one image (an atlas) and all sounds one file (WAV files back to back), so that
// a page loads in a handful of requests: a household's devices behind one address all opening the
// page at once stay within what the host takes from one address.
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

constexpr int ATLAS_WIDTH = 2048; // pixels; every phone's browser takes images this wide
constexpr int ATLAS_GAP = 2;       // pixels between sprites, so that scaling never bleeds one into another

// 0xAARRGGBB words to R, G, B, A bytes.
void put_rgba(unsigned char* out, uint32_t p) {
    out[0] = static_cast<unsigned char>(p >> 16);
    out[1] = static_cast<unsigned char>(p >> 8);
    out[2] = static_cast<unsigned char>(p);
    out[3] = static_cast<unsigned char>(p >> 24);
}

struct Placed {
    uint16_t id = 0;
    ArtImage image;
    int x = 0, y = 0; // pixels, in the atlas
};

// Rows of sprites, tallest first, each row as high as its tallest; returns the atlas's height.
int place_in_rows(std::vector<Placed>& sprites) {
    std::vector<Placed*> order;
    for (Placed& s : sprites) order.push_back(&s);
    std::stable_sort(order.begin(), order.end(), [](const Placed* a, const Placed* b) { return a->image.height > b->image.height; });
    int x = 0, y = 0, row_height = 0;
    for (Placed* s : order) {
        if (x > 0 && x + s->image.width > ATLAS_WIDTH) {
            x = 0;
            y += row_height + ATLAS_GAP;
            row_height = 0;
        }
        s->x = x;
        s->y = y;
        x += s->image.width + ATLAS_GAP;
        row_height = std::max(row_height, s->image.height);
    }
    return y + row_height;
}

bool write_atlas(const fs::path& path, const std::vector<Placed>& sprites, int height) {
    std::vector<unsigned char> bytes(static_cast<size_t>(ATLAS_WIDTH) * static_cast<size_t>(height) * 4, 0);
    for (const Placed& s : sprites)
        for (int row = 0; row < s.image.height; ++row)
            for (int col = 0; col < s.image.width; ++col)
                put_rgba(&bytes[(static_cast<size_t>(s.y + row) * ATLAS_WIDTH + static_cast<size_t>(s.x + col)) * 4],
                         s.image.argb[static_cast<size_t>(row) * static_cast<size_t>(s.image.width) + static_cast<size_t>(col)]);
    return stbi_write_png(path.c_str(), ATLAS_WIDTH, std::max(height, 1), 4, bytes.data(), ATLAS_WIDTH * 4) != 0;
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

// The sprites' manifest entries, their pictures written to one atlas; empty when it cannot be written.
std::string export_sprites(const fs::path& dir) {
    std::vector<Placed> sprites;
    for (uint16_t id = 1; id <= LAST_ASSET; ++id) {
        ArtImage image = paint_asset(id);
        if (image.width > 0 && image.width <= ATLAS_WIDTH) sprites.push_back(Placed{id, std::move(image)});
    }
    if (!write_atlas(dir / "sprites.png", sprites, place_in_rows(sprites))) return {};
    std::string list;
    for (const Placed& s : sprites) {
        const SpriteFrame frame = sprite_frame(s.id);
        if (!list.empty()) list += ",";
        list += "{\"id\":" + std::to_string(s.id) + ",\"x\":" + std::to_string(s.x) + ",\"y\":" + std::to_string(s.y) +
                ",\"width\":" + std::to_string(s.image.width) + ",\"height\":" + std::to_string(s.image.height) +
                ",\"size\":" + number(frame.size) + ",\"anchor_x\":" + number(frame.anchor_x) +
                ",\"anchor_y\":" + number(frame.anchor_y) + "}";
    }
    return list;
}

// The sounds' manifest entries, each a WAV file at its offset in the one bundle.
std::string export_sounds(const fs::path& dir) {
    std::string bundle, list;
    for (uint16_t id = 1; id <= LAST_SOUND; ++id) {
        const std::vector<float> samples = synthesize(id);
        if (samples.empty()) continue;
        const std::string wav = wav_bytes(samples);
        if (!list.empty()) list += ",";
        list += "{\"id\":" + std::to_string(id) + ",\"offset\":" + std::to_string(bundle.size()) +
                ",\"length\":" + std::to_string(wav.size()) + ",\"music\":" + (is_music(id) ? "true" : "false") + "}";
        bundle += wav;
    }
    return write_file(dir / "sounds.bin", bundle) ? list : std::string();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUT_DIR\n", argv[0]);
        return 2;
    }
    const fs::path dir = argv[1];
    std::error_code error;
    fs::create_directories(dir, error);
    const std::string sprites = export_sprites(dir);
    const std::string sounds = export_sounds(dir);
    if (sprites.empty() || sounds.empty()) {
        std::fprintf(stderr, "%s: cannot write the sprites or sounds in %s\n", argv[0], dir.c_str());
        return 1;
    }
    const std::string manifest = "{\"sprite_atlas\":\"sprites.png\",\"sprites\":[" + sprites +
                                 "],\"sound_bundle\":\"sounds.bin\",\"sounds\":[" + sounds +
                                 "],\"points_per_font_unit\":" + number(POINTS_PER_FONT_UNIT) +
                                 ",\"single_glyph_cell\":" + number(SINGLE_GLYPH_CELL) + "}\n";
    if (!write_file(dir / "assets.json", manifest)) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], (dir / "assets.json").c_str());
        return 1;
    }
    return 0;
}
