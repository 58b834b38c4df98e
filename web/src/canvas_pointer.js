// Mouse, pen and finger on the canvas through the one set of pointer events. A mouse or pen
// presses its buttons as they go down, as before; a finger aims while it moves and clicks where it
// lifts, unless it dragged, so that the Overseer can aim with a finger and fire with a tap.
import { Key } from './key_tracker.js';

export const TAP_SLOP_PX = 12; // CSS pixels a finger may wander and still be a tap

const BUTTON_BITS = [[1, Key.MOUSE_LEFT], [2, Key.MOUSE_RIGHT], [4, Key.MOUSE_MIDDLE]];

export class CanvasPointer {
  constructor(keys) {
    this.keys = keys;
    this.fingers = new Map(); // pointerId -> { x, y, dragged } where the finger came down
  }

  down(e) {
    if (e.pointerType !== 'touch') {
      this.pressButtons(e.buttons);
      return;
    }
    if (e.isPrimary) this.fingers.set(e.pointerId, { x: e.clientX, y: e.clientY, dragged: false });
  }

  move(e) {
    if (e.pointerType !== 'touch') {
      this.pressButtons(e.buttons); // a second mouse button comes as a move, not a down
      return;
    }
    const finger = this.fingers.get(e.pointerId);
    if (finger && Math.hypot(e.clientX - finger.x, e.clientY - finger.y) > TAP_SLOP_PX) finger.dragged = true;
  }

  up(e) {
    if (e.pointerType !== 'touch') {
      this.pressButtons(e.buttons);
      return;
    }
    const finger = this.fingers.get(e.pointerId);
    this.fingers.delete(e.pointerId);
    if (!finger || finger.dragged) return;
    // Down and up together: the next snapshot carries the whole click.
    this.keys.down(Key.MOUSE_LEFT);
    this.keys.up(Key.MOUSE_LEFT);
  }

  // The browser took the pointer over (a scroll, a system gesture): nothing was clicked.
  cancel(e) {
    if (e.pointerType !== 'touch') this.pressButtons(0);
    this.fingers.delete(e.pointerId);
  }

  pressButtons(buttons) {
    for (const [bit, key] of BUTTON_BITS) {
      if (buttons & bit) this.keys.down(key);
      else this.keys.up(key);
    }
  }
}
