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
