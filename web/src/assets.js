// The sprites, sounds and text numbers exported from the native client, and the game font. The
// sprites come as one image and the sounds as one file, so the page needs few requests.

export const FONT_FAMILY = 'DejaVu Sans Web';

function loadImage(url) {
  return new Promise((resolve, reject) => {
    const image = new Image();
    image.onload = () => resolve(image);
    image.onerror = () => reject(new Error(`cannot load ${url}`));
    image.src = url;
  });
}

// A new face on each attempt: a face whose load failed stays failed.
async function loadFont() {
  const face = new FontFace(FONT_FAMILY, 'url(DejaVuSans.ttf)');
  document.fonts.add(await face.load());
}

// Each sprite cut out of the atlas, so that drawing and tinting see a picture of its own.
async function cutSprites(atlas, entries) {
  const sprites = new Map();
  await Promise.all(entries.map(async (s) => {
    const image = await createImageBitmap(atlas, s.x, s.y, s.width, s.height);
    sprites.set(s.id, { image, size: s.size, anchorX: s.anchor_x, anchorY: s.anchor_y });
  }));
  return sprites;
}

// One attempt: { sprites: Map id -> {image, size, anchorX, anchorY}, sounds: {bundle, list:
// [{id, offset, length, music}]}, text: {...} }; rejects when any part cannot be loaded.
export async function loadAssets() {
  const response = await fetch('assets.json');
  if (!response.ok) throw new Error('cannot load assets.json');
  const manifest = await response.json();
  const [, atlas] = await Promise.all([loadFont(), loadImage(manifest.sprite_atlas)]);
  return {
    sprites: await cutSprites(atlas, manifest.sprites),
    sounds: { bundle: manifest.sound_bundle, list: manifest.sounds },
    text: { pointsPerFontUnit: manifest.points_per_font_unit, singleGlyphCell: manifest.single_glyph_cell },
  };
}
