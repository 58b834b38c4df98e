// The type of every value of a drawing command, checked before the painter sees it: whatever the
// host (or anyone between it and us on a plain connection) sends, the painter only ever meets
// finite numbers, strings, colours and flags, so a bad picture can be dropped rather than throw
// in the middle of a frame.

const isNumber = (v) => typeof v === 'number' && Number.isFinite(v);
const isByte = (v) => Number.isInteger(v) && v >= 0 && v <= 255;
const isColor = (v) => Array.isArray(v) && v.length === 4 && v.every(isByte);

// Each member's test. A kind the painter does not know is skipped when drawn, as a newer host's
// may be; an asset id without a picture is drawn as a marker.
export const MEMBER_CHECKS = {
  kind: (v) => Number.isInteger(v) && v >= 0,
  x: isNumber, y: isNumber, width: isNumber, height: isNumber,
  color: isColor,
  text: (v) => typeof v === 'string',
  font_size: isNumber,
  x2: isNumber, y2: isNumber,
  asset_id: (v) => Number.isInteger(v) && v >= 0 && v <= 0xffff,
  rotation: isNumber, scale_x: isNumber, scale_y: isNumber,
  flip_x: (v) => typeof v === 'boolean', flip_y: (v) => typeof v === 'boolean',
};

export const MEMBERS = Object.keys(MEMBER_CHECKS);

const ZERO_COLOR = [0, 0, 0, 0];
const ZERO = {
  kind: 0, x: 0, y: 0, width: 0, height: 0, color: ZERO_COLOR, text: '', font_size: 0, x2: 0, y2: 0,
  asset_id: 0, rotation: 0, scale_x: 0, scale_y: 0, flip_x: false, flip_y: false,
};

const isRecord = (v) => typeof v === 'object' && v !== null && !Array.isArray(v);

// True when every member `c` gives has its type (members left out are zero).
export function membersFit(c) {
  if (!isRecord(c)) return false;
  for (const name of MEMBERS) if (Object.hasOwn(c, name) && !MEMBER_CHECKS[name](c[name])) return false;
  return true;
}

// A command with every member, those left out at their zero value, or null when one has the
// wrong type. One shape for all of them keeps the painter's property reads fast.
export function wholeCommand(c) {
  if (!membersFit(c)) return null;
  const out = {};
  for (const name of MEMBERS) out[name] = Object.hasOwn(c, name) ? c[name] : ZERO[name];
  return out;
}

// A whole picture's commands made whole, or null when it is no list, too long, or has a command
// the painter cannot use.
export function checkedPicture(commands, maxCommands) {
  if (!Array.isArray(commands) || commands.length > maxCommands) return null;
  const out = new Array(commands.length);
  for (let i = 0; i < commands.length; i++) {
    const c = wholeCommand(commands[i]);
    if (c === null) return null;
    out[i] = c;
  }
  return out;
}
