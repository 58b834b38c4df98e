// A room's page, WebSocket and kept seat from its path; what the page says when no room is made.
import assert from 'node:assert/strict';
import test from 'node:test';
import { keyedByRoom, newRoomRefusal, playPath, roomOfPath, typedCode } from '../src/room_path.js';
import { Seat, keptSeatName } from '../src/seat.js';

test('a room page\'s path gives its room and WebSocket; any other path is a single host\'s page', () => {
  for (const [path, room, play] of [
    ['/', null, '/play'], ['/index.html', null, '/play'], ['/r/KXQF', 'KXQF', '/r/KXQF/play'],
    ['/r/kxqf/', 'KXQF', '/r/KXQF/play'], ['/r/KXQ', null, '/play'], ['/r/KXQFF', null, '/play'],
    ['/r/KXQF/play', null, '/play'], ['/r/K1QF', null, '/play'], ['/x/r/KXQF', null, '/play'],
  ]) {
    assert.equal(roomOfPath(path), room, path);
    assert.equal(playPath(path), play, path);
  }
});

test('a typed code is four letters in any case, spaces around it ignored', () => {
  for (const [typed, code] of [['kxqf', 'KXQF'], [' KxQf ', 'KXQF'], ['KXQ', null], ['KXQFX', null], ['KX F', null],
    ['', null], [undefined, null], ['12AB', null]]) assert.equal(typedCode(typed), code, String(typed));
});

test('each room keeps its own seat in the same tab', () => {
  const tab = new Map();
  const storage = { getItem: (k) => tab.get(k) ?? null, setItem: (k, v) => tab.set(k, v), removeItem: (k) => tab.delete(k) };
  new Seat(keyedByRoom(storage, 'KXQF'), 'Ann').take({ client_id: 3, reconnect_secret: 's3' });
  new Seat(keyedByRoom(storage, 'BCDF'), 'Ann').take({ client_id: 7, reconnect_secret: 's7' });
  assert.equal(new Seat(keyedByRoom(storage, 'KXQF'), 'Ann').id, 3);
  assert.equal(new Seat(keyedByRoom(storage, 'BCDF'), 'Ann').id, 7);
  assert.equal(keptSeatName(keyedByRoom(storage, 'GHJK')), null);
  assert.equal(keptSeatName(storage), null); // a single host's seat is not a room's
});

test('a refused room is told plainly', () => {
  assert.match(newRoomRefusal(429), /Too many rooms/);
  assert.equal(newRoomRefusal(503), 'All rooms are busy — try again in a minute');
  assert.match(newRoomRefusal(500), /500/);
});
