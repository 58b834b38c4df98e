// What the client draws over the host's picture: recent answers, the command line, the
// connection status. In world units, so it scales with the picture, as in the window client.
import { EventKind } from './protocol.js';

const CHAT_SHOW_S = 6; // a short message; a longer one stays as long as it takes to read
const CHAT_SHOW_MAX_S = 20;
const CHAT_READ_BYTES_PER_S = 15;
const CHAT_MAX_LINES = 10;
const CHAT_LINE_MAX_BYTES = 160; // a longer line is cut: it would leave the picture
const PANEL = [0, 0, 0, 170];
const CHAT_TEXT = [255, 240, 160, 255];
const FIELD_TEXT = [255, 255, 255, 255];
const STATUS_PANEL = [120, 20, 20, 220];
const CHAT_FONT = 20;
const FIELD_FONT = 22;
const CHAT_LINE_H = 26;
const CHAT_CHAR_W = 11;

export class Overlay {
  constructor() {
    this.chat = [];   // {text, expires}
    this.status = ''; // e.g. the lost connection
  }

  // A text with line breaks becomes one line per line, all staying as long as the whole takes
  // to read; only the last lines are kept.
  addChat(text, now) {
    const expires = now + chatShowSeconds(encoder.encode(text).length);
    for (const line of text.split('\n').slice(-CHAT_MAX_LINES))
      this.chat.push({ text: cutUtf8(line, CHAT_LINE_MAX_BYTES), expires });
    while (this.chat.length > CHAT_MAX_LINES) this.chat.shift();
  }

  dropExpired(now) {
    while (this.chat.length > 0 && this.chat[0].expires <= now) this.chat.shift();
  }

  draw(painter, commandLine) {
    // On a small screen the lines grow with their text, panels and all.
    const grow = painter.textGrowth(CHAT_FONT);
    let y = 10;
    for (const line of this.chat) {
      painter.rect(10, y, 20 + CHAT_CHAR_W * grow * line.text.length, CHAT_LINE_H * grow, PANEL);
      painter.text(20, y + 2 * grow, line.text, CHAT_FONT * grow, CHAT_TEXT);
      y += (CHAT_LINE_H + 4) * grow;
    }
    if (this.status) {
      painter.rect(0, 320, 1280, 80, STATUS_PANEL);
      painter.text(40, 345, this.status, 28, FIELD_TEXT);
    }
    if (commandLine.isOpen) {
      const g = painter.textGrowth(FIELD_FONT);
      painter.rect(0, 720 - 40 * g, 1280, 40 * g, PANEL);
      painter.text(12, 720 - 32 * g, `> ${commandLine.text}_`, FIELD_FONT * g, FIELD_TEXT);
    }
  }
}

const encoder = new TextEncoder();
// A member shown as text: what JSON gives as a string or a number, nothing else (an object's own
// "toString" member would throw when made into text).
const textOf = (v) => (typeof v === 'string' || Number.isFinite(v) ? String(v) : '');

// The line the host's news of a join or its message shows, or null. A leave shows none: the host
// names whoever leaves the lobby itself, and a bare id would mean nothing to the players.
export function chatLineFor(event) {
  switch (event.kind) {
    case EventKind.PLAYER_JOINED: return `${textOf(event.player_name)} joined`;
    case EventKind.CHAT_MESSAGE: return textOf(event.message);
    default: return null;
  }
}

// Seconds a message of `bytes` stays: CHAT_SHOW_S, or 2 s and the time to read it, at most CHAT_SHOW_MAX_S.
export function chatShowSeconds(bytes) {
  return Math.min(CHAT_SHOW_MAX_S, Math.max(CHAT_SHOW_S, 2 + bytes / CHAT_READ_BYTES_PER_S));
}

// At most `maxBytes` of UTF-8, cut between characters.
export function cutUtf8(text, maxBytes) {
  if (encoder.encode(text).length <= maxBytes) return text;
  let out = '';
  let bytes = 0;
  for (const ch of text) {
    bytes += encoder.encode(ch).length;
    if (bytes > maxBytes) break;
    out += ch;
  }
  return out;
}
