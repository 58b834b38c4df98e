// Drawing one DRAW_COMMANDS list onto the canvas, in list order, later over earlier, through the
// letterbox: the same placements as the window client.
import { DrawKind } from './protocol.js';
import { FONT_FAMILY } from './assets.js';
import { WORLD_H, WORLD_W } from './viewport.js';

const MISSING_SPRITE = [255, 0, 255, 160]; // an id without a picture still shows where it is

const css = (c) => `rgba(${c[0]},${c[1]},${c[2]},${c[3] / 255})`;

export class Painter {
  constructor(context, assets) {
    this.ctx = context;
    this.assets = assets;
    this.tinted = new Map(); // "asset r g b" -> canvas with the tint multiplied in
    this.minTextPx = 0;      // world units: the smallest text readable on this screen
  }

  // Clears the canvas to black bars and clips drawing to the world, in world units from here on.
  begin(viewport, width, height) {
    const ctx = this.ctx;
    ctx.setTransform(1, 0, 0, 1, 0, 0);
    ctx.globalAlpha = 1;
    ctx.fillStyle = '#000';
    ctx.fillRect(0, 0, width, height);
    ctx.setTransform(viewport.scale, 0, 0, viewport.scale, viewport.offsetX, viewport.offsetY);
    ctx.beginPath();
    ctx.rect(0, 0, WORLD_W, WORLD_H);
    ctx.clip();
    ctx.textBaseline = 'alphabetic';
  }

  drawPicture(commands) {
    for (const c of commands) {
      switch (c.kind) {
        case DrawKind.RECT: this.rect(c.x, c.y, c.width, c.height, c.color); break;
        case DrawKind.TEXT: this.text(c.x, c.y, c.text, c.font_size, c.color); break;
        case DrawKind.SPRITE: this.sprite(placeSprite(c)); break;
        case DrawKind.SPRITE_PRO: this.sprite(this.placeSpritePro(c)); break;
        case DrawKind.CIRCLE: this.circle(c.x, c.y, c.width, c.color); break;
        case DrawKind.LINE: this.line(c.x, c.y, c.x2, c.y2, c.width > 0 ? c.width : 1, c.color); break;
        default: break;
      }
    }
  }

  rect(x, y, width, height, color) {
    this.ctx.fillStyle = css(color);
    this.ctx.fillRect(x, y, width, height);
  }

  // (x, y) is the top-left corner of the text's line box; the line box is the font size high. A
  // text smaller than `minTextPx` (world units; set for the screen's size) is drawn at that size,
  // grown around the centre of the box it would have had, so that it stays where the host put it.
  text(x, y, text, fontSize, color) {
    if (!text) return;
    const ctx = this.ctx;
    const px = fontSize * this.assets.text.pointsPerFontUnit;
    const grow = px > 0 && px < this.minTextPx ? this.minTextPx / px : 1;
    const size = px * grow;
    ctx.font = `${size}px "${FONT_FAMILY}"`;
    ctx.fillStyle = css(color);
    const metrics = ctx.measureText(text);
    // Lone glyphs sit centred in an even cell, as in the window client.
    const boxWidth = [...text].length === 1 ? this.assets.text.singleGlyphCell * px : metrics.width / grow;
    const left = x + (boxWidth - metrics.width) / 2;
    const top = y + (px - size) / 2;
    ctx.fillText(text, left, top + (metrics.fontBoundingBoxAscent ?? size * 0.928));
  }

  // How much texts of this size are grown (1 when they are big enough), for what is laid out around them.
  textGrowth(fontSize) {
    const px = fontSize * this.assets.text.pointsPerFontUnit;
    return px > 0 && px < this.minTextPx ? this.minTextPx / px : 1;
  }

  circle(x, y, radius, color) {
    if (radius <= 0) return;
    this.ctx.fillStyle = css(color);
    this.ctx.beginPath();
    this.ctx.arc(x, y, radius, 0, 2 * Math.PI);
    this.ctx.fill();
  }

  line(x1, y1, x2, y2, thickness, color) {
    this.ctx.strokeStyle = css(color);
    this.ctx.lineWidth = thickness;
    this.ctx.beginPath();
    this.ctx.moveTo(x1, y1);
    this.ctx.lineTo(x2, y2);
    this.ctx.stroke();
  }

  // Where a SPRITE_PRO lands: its frame scaled, anchored on (x, y), turned around that point.
  placeSpritePro(c) {
    const frame = this.assets.sprites.get(c.asset_id) ?? { size: 1024, anchorX: 0.5, anchorY: 0.5 };
    const width = frame.size * Math.abs(c.scale_x);
    const height = frame.size * Math.abs(c.scale_y);
    const pivotX = width * frame.anchorX;
    const pivotY = height * frame.anchorY;
    return {
      asset: c.asset_id, x: c.x - pivotX, y: c.y - pivotY, width, height, pivotX, pivotY, rotation: c.rotation,
      flipX: c.flip_x !== c.scale_x < 0, flipY: c.flip_y !== c.scale_y < 0, tint: c.color,
    };
  }

  sprite(p) {
    const sprite = this.assets.sprites.get(p.asset);
    if (!sprite) {
      this.rect(p.x, p.y, p.width, p.height, MISSING_SPRITE);
      return;
    }
    if (p.width === 0 || p.height === 0) return;
    const ctx = this.ctx;
    ctx.save();
    ctx.translate(p.x + p.pivotX, p.y + p.pivotY);
    if (p.rotation) ctx.rotate((p.rotation * Math.PI) / 180);
    ctx.scale(p.flipX ? -1 : 1, p.flipY ? -1 : 1);
    ctx.globalAlpha = p.tint[3] / 255;
    const left = p.flipX ? p.pivotX - p.width : -p.pivotX;
    const top = p.flipY ? p.pivotY - p.height : -p.pivotY;
    ctx.drawImage(this.tintedImage(p.asset, sprite.image, p.tint), left, top, p.width, p.height);
    ctx.restore();
  }

  // The image multiplied by the tint's colour (its alpha goes to globalAlpha), cached per colour.
  tintedImage(asset, image, tint) {
    if (tint[0] === 255 && tint[1] === 255 && tint[2] === 255) return image;
    const key = `${asset} ${tint[0]} ${tint[1]} ${tint[2]}`;
    let canvas = this.tinted.get(key);
    if (canvas) return canvas;
    canvas = document.createElement('canvas');
    canvas.width = image.width;
    canvas.height = image.height;
    const c = canvas.getContext('2d');
    c.drawImage(image, 0, 0);
    c.globalCompositeOperation = 'multiply';
    c.fillStyle = `rgb(${tint[0]},${tint[1]},${tint[2]})`;
    c.fillRect(0, 0, canvas.width, canvas.height);
    c.globalCompositeOperation = 'destination-in';
    c.drawImage(image, 0, 0);
    if (this.tinted.size > 256) this.tinted.clear();
    this.tinted.set(key, canvas);
    return canvas;
  }
}

function placeSprite(c) {
  return {
    asset: c.asset_id, x: c.x, y: c.y, width: c.width, height: c.height, pivotX: c.width / 2, pivotY: c.height / 2,
    rotation: 0, flipX: false, flipY: false, tint: c.color,
  };
}
