// The browser client's input rules, which must match the window client's: edges per snapshot,
// one typed key per snapshot in typed order, the letterbox mapping, and the command line; and how
// the tab keeps its seat: the secret kept across reloads, the INPUT that goes on while hidden.
import assert from 'node:assert/strict';
import { mock, test } from 'node:test';
import { CommandLine } from '../src/command_line.js';
import { HIDDEN_INPUT_EVERY_MS, sendWhileHidden } from '../src/connection.js';
import { EventKind, loginMessage } from '../src/protocol.js';
import { Seat } from '../src/seat.js';
import { LONGEST_RETRY_MS, Retrying, retryDelayMs } from '../src/retrying.js';
import { Overlay, chatLineFor, cutUtf8 } from '../src/overlay.js';
import { Key, KeyTracker } from '../src/key_tracker.js';
import { gameKeyFor, togglesCommandLine } from '../src/keys.js';
import { canvasToWorld, fitWorld } from '../src/viewport.js';

const A = 0;
const B = 1;
const origin = { x: 0, y: 0 };

test('a tap within one frame is reported down with both edges, then up', () => {
  let changes = 0; // each one is sent at once, not at the next frame
  const keys = new KeyTracker(() => ++changes);
  keys.down(Key.SPACE);
  assert.equal(changes, 1);
  keys.up(Key.SPACE);
  assert.equal(changes, 2);
  const first = keys.snapshot(origin);
  assert.equal(first.space, true);
  const second = keys.snapshot(origin);
  assert.equal(second.space, false);

  keys.down(Key.BACKSPACE);
  keys.down(Key.BACKSPACE); // auto-repeat is no new press
  keys.up(Key.UP); // nor is letting go of a key that is up
  assert.equal(changes, 3);
  const held = keys.snapshot(origin);
  assert.deepEqual(held.backspace, { is_down: true, just_pressed: true, just_released: false });
  assert.deepEqual(keys.snapshot(origin).backspace, { is_down: true, just_pressed: false, just_released: false });
});

test('letters typed in one frame reach the host one per snapshot, in order', () => {
  const keys = new KeyTracker();
  keys.down(B);
  keys.up(B);
  keys.down(A);
  keys.up(A);
  keys.down(Key.LEFT); // held keys are not typed keys: they ride along with the first letter
  const first = keys.snapshot(origin);
  assert.equal(first.keys[B].just_pressed, true);
  assert.equal(first.keys[A].just_pressed, false);
  const second = keys.snapshot(origin);
  assert.equal(second.keys[B].just_released, false);
  assert.equal(second.keys[A].just_pressed, true);
  assert.equal(second.left, true);
  assert.equal(second.keys.length, 26);
});

test('release all lets every held key go up in the next snapshot', () => {
  const keys = new KeyTracker();
  keys.down(Key.RIGHT);
  keys.down(Key.MOUSE_LEFT);
  keys.snapshot(origin);
  keys.releaseAll();
  const s = keys.snapshot({ x: 3, y: 4 });
  assert.equal(s.right, false);
  assert.equal(s.mouse_left, false);
  assert.equal(s.mouse_x, 3);
});

test('keys map by the typed letter; F1 and the backquote key open the command line', () => {
  assert.equal(gameKeyFor({ key: 'q' }), 16);
  assert.equal(gameKeyFor({ key: 'Q' }), 16);
  assert.equal(gameKeyFor({ key: ' ' }), Key.SPACE);
  assert.equal(gameKeyFor({ key: 'é' }), undefined);
  assert.equal(togglesCommandLine({ key: 'F1', code: 'F1' }), true);
  assert.equal(togglesCommandLine({ key: '`', code: 'Backquote' }), true);
  assert.equal(togglesCommandLine({ key: 'a', code: 'KeyA' }), false);
});

test('the world is letterboxed: bars map outside it, the centre to the centre', () => {
  const wide = fitWorld(2000, 720); // bars left and right
  assert.equal(wide.scale, 1);
  assert.deepEqual(canvasToWorld(wide, 1000, 360), { x: 640, y: 360 });
  assert.ok(canvasToWorld(wide, 10, 10).x < 0);
  const tall = fitWorld(640, 1000); // bars above and below
  assert.equal(tall.scale, 0.5);
  assert.deepEqual(canvasToWorld(tall, 320, 500), { x: 640, y: 360 });
});

test('the command line trims, erases whole characters and stays bounded', () => {
  const line = new CommandLine();
  line.open();
  line.type('  push');
  line.type(' lobby ');
  line.type('Ω');
  line.erase();
  assert.equal(line.submit(), 'push lobby');
  assert.equal(line.isOpen, false);
  line.open();
  line.type('x'.repeat(200));
  line.type('y');
  assert.equal(line.text.length, 200);
});

test('answers are cut between characters and only the last lines stay', () => {
  assert.equal(cutUtf8('ab€', 4), 'ab'); // the euro sign takes three bytes
  assert.equal(cutUtf8('abc', 3), 'abc');
  const overlay = new Overlay();
  overlay.addChat(Array.from({ length: 12 }, (_, i) => `line ${i}`).join('\n'), 0);
  assert.equal(overlay.chat.length, 10);
  assert.equal(overlay.chat[0].text, 'line 2');
  overlay.dropExpired(100);
  assert.equal(overlay.chat.length, 0);
  // A long message stays until it can have been read, all its lines together.
  const story = 'The Overseer was Ann.\nTyping pool: Bob was shot - a HUMAN.\nMetro: Player 4 was shot - a ROBOT.';
  overlay.addChat(story, 0);
  overlay.dropExpired(6);
  assert.equal(overlay.chat.length, 3);
  overlay.dropExpired(2 + story.length / 15);
  assert.equal(overlay.chat.length, 0);
});

class MemoryStorage {
  constructor() { this.items = new Map(); }
  getItem(key) { return this.items.has(key) ? this.items.get(key) : null; }
  setItem(key, value) { this.items.set(key, String(value)); }
}

test('the host\'s news becomes a line naming players, never their ids', () => {
  const cases = [
    [{ kind: EventKind.PLAYER_JOINED, player_id: 7, player_name: 'Ann' }, 'Ann joined'],
    // The host names whoever leaves the lobby itself; an id means nothing to the players.
    [{ kind: EventKind.PLAYER_LEFT, player_id: 7 }, null],
    [{ kind: EventKind.CHAT_MESSAGE, message: 'The Overseer was Bob.' }, 'The Overseer was Bob.'],
    [{ kind: EventKind.PLAY_SOUND, sound_id: 1, volume: 1 }, null],
  ];
  for (const [event, line] of cases) assert.equal(chatLineFor(event), line, JSON.stringify(event));
});

test('the seat and its secret survive a reload of the tab, under the same name only', () => {
  const storage = new MemoryStorage();
  const first = new Seat(storage, 'Ann');
  // Even with nothing to present, the LOGIN says that this client keeps a secret.
  assert.deepEqual(JSON.parse(loginMessage(first.loginFields())),
    { kind: 0, player_name: 'Ann', previous_player_id: 0, reconnect_secret: '' });
  first.take({ kind: 0, client_id: 0, reconnect_secret: 'bad' }); // no seat has id 0
  assert.equal(first.id, 0);
  first.take({ kind: 0, client_id: 4, reconnect_secret: '9f0e' });
  const reloaded = new Seat(storage, 'Ann');
  assert.deepEqual(reloaded.loginFields(), { player_name: 'Ann', previous_player_id: 4, reconnect_secret: '9f0e' });
  assert.equal(new Seat(storage, 'Bob').id, 0);
  // A host that gives no secret leaves an empty one, not the last seat's.
  reloaded.take({ kind: 0, client_id: 6 });
  assert.equal(new Seat(storage, 'Ann').loginFields().reconnect_secret, '');

  storage.setItem('cogwell-seat', '{"name":"Ann","id":"4"');
  assert.equal(new Seat(storage, 'Ann').id, 0);
  const refusing = { getItem() { throw new Error('denied'); }, setItem() { throw new Error('denied'); } };
  const memoryOnly = new Seat(refusing, 'Ann');
  memoryOnly.take({ kind: 0, client_id: 2, reconnect_secret: 'aa' });
  assert.equal(memoryOnly.loginFields().reconnect_secret, 'aa');
  assert.equal(new Seat(null, 'Ann').id, 0);
});

test('a hidden page keeps sending a few times a second, a visible one leaves it to its frames', () => {
  mock.timers.enable({ apis: ['setInterval'] });
  try {
    const doc = new EventTarget();
    doc.hidden = false;
    let sent = 0;
    const stop = sendWhileHidden(doc, () => { sent += 1; });
    mock.timers.tick(1000);
    assert.equal(sent, 0);
    doc.hidden = true;
    doc.dispatchEvent(new Event('visibilitychange'));
    mock.timers.tick(1000);
    assert.equal(sent, 1000 / HIDDEN_INPUT_EVERY_MS);
    assert.ok(HIDDEN_INPUT_EVERY_MS <= 500);
    doc.hidden = false;
    doc.dispatchEvent(new Event('visibilitychange'));
    mock.timers.tick(1000);
    assert.equal(sent, 1000 / HIDDEN_INPUT_EVERY_MS);
    doc.hidden = true;
    doc.dispatchEvent(new Event('visibilitychange'));
    stop();
    mock.timers.tick(1000);
    assert.equal(sent, 1000 / HIDDEN_INPUT_EVERY_MS);
  } finally {
    mock.timers.reset();
  }
});

test('a failed load is tried again, later each time, and at once when Join is pressed again', async () => {
  const waits = [];
  const timers = { setTimeout: (f, ms) => { waits.push({ f, ms }); return waits.length; }, clearTimeout: (id) => { waits[id - 1].f = null; } };
  let attempts = 0;
  const failures = [];
  const loading = new Retrying(async () => {
    if (++attempts < 3) throw new Error(`refused ${attempts}`);
    return 'files';
  }, { timers, random: () => 0.999, failed: (e, ms) => failures.push([e.message, ms]) });
  const flush = () => new Promise((r) => setImmediate(r));
  await flush();
  waits.at(-1).f(); // the retry's time has come
  await flush();
  loading.retryNow(); // Join pressed again: no waiting for the third try
  await flush();
  assert.equal(attempts, 3);
  assert.equal(await loading.result(), 'files');
  assert.deepEqual(failures.map(([m]) => m), ['refused 1', 'refused 2']);
  assert.ok(failures[1][1] > failures[0][1], 'waits longer after each failure');
  assert.equal(waits.length, 2);
  assert.equal(waits[1].f, null, 'the waiting retry was replaced by the one at once');
  assert.ok(retryDelayMs(30, 0.999) <= LONGEST_RETRY_MS && retryDelayMs(30, 0) >= LONGEST_RETRY_MS / 2);
});
