// Where the on-screen controls and the game go on a touch screen: the controls get a strip of
// their own, at the sides or along the bottom, whichever leaves the bigger game, so they never
// cover it. All sizes in CSS pixels.
import { WORLD_H, WORLD_W } from './viewport.js';

// The side columns are as narrow as thumb-sized buttons (44 px, and 4 px gaps) allow, so that a
// landscape phone's game, and its texts, are as big as they can be.
export const ARROWS_STRIP = 100;     // the left column: Left and Right side by side
export const ACTIONS_STRIP = 60;     // the right column: one button a row
const BOTTOM_STRIP_MIN = 132;        // the bottom strip: three rows of buttons at least
const BOTTOM_STRIP_MAX = 200;
const BOTTOM_STRIP_SHARE = 0.25;     // of the screen's height, between the two bounds above

const rect = (left, top, width, height) => ({ left, top, width: Math.max(width, 0), height: Math.max(height, 0) });
const scaleIn = (width, height) => Math.min(width / WORLD_W, height / WORLD_H);

// { mode: 'sides' | 'bottom', canvas, arrows, actions: rectangles; portrait: the device is upright }
export function touchLayout(width, height) {
  const bottom = Math.round(Math.min(Math.max(height * BOTTOM_STRIP_SHARE, BOTTOM_STRIP_MIN), BOTTOM_STRIP_MAX));
  const sidesScale = scaleIn(width - ARROWS_STRIP - ACTIONS_STRIP, height);
  const bottomScale = scaleIn(width, height - bottom);
  const portrait = height > width;
  if (sidesScale >= bottomScale) {
    return {
      mode: 'sides', portrait,
      canvas: rect(ARROWS_STRIP, 0, width - ARROWS_STRIP - ACTIONS_STRIP, height),
      arrows: rect(0, 0, ARROWS_STRIP, height),
      actions: rect(width - ACTIONS_STRIP, 0, ACTIONS_STRIP, height),
    };
  }
  // The arrows take a square at the left; the other keys the rest of the strip, up to one and a
  // half squares at the right, so that both thumbs reach their own keys.
  const actionsWidth = Math.min(width - bottom, Math.round(1.5 * bottom));
  return {
    mode: 'bottom', portrait,
    canvas: rect(0, 0, width, height - bottom),
    arrows: rect(0, height - bottom, Math.min(bottom, width / 2), bottom),
    actions: rect(width - actionsWidth, height - bottom, actionsWidth, bottom),
  };
}
