// The client's messages to the host, as the JSON text the host reads (one message per WebSocket
// message), and the numbering of the host's records.

export const ServerKind = { EVENT: 0, DRAW_COMMANDS: 1, PICTURE_CHANGE: 2 };
export const EventKind = { INIT: 0, PLAYER_JOINED: 1, PLAYER_LEFT: 2, CHAT_MESSAGE: 3, PLAY_SOUND: 4, STOP_MUSIC: 5 };
export const DrawKind = { RECT: 0, TEXT: 1, CIRCLE: 2, LINE: 3, SPRITE: 4, SPRITE_PRO: 5 };
const ClientKind = { LOGIN: 0, INPUT: 1, CHAT: 2, SETTINGS_COMMAND: 3, PICTURE_REQUEST: 4 };
// Named when connecting: the host then sends most pictures as changes from the one before.
export const PICTURE_CHANGES_SUBPROTOCOL = 'cogwell.delta';

// fields: player_name, previous_player_id and reconnect_secret (Seat.loginFields).
export function loginMessage(fields) {
  return JSON.stringify({ kind: ClientKind.LOGIN, ...fields });
}

// Pointer positions are world units; two decimals are finer than any screen pixel.
const round2 = (v) => Math.round(v * 100) / 100;

export function inputMessage(input) {
  return JSON.stringify({ kind: ClientKind.INPUT, input: { ...input, mouse_x: round2(input.mouse_x), mouse_y: round2(input.mouse_y) } });
}

export function commandMessage(line) {
  return JSON.stringify({ kind: ClientKind.SETTINGS_COMMAND, settings_command: line });
}

// The page has lost track of its picture: the host sends the next one whole.
export function pictureRequestMessage() {
  return JSON.stringify({ kind: ClientKind.PICTURE_REQUEST });
}
