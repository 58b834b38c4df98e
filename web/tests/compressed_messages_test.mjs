// Compressed messages of every size through the real host from an independent client (npm `ws`,
// permessage-deflate on as it comes): several players at once send INPUTs of 1 KB to 1 MiB after
// inflating, each message naming its place in the sequence by the letter it presses. Every one
// must arrive intact and in order (the host prints each pressed letter and never a receive
// error), the host must stay up, and a message one byte over the limit drops only its sender.
// Most players take pictures as changes; the players keep or drop compression context in every
// way the extension allows, and ask for small windows.
//
//   node compressed_messages_test.mjs HOST_BINARY
import { spawn } from 'node:child_process';
import WebSocket from 'ws';
import { freePort } from './browser_support.mjs';

const hostBinary = process.argv[2];
const MAX_MESSAGE = 1048576;
const SIZES = [1000, 2100, 4096, 4500, 9000, 33000, 130000, 300000, 690000, 1000000, MAX_MESSAGE];

function waitFor(check, what, ms, host) {
  return new Promise((resolve, reject) => {
    const end = Date.now() + ms;
    const timer = setInterval(() => {
      const value = check();
      if (value) {
        clearInterval(timer);
        resolve(value);
      } else if (Date.now() > end || host.exited) {
        clearInterval(timer);
        reject(new Error(`${what} not seen within ${ms} ms; host output:\n${host.output.slice(-4000)}`));
      }
    }, 20);
  });
}

// Padding that compresses somewhere between text and noise, different for every player and
// message, so that one connection's bytes turning up in another's would not parse or would press
// the wrong letter.
function padding(length, seed) {
  const words = ['cog', 'well', 'robot', 'typing', 'pool', 'metro', 'door', 'overseer', 'mask', 'gear'];
  let state = seed * 2654435761 >>> 0;
  const parts = [];
  let size = 0;
  while (size <= length) {
    state = (state * 1103515245 + 12345) >>> 0;
    const word = (state & 3) === 0 ? (state >>> 8).toString(36) : words[(state >>> 4) % words.length];
    parts.push(word);
    size += word.length + 1;
  }
  const text = parts.join(' ');
  if (length < 9000) return text.slice(0, length);
  // Larger messages end with 2 KB of letters that first stood 3 KB before, so the sender's
  // compressor refers back further than a small window of the host's would reach.
  let letters = '';
  for (let i = 0; i < 2048; ++i) {
    state = (state * 1103515245 + 12345) >>> 0;
    letters += String.fromCharCode(97 + (state >>> 16) % 26);
  }
  return (text.slice(0, length - 2048 * 2 - 3072) + letters + text.slice(0, 3072) + letters).slice(0, length);
}

// A valid INPUT with letter `index % 26` pressed, padded with a field the host ignores to exactly
// `bytes` bytes.
function paddedInput(index, bytes, seed) {
  const keys = Array.from({ length: 26 }, (_, i) => (i === index % 26 ? { just_pressed: true } : {}));
  const input = { mouse_x: 1.0, mouse_y: 2.0, keys };
  const shell = JSON.stringify({ kind: 1, input, pad: '' });
  const message = shell.replace('"pad":""', `"pad":"${padding(bytes - shell.length, seed)}"`);
  if (message.length !== bytes) throw new Error(`built ${message.length} bytes, meant ${bytes}`);
  return message;
}

// Most players take pictures as changes, which the host compresses itself, apart from the
// library's inflater of what the player sends; the players ask for each side's context to be kept
// or dropped in each of the ways the extension allows, and for windows down to the smallest.
const SETUPS = [
  { changes: true, deflate: {} },
  { changes: false, deflate: { serverNoContextTakeover: true } },
  { changes: true, deflate: { clientNoContextTakeover: true } },
  { changes: false, deflate: { serverNoContextTakeover: true, clientNoContextTakeover: true } },
  { changes: true, deflate: { serverNoContextTakeover: true, serverMaxWindowBits: 9 } },
  { changes: true, deflate: { serverMaxWindowBits: 8, clientNoContextTakeover: true } },
];
const PLAYERS = SETUPS.length;
function connect(port, index) {
  const setup = SETUPS[index % SETUPS.length];
  return new Promise((resolve, reject) => {
    const socket = new WebSocket(`ws://127.0.0.1:${port}/play`, setup.changes ? ['cogwell.delta'] : [],
      { perMessageDeflate: setup.deflate });
    socket.on('error', (e) => { socket.failed = e; });
    socket.closedByHost = false;
    socket.on('close', () => { socket.closedByHost = true; });
    socket.on('message', () => { socket.pictures = (socket.pictures || 0) + 1; });
    socket.once('open', () => resolve(socket));
    socket.once('error', reject);
  });
}

function pressedLetters(output, id) {
  const pattern = new RegExp(`Player ${id} received key: ([A-Z])`, 'g');
  return [...output.matchAll(pattern)].map((m) => m[1]).join('');
}

async function main() {
  const [port, webPort] = [await freePort(), await freePort()];
  const env = { ...process.env };
  delete env.DISPLAY;
  delete env.WAYLAND_DISPLAY;
  const host = spawn(hostBinary, ['--port', String(port), '--web-port', String(webPort)], { env });
  host.output = '';
  host.stdout.on('data', (d) => { host.output += d; });
  host.stderr.on('data', (d) => { host.output += d; });
  host.on('exit', (code, signal) => { host.exited = `exit ${code} signal ${signal}`; });
  const sockets = [];
  try {
    await waitFor(() => /Web client on http/.test(host.output), 'the web endpoint', 10000, host);
    const names = Array.from({ length: PLAYERS + 1 }, (_, i) => `Deflate${i}`);
    const ids = [];
    for (const [index, name] of names.entries()) {
      const socket = await connect(webPort, index);
      sockets.push(socket);
      if (!socket.extensions.includes('permessage-deflate')) throw new Error('permessage-deflate was not agreed');
      socket.send(JSON.stringify({ kind: 0, player_name: name }));
      const match = await waitFor(() => host.output.match(new RegExp(`Player (\\d+) \\(${name}\\) joined`)),
        `${name} joining`, 10000, host);
      ids.push(match[1]);
    }
    const honest = sockets.slice(0, PLAYERS);
    const oversized = sockets[PLAYERS];

    // Every player sends its whole sequence at once, one message per 16 ms, while the last one
    // sends a message one byte over the limit in the middle of it all.
    const expected = SIZES.map((_, i) => String.fromCharCode(65 + (i % 26))).join('');
    const sends = honest.map(async (socket, p) => {
      for (let i = 0; i < SIZES.length; ++i) {
        socket.send(paddedInput(i, SIZES[i], p * 100 + i));
        await new Promise((r) => setTimeout(r, 16));
      }
    });
    oversized.send(paddedInput(0, MAX_MESSAGE + 1, 999));
    await Promise.all(sends);

    for (let p = 0; p < PLAYERS; ++p) {
      await waitFor(() => pressedLetters(host.output, ids[p]).length >= expected.length,
        `all of player ${ids[p]}'s messages`, 30000, host);
      const got = pressedLetters(host.output, ids[p]);
      if (got !== expected) throw new Error(`player ${ids[p]} pressed ${got}, sent ${expected}`);
    }
    await waitFor(() => oversized.closedByHost, 'the oversized sender dropped', 10000, host);
    if (!host.output.includes(`Receive error from ${ids[PLAYERS]}: MessageTooLarge`))
      throw new Error(`no MessageTooLarge line for ${ids[PLAYERS]}:\n${host.output.slice(-3000)}`);
    const receiveErrors = host.output.match(/Receive error from (\d+)/g) || [];
    if (receiveErrors.length !== 1) throw new Error(`receive errors: ${receiveErrors.join(', ')}`);

    // The honest players are still seated and still get pictures.
    const before = honest.map((s) => s.pictures || 0);
    await new Promise((r) => setTimeout(r, 500));
    honest.forEach((s, p) => {
      if (s.failed) throw new Error(`player ${ids[p]} could not read the host: ${s.failed.message}`);
      if (s.closedByHost) throw new Error(`player ${ids[p]} was disconnected`);
      if ((s.pictures || 0) - before[p] < 5) throw new Error(`player ${ids[p]} gets no pictures`);
    });
    if (host.exited) throw new Error(`host died: ${host.exited}\n${host.output.slice(-3000)}`);
    console.log(`ok: ${PLAYERS} players x ${SIZES.length} compressed messages of ${SIZES[0]} to ${MAX_MESSAGE} bytes`);
  } finally {
    for (const s of sockets) s.terminate();
    host.kill('SIGTERM');
  }
}

main().catch((e) => {
  console.error(e);
  process.exit(1);
});
