// Held keys and the edges since the last INPUT snapshot, built from key-down and key-up events,
// with the same rules as the window client: a quick tap is never lost, and at most one typed key
// (a letter or backspace) goes down per snapshot so typed letters reach the host in order.
// Each change is announced (`changed`), so the page can send it at once rather than at its next
// frame.

export const LETTER_KEY_COUNT = 26; // keys 0..25 are the letters 'A'..'Z'
export const Key = {
  BACKSPACE: 26, UP: 27, DOWN: 28, LEFT: 29, RIGHT: 30, SPACE: 31, ENTER: 32, SHIFT: 33, CTRL: 34, ESCAPE: 35,
  MOUSE_LEFT: 36, MOUSE_RIGHT: 37, MOUSE_MIDDLE: 38,
};
const KEY_COUNT = 39;

export class KeyTracker {
  constructor(changed = () => {}) {
    this.changed = changed;
    this.held = new Array(KEY_COUNT).fill(false);   // as of the last snapshot
    this.latest = new Array(KEY_COUNT).fill(false); // after every change seen so far
    this.pending = [];                              // changes not yet in a snapshot, oldest first
  }

  // Auto-repeat presses of a held key are not changes.
  down(key) {
    if (this.latest[key]) return;
    this.latest[key] = true;
    this.pending.push({ key, down: true });
    this.changed();
  }

  up(key) {
    if (!this.latest[key]) return;
    this.latest[key] = false;
    this.pending.push({ key, down: false });
    this.changed();
  }

  // Everything held goes up, e.g. when the page loses the focus or the command line takes the keys.
  releaseAll() {
    for (let k = 0; k < KEY_COUNT; ++k) this.up(k);
  }

  // The InputState of one INPUT message; `mouse` is in world units.
  snapshot(mouse) {
    const wentDown = new Array(KEY_COUNT).fill(false);
    const wentUp = new Array(KEY_COUNT).fill(false);
    let typedOne = false;
    while (this.pending.length > 0) {
      const change = this.pending[0];
      if (change.down && isTyped(change.key)) {
        if (typedOne) break;
        typedOne = true;
      }
      this.pending.shift();
      this.held[change.key] = change.down;
      (change.down ? wentDown : wentUp)[change.key] = true;
    }
    const level = (k) => this.held[k] || wentDown[k];
    const keyState = (k) => ({ is_down: level(k), just_pressed: wentDown[k], just_released: wentUp[k] });
    const keys = [];
    for (let i = 0; i < LETTER_KEY_COUNT; ++i) keys.push(keyState(i));
    return {
      up: level(Key.UP), down: level(Key.DOWN), left: level(Key.LEFT), right: level(Key.RIGHT),
      mouse_x: mouse.x, mouse_y: mouse.y,
      mouse_left: level(Key.MOUSE_LEFT), mouse_right: level(Key.MOUSE_RIGHT), mouse_middle: level(Key.MOUSE_MIDDLE),
      space: level(Key.SPACE), enter: level(Key.ENTER), shift: level(Key.SHIFT), ctrl: level(Key.CTRL),
      escape: level(Key.ESCAPE),
      backspace: keyState(Key.BACKSPACE),
      keys,
    };
  }
}

function isTyped(key) {
  return key < LETTER_KEY_COUNT || key === Key.BACKSPACE;
}
