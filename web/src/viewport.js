// Fitting the 1280 x 720 world into a canvas of any size: uniform scale, centred, black bars.

export const WORLD_W = 1280;
export const WORLD_H = 720;

export function fitWorld(width, height) {
  const w = Math.max(width, 1);
  const h = Math.max(height, 1);
  const scale = Math.min(w / WORLD_W, h / WORLD_H);
  return { scale, offsetX: (w - WORLD_W * scale) / 2, offsetY: (h - WORLD_H * scale) / 2 };
}

// A position on a bar maps outside the world; the host clamps what it must.
export function canvasToWorld(viewport, x, y) {
  return { x: (x - viewport.offsetX) / viewport.scale, y: (y - viewport.offsetY) / viewport.scale };
}

// Device pixels per CSS pixel for a canvas of this CSS size on a touch screen: the device's own,
// but never more than puts one device pixel on each world unit. A phone's three device pixels
// per CSS pixel would paint twice the pixels of the world's own size for no detail its picture
// has, and filling them is most of a phone's time per frame.
export function touchPixelRatio(cssWidth, cssHeight, devicePixelRatio) {
  const cssPerUnit = fitWorld(cssWidth, cssHeight).scale;
  return Math.min(devicePixelRatio, Math.max(1, 1 / cssPerUnit));
}

// The smallest text that stays readable, in CSS pixels; a phone's game is drawn at half its size
// and less, where the host's smaller texts would be too small.
export const MIN_TEXT_CSS_PX = 11;

// The same in world units, for a game drawn at `cssPerUnit` CSS pixels per world unit.
export function minTextPx(cssPerUnit) {
  return MIN_TEXT_CSS_PX / Math.max(cssPerUnit, 1e-6);
}
