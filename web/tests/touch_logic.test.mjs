// Touch play's rules: the controls' strip never overlaps the fitted game and the bigger game wins,
// the device keyboard's field becomes key presses even when a word is rewritten, and a finger
// clicks only when it lifts without having dragged while a mouse presses as before.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { CanvasPointer, TAP_SLOP_PX } from '../src/canvas_pointer.js';
import { Key, KeyTracker } from '../src/key_tracker.js';
import { gameKeyFor } from '../src/keys.js';
import { touchLayout } from '../src/touch_layout.js';
import { FIELD_MAX, FIELD_REST, fieldChange, fieldKept, keyPressesFor } from '../src/typed_field.js';
import { fitWorld, touchPixelRatio } from '../src/viewport.js';

const gameIn = (r) => {
  const v = fitWorld(r.width, r.height);
  return { left: r.left + v.offsetX, top: r.top + v.offsetY, right: r.left + v.offsetX + 1280 * v.scale,
    bottom: r.top + v.offsetY + 720 * v.scale, scale: v.scale };
};
const apart = (a, g) => a.left + a.width <= g.left || a.left >= g.right || a.top + a.height <= g.top || a.top >= g.bottom;

test('the controls sit beside the game, in the strip that leaves it biggest', () => {
  const cases = [[844, 390, 'sides', false], [390, 844, 'bottom', true], [1024, 768, 'bottom', false], [640, 360, 'sides', false]];
  for (const [width, height, mode, portrait] of cases) {
    const l = touchLayout(width, height);
    assert.equal(l.mode, mode, `${width}x${height}`);
    assert.equal(l.portrait, portrait);
    const game = gameIn(l.canvas);
    assert.ok(apart(l.arrows, game) && apart(l.actions, game), `${width}x${height}: controls over the game`);
    assert.ok(apart(l.arrows, { left: l.actions.left, top: l.actions.top, right: l.actions.left + l.actions.width,
      bottom: l.actions.top + l.actions.height }));
  }
  // Lying down, the keys' columns are as narrow as thumb-sized buttons allow, for a bigger game.
  for (const [width, height] of [[844, 390], [667, 375]]) {
    const l = touchLayout(width, height);
    assert.ok(l.arrows.width + l.actions.width <= 160, `${width}x${height}: keys take ${l.arrows.width + l.actions.width} px`);
  }
    // Upright, the game takes the whole width.
  assert.equal(gameIn(touchLayout(390, 844).canvas).scale, 390 / 1280);
  // A phone's canvas gets no more device pixels than the world has units; a coarse screen keeps its own.
  const canvas = touchLayout(844, 390).canvas;
  const ratio = touchPixelRatio(canvas.width, canvas.height, 3);
  assert.ok(Math.abs(gameIn(canvas).scale * ratio - 1) < 1e-9, `ratio ${ratio}`);
  assert.equal(touchPixelRatio(canvas.width, canvas.height, 1), 1);
  assert.equal(touchPixelRatio(2560, 1440, 2), 1);
});

test('the keyboard field becomes key presses, following a word the keyboard rewrites', () => {
  const rest = '  ';
  assert.deepEqual(keyPressesFor(fieldChange(rest, `${rest}qw`)), [16, 22]);
  assert.deepEqual(keyPressesFor(fieldChange(`${rest}helo`, `${rest}hello`)), [Key.BACKSPACE, 11, 14]);
  assert.deepEqual(keyPressesFor(fieldChange(rest, ' ')), [Key.BACKSPACE]);
  assert.deepEqual(keyPressesFor(fieldChange(rest, `${rest}a1é b`)), [0, Key.SPACE, 1]);
  assert.deepEqual(fieldChange('😀', '😀x'), { erased: 0, added: ['x'] });
});

// A device keyboard on the field: a backspace takes the last character away, and in an empty field
// it changes nothing and sends no input at all; a letter adds itself. Gives the presses it became.
function typeOnField(strokes) {
  let value = FIELD_REST;
  const presses = [];
  for (const stroke of strokes) {
    if (stroke === 'Backspace' && value === '') continue;
    const after = stroke === 'Backspace' ? value.slice(0, -1) : value + stroke;
    presses.push(...keyPressesFor(fieldChange(value, after)));
    value = fieldKept(after, false);
    assert.ok(value.length <= FIELD_MAX, `the field grew to ${value.length}`);
  }
  return presses;
}

test('the keyboard field never runs out of characters to erase nor grows without end', () => {
  const cases = [
    ['a long run of backspaces', new Array(3 * FIELD_REST.length).fill('Backspace')],
    ['letters, then more backspaces than letters', [...'abc', ...new Array(20).fill('Backspace')]],
    ['a long word, then backspaces', [...'q'.repeat(2 * FIELD_MAX), 'Backspace', 'Backspace']],
  ];
  for (const [name, strokes] of cases) {
    const expected = strokes.map((s) => (s === 'Backspace' ? Key.BACKSPACE : gameKeyFor({ key: s })));
    assert.deepEqual(typeOnField(strokes), expected, name);
  }
  assert.equal(fieldKept('ab', true), 'ab', 'a word being composed is left alone');
});

const touch = (type, x, y, extra = {}) => ({ type, pointerType: 'touch', pointerId: 1, isPrimary: true, clientX: x, clientY: y, buttons: 1, ...extra });

test('a finger clicks where it lifts unless it dragged; a mouse presses as its buttons go down', () => {
  const keys = new KeyTracker();
  const pointer = new CanvasPointer(keys);
  const origin = { x: 0, y: 0 };
  pointer.down(touch('down', 100, 100));
  assert.equal(keys.snapshot(origin).mouse_left, false); // aiming, not yet a click
  pointer.move(touch('move', 100 + TAP_SLOP_PX / 2, 100));
  pointer.up(touch('up', 100 + TAP_SLOP_PX / 2, 100, { buttons: 0 }));
  assert.equal(keys.snapshot(origin).mouse_left, true);
  assert.equal(keys.snapshot(origin).mouse_left, false);

  pointer.down(touch('down', 100, 100));
  pointer.move(touch('move', 100 + 3 * TAP_SLOP_PX, 100));
  pointer.move(touch('move', 100, 100)); // back where it started: still a drag
  pointer.up(touch('up', 100, 100, { buttons: 0 }));
  pointer.down(touch('down', 50, 50, { pointerId: 2, isPrimary: false }));
  pointer.up(touch('up', 50, 50, { pointerId: 2, isPrimary: false, buttons: 0 }));
  pointer.down(touch('down', 50, 50));
  pointer.cancel(touch('cancel', 50, 50, { buttons: 0 }));
  assert.equal(keys.snapshot(origin).mouse_left, false);

  const mouse = (buttons) => ({ pointerType: 'mouse', pointerId: 9, isPrimary: true, clientX: 0, clientY: 0, buttons });
  pointer.down(mouse(1));
  pointer.move(mouse(3)); // the right button joins while the left is held
  let s = keys.snapshot(origin);
  assert.deepEqual([s.mouse_left, s.mouse_right, s.mouse_middle], [true, true, false]);
  pointer.up(mouse(0));
  s = keys.snapshot(origin);
  assert.deepEqual([s.mouse_left, s.mouse_right], [false, false]);
});
