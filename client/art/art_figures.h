// Painters for the people and robots: bodies, masks, hands, the shot figures.
#pragma once

#include "client/art/art.h"

namespace cog::client::art {

ArtImage seated_body();                        // BODY: a mask goes over its head, same rectangle
ArtImage standing_body(bool with_right_arm);   // STANDING_NO_ARM / STANDING_WITH_ARM
ArtImage mask(int index);                      // MASK_1 + index, index 0..7
ArtImage hand(bool left);                      // LEFT_HAND / RIGHT_HAND, in the body's rectangle
ArtImage pointing_hand();
ArtImage shot_seated(bool robot);              // ROBOT_SHOT / HUMAN_SHOT, in the body's rectangle
ArtImage shot_standing(bool robot);            // ROBOT_SHOT_STANDING / HUMAN_SHOT_STANDING
ArtImage player_figure();                      // PLAYER

} // namespace cog::client::art
