// Which browser key is which game key. Letters go by the typed letter, not the
// key's position, so every keyboard layout types the letter printed on its key.
import { Key } from './key_tracker.js';

const NAMED = {
  Backspace: Key.BACKSPACE, ArrowUp: Key.UP, ArrowDown: Key.DOWN, ArrowLeft: Key.LEFT, ArrowRight: Key.RIGHT,
  ' ': Key.SPACE, Enter: Key.ENTER, Shift: Key.SHIFT, Control: Key.CTRL, Escape: Key.ESCAPE,
};

// A game key, or undefined for keys the host does not read.
export function gameKeyFor(event) {
  if (event.key.length === 1) {
    const code = event.key.toUpperCase().charCodeAt(0);
    if (code >= 65 && code <= 90) return code - 65;
  }
  return NAMED[event.key];
}

export function togglesCommandLine(event) {
  return event.key === 'F1' || event.code === 'Backquote';
}
