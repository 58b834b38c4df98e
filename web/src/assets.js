// The sprites, sounds and text numbers exported from the native client, and the game font.

export const FONT_FAMILY = 'DejaVu Sans Web';

function loadImage(url) {
  return new Promise((resolve, reject) => {
    const image = new Image();
    image.onload = () => resolve(image);
    image.onerror = () => reject(new Error(`cannot load ${url}`));
    image.src = url;
  });
}

async function loadFont() {
  const face = new FontFace(FONT_FAMILY, 'url(DejaVuSans.ttf)');
  document.fonts.add(await face.load());
}

// { sprites: Map id -> {image, size, anchorX, anchorY}, sounds: [{id, url, music}], text: {...} }
export async function loadAssets() {
  const response = await fetch('assets.json');
  if (!response.ok) throw new Error('cannot load assets.json');
  const manifest = await response.json();
  const sprites = new Map();
  await Promise.all([
    loadFont(),
    ...manifest.sprites.map(async (s) => {
      sprites.set(s.id, { image: await loadImage(s.file), size: s.size, anchorX: s.anchor_x, anchorY: s.anchor_y });
    }),
  ]);
  return {
    sprites,
    sounds: manifest.sounds.map((s) => ({ id: s.id, url: s.file, music: s.music })),
    text: { pointsPerFontUnit: manifest.points_per_font_unit, singleGlyphCell: manifest.single_glyph_cell },
  };
}
