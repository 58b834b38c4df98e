// Painters for the things: buttons, dice, the train and its view, the office, the Overseer's tools.
#pragma once

#include "client/art/art.h"

namespace cog::client::art {

ArtImage blue_rect();
ArtImage office_background();      // BACKGROUND
ArtImage train_car();              // TRAIN: the car, with see-through windows
ArtImage city_view();              // TRAIN_BG: repeats seamlessly from left to right
ArtImage button(bool pressed);     // BUTTON_NORMAL / BUTTON_PRESSED
ArtImage die_face(int face);       // DICE_1..DICE_4, face 1..4
ArtImage flashlight();             // dark everywhere but a soft hole in the middle
ArtImage gun_sight();

} // namespace cog::client::art
