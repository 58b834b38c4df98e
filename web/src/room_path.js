// Which room a page belongs to when a door serves it: "/r/CODE" is that room's page, its
// WebSocket "/r/CODE/play" and its seat kept under the room's own key; any other path is a
// single host's page, as before the door.

export const CODE_LENGTH = 4;

// "kxqf", " KXQF " -> "KXQF"; null when it is not four letters.
export function typedCode(text) {
  const code = String(text ?? '').trim().toUpperCase();
  return /^[A-Z]{4}$/.test(code) ? code : null;
}

// The room of a page's path ("/r/kxqf" or "/r/KXQF/"), or null.
export function roomOfPath(pathname) {
  const match = /^\/r\/([A-Za-z]{4})\/?$/.exec(pathname);
  return match ? match[1].toUpperCase() : null;
}

// The WebSocket path of the page at `pathname`.
export function playPath(pathname) {
  const room = roomOfPath(pathname);
  return room ? `/r/${room}/play` : '/play';
}

// The whole link to a room, as another device opens it.
export function roomLink(origin, code) {
  return `${origin}/r/${code}`;
}

// A storage whose keys belong to one room, so that a tab moving between rooms keeps a seat in each.
export function keyedByRoom(storage, code) {
  const key = (name) => `${name}@${code}`;
  return {
    getItem: (name) => storage.getItem(key(name)),
    setItem: (name, value) => storage.setItem(key(name), value),
    removeItem: (name) => storage.removeItem(key(name)),
  };
}

// What the page says when the door will not make a room, by the answer's status.
export function newRoomRefusal(status) {
  if (status === 429) return 'Too many rooms were made from your address - try again in a few minutes.';
  if (status === 503) return 'All rooms are busy — try again in a minute';
  return `The door could not make a room (${status}) - try again.`;
}

export const NETWORK_FAILURE = 'Could not reach the door - check the connection and try again.';

export function noRoomText(code) {
  return `No room ${code} — it may have ended`;
}
