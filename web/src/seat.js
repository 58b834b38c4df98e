// The seat this tab holds at the host: its id and reconnection secret from the last INIT, kept in
// the tab's sessionStorage so that a lost connection or a reload of the page comes back to it.
// The secret is what proves the seat is ours: the id and name are shown to every player.

import { keyedByRoom, roomOfPath } from './room_path.js';

const SEAT_KEY = 'cogwell-seat';

export class Seat {
  // storage: the tab's sessionStorage, or null where the browser refuses it (then memory only).
  constructor(storage, name) {
    this.storage = storage;
    this.name = name;
    this.id = 0;
    this.secret = '';
    const kept = readKept(storage);
    // A seat is asked back under the name it was taken with, so another name starts afresh.
    if (kept && kept.name === name) {
      this.id = kept.id;
      this.secret = kept.secret;
    }
  }

  // The LOGIN for the next connection. An empty secret still tells the host that this client
  // keeps the one it will be given.
  loginFields() {
    return { player_name: this.name, previous_player_id: this.id, reconnect_secret: this.secret };
  }

  // An INIT: the seat the host gave, which may be a new one.
  take(event) {
    if (!Number.isInteger(event.client_id) || event.client_id <= 0) return;
    this.id = event.client_id;
    this.secret = typeof event.reconnect_secret === 'string' ? event.reconnect_secret : '';
    try {
      this.storage?.setItem(SEAT_KEY, JSON.stringify({ name: this.name, id: this.id, secret: this.secret }));
    } catch {
      // Storage full or refused: the seat is still kept for this page's life.
    }
  }
}

// The name of the seat this tab holds, when it keeps one with its secret (the page was reloaded
// or restored): the page then takes the seat back without asking. null otherwise.
export function keptSeatName(storage) {
  const kept = readKept(storage);
  return kept && kept.id > 0 && kept.secret && kept.name ? kept.name : null;
}

function readKept(storage) {
  try {
    const kept = JSON.parse(storage?.getItem(SEAT_KEY) ?? 'null');
    if (kept && typeof kept.name === 'string' && Number.isInteger(kept.id) && typeof kept.secret === 'string') return kept;
  } catch {
    // Unreadable or refused: no seat to ask back.
  }
  return null;
}

// sessionStorage (under the room's own keys on a room's page), or null where merely touching it
// throws (storage disabled for the page).
export function tabStorage() {
  try {
    const room = roomOfPath(location.pathname);
    return room ? keyedByRoom(window.sessionStorage, room) : window.sessionStorage;
  } catch {
    return null;
  }
}
