// Sprite frames chosen so that the host's numbers line up: standing figures stand on their point
// and the metro's masks swing around it; the shot figures are drawn at a quarter of the others'.
#include "client/picture/sprite_frames.h"

#include "shared/assets/assets.h"

namespace cog::client {

SpriteFrame sprite_frame(uint16_t asset) {
    switch (static_cast<AssetId>(asset)) {
    case AssetId::STANDING_NO_ARM:
    case AssetId::STANDING_WITH_ARM:
        // The metro tilts bodies around their feet and moves the mask on the same circle.
        return {1024, 0.5f, 1.0f};
    case AssetId::ROBOT_SHOT_STANDING:
    case AssetId::HUMAN_SHOT_STANDING:
        // The door game's verdict shows it 400 wide at scale 1.5625: a 256-unit frame.
        return {256, 0.5f, 0.5f};
    default:
        return {1024, 0.5f, 0.5f};
    }
}

} // namespace cog::client
