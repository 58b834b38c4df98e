// The device keyboard's typing, read from a text field: what changed since the last look becomes
// key presses, Backspace for each character taken away and the typed key of each one added. Taking
// the difference, rather than each event's own data, follows a keyboard that rewrites the word
// being composed (suggestions, autocorrection) as it goes.
import { Key } from './key_tracker.js';
import { gameKeyFor } from './keys.js';

// What stays in the field between looks: a backspace always has something to take away (a
// keyboard sends nothing for a backspace in an empty field), and a new word starts after a space
// like any other.
export const FIELD_REST = '        ';
export const FIELD_MAX = 64; // characters before the field is emptied back to its rest

// What the field holds after an input: back to its rest once it ran short or long, but only
// between words, so a keyboard composing one is not disturbed.
export function fieldKept(value, composing) {
  if (composing) return value;
  return value.length > FIELD_MAX || value.length < FIELD_REST.length ? FIELD_REST : value;
}

// Characters at the start of the common part stay; what follows was erased and retyped.
export function fieldChange(before, after) {
  const was = Array.from(before);
  const now = Array.from(after);
  let same = 0;
  while (same < was.length && same < now.length && was[same] === now[same]) ++same;
  return { erased: was.length - same, added: now.slice(same) };
}

// The game keys to tap, in order; characters with no game key (digits, accents) are left out.
export function keyPressesFor(change) {
  const presses = new Array(change.erased).fill(Key.BACKSPACE);
  for (const ch of change.added) {
    const key = gameKeyFor({ key: ch });
    if (key !== undefined && (key < Key.BACKSPACE || key === Key.SPACE)) presses.push(key);
  }
  return presses;
}
