// Which placeholder painter serves which sprite identifier.
#include "client/art/art.h"

#include "client/art/art_figures.h"
#include "client/art/art_props.h"
#include "shared/assets/assets.h"

namespace cog::client {

ArtImage paint_asset(uint16_t asset) {
    using A = AssetId;
    const auto id = static_cast<A>(asset);
    if (asset >= static_cast<uint16_t>(A::MASK_1) && asset <= static_cast<uint16_t>(A::MASK_8))
        return art::mask(asset - static_cast<int>(A::MASK_1));
    if (asset >= static_cast<uint16_t>(A::DICE_1) && asset <= static_cast<uint16_t>(A::DICE_4))
        return art::die_face(asset - static_cast<int>(A::DICE_1) + 1);
    switch (id) {
    case A::BLUE_RECT: return art::blue_rect();
    case A::PLAYER: return art::player_figure();
    case A::BACKGROUND: return art::office_background();
    case A::TRAIN: return art::train_car();
    case A::TRAIN_BG: return art::city_view();
    case A::BODY: return art::seated_body();
    case A::LEFT_HAND: return art::hand(true);
    case A::RIGHT_HAND: return art::hand(false);
    case A::FLASHLIGHT: return art::flashlight();
    case A::GUN_SIGHT: return art::gun_sight();
    case A::ROBOT_SHOT: return art::shot_seated(true);
    case A::HUMAN_SHOT: return art::shot_seated(false);
    case A::ROBOT_SHOT_STANDING: return art::shot_standing(true);
    case A::HUMAN_SHOT_STANDING: return art::shot_standing(false);
    case A::STANDING_NO_ARM: return art::standing_body(false);
    case A::STANDING_WITH_ARM: return art::standing_body(true);
    case A::BUTTON_NORMAL: return art::button(false);
    case A::BUTTON_PRESSED: return art::button(true);
    case A::POINTING_HAND: return art::pointing_hand();
    default: return {};
    }
}

} // namespace cog::client
