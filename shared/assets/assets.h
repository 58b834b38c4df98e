// Sprite and sound identifiers; clients bind their own images and audio to these numbers.
#pragma once

#include <cstdint>

namespace cog {

// The masks (MASK_1..MASK_8) and the dice faces (DICE_1..DICE_4) are addressed by arithmetic:
// keep both ranges contiguous and in order.
enum class AssetId : uint16_t {
    NONE = 0,
    BLUE_RECT = 1,
    PLAYER = 2,
    BACKGROUND = 3,
    TRAIN = 4,
    TRAIN_BG = 5,
    BODY = 6,
    LEFT_HAND = 7,
    RIGHT_HAND = 8,
    MASK_1 = 9,
    MASK_2 = 10,
    MASK_3 = 11,
    MASK_4 = 12,
    MASK_5 = 13,
    MASK_6 = 14,
    MASK_7 = 15,
    MASK_8 = 16,
    FLASHLIGHT = 17,
    GUN_SIGHT = 18,
    ROBOT_SHOT = 19,
    HUMAN_SHOT = 20,
    ROBOT_SHOT_STANDING = 21,
    HUMAN_SHOT_STANDING = 22,
    STANDING_NO_ARM = 23,
    STANDING_WITH_ARM = 24,
    BUTTON_NORMAL = 25,
    BUTTON_PRESSED = 26,
    POINTING_HAND = 27,
    DICE_1 = 28,
    DICE_2 = 29,
    DICE_3 = 30,
    DICE_4 = 31,
};

enum class SoundId : uint16_t {
    NONE = 0,
    MUSIC_TYPING = 1,
    MUSIC_METRO = 2,
    MUSIC_OVERSEER_WIN = 3,
    MUSIC_HUMAN_WIN = 4,
    SFX_GUNSHOT = 5,
};

// MASK_1 + index, index taken modulo 8.
constexpr AssetId mask_asset(uint32_t mask_index) {
    return static_cast<AssetId>(static_cast<uint16_t>(AssetId::MASK_1) + mask_index % 8);
}

// DICE_1 + face - 1 for faces 1..4.
constexpr AssetId dice_asset(int face) {
    return static_cast<AssetId>(static_cast<uint16_t>(AssetId::DICE_1) + face - 1);
}

} // namespace cog
