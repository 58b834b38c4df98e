// Hostile browsers against a running host's web endpoint, measured from honest players on another
// loopback address: how many of them log in and how many pictures a second each receives (and the
// longest gap) while the attack runs. Uses npm's `ws` client from web/node_modules.
//
//   node bench/web_abuse.mjs <web_port> <scenario> [seconds] [attackers]
//
// Scenarios: none; padded (INPUTs padded to 4 KB every 16 ms, permessage-deflate on);
// large (1 MiB compressed INPUTs, one a second each); held (sockets from one address holding
// unfinished requests, dribbling header lines and reopened when closed); silent (WebSockets that
// never log in, reopened when closed).
import { createRequire } from 'node:module';
import net from 'node:net';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const require = createRequire(path.join(path.dirname(fileURLToPath(import.meta.url)), '../web/package.json'));
const WebSocket = require('ws');

const [port, scenario = 'none', secondsText = '10', attackersText = '4'] = process.argv.slice(2);
const seconds = Number(secondsText);
const attackers = Number(attackersText);
const HONEST = 4;

function paddedInput(bytes, seed) {
  let pad = '';
  let state = seed;
  while (pad.length < bytes) {
    state = (state * 1103515245 + 12345) >>> 0;
    pad += (state & 3) === 0 ? (state >>> 8).toString(36) + ' ' : 'robot ';
  }
  return `{"kind":1,"input":{"mouse_x":${seed % 1280}},"pad":"${pad.slice(0, bytes - 50)}"}`;
}

// Every message compressed, as browsers do (npm's client leaves small ones alone by default).
function player(name, source, onOpen) {
  const socket = new WebSocket(`ws://127.0.0.1:${port}/play`, { localAddress: source, perMessageDeflate: { threshold: 0 } });
  socket.stats = { pictures: 0, last: 0, gap: 0, joined: false, closed: false };
  socket.on('message', () => {
    const now = Date.now();
    if (socket.stats.last) socket.stats.gap = Math.max(socket.stats.gap, now - socket.stats.last);
    socket.stats.last = now;
    socket.stats.pictures++;
    socket.stats.joined = true;
  });
  socket.on('error', () => {});
  socket.on('close', () => { socket.stats.closed = true; });
  socket.on('open', () => {
    socket.send(JSON.stringify({ kind: 0, player_name: name }));
    if (onOpen) onOpen(socket);
  });
  return socket;
}

function every(ms, socket, send) {
  const timer = setInterval(() => {
    if (socket.readyState !== WebSocket.OPEN) return clearInterval(timer);
    send();
  }, ms);
}

const attack = [];
let stop = false;
function holdRequest() {
  if (stop) return;
  const socket = net.connect({ port: Number(port), host: '127.0.0.1', localAddress: '127.0.0.1' });
  socket.on('error', () => {});
  socket.on('close', () => setTimeout(holdRequest, 10));
  socket.write('GET / HTTP/1.1\r\n');
  const timer = setInterval(() => (socket.destroyed ? clearInterval(timer) : socket.write('X-A: b\r\n')), 500);
  attack.push(socket);
}
function silentSocket() {
  if (stop) return;
  const socket = new WebSocket(`ws://127.0.0.1:${port}/play`, { localAddress: '127.0.0.1' });
  socket.on('error', () => {});
  socket.on('close', () => setTimeout(silentSocket, 10));
  attack.push(socket);
}

for (let i = 0; i < attackers; ++i) {
  if (scenario === 'padded') attack.push(player(`Pad${i}`, '127.0.0.1', (s) => every(16, s, () => s.send(paddedInput(4096, Date.now() + i)))));
  // Built once: making a 1 MiB text each second would stall this process's honest players too.
  if (scenario === 'large') {
    const big = paddedInput(1048576, i + 1);
    attack.push(player(`Big${i}`, '127.0.0.1', (s) => every(1000, s, () => s.send(big))));
  }
  if (scenario === 'held') holdRequest();
  if (scenario === 'silent') silentSocket();
}
await new Promise((r) => setTimeout(r, 1000));
const honest = Array.from({ length: HONEST }, (_, i) =>
  player(`Honest${i}`, '127.0.0.2', (s) => every(16, s, () => s.send('{"kind":1,"input":{"mouse_x":1}}'))));
await new Promise((r) => setTimeout(r, seconds * 1000));
stop = true;
const joined = honest.filter((s) => s.stats.joined).length;
const rate = honest.reduce((sum, s) => sum + s.stats.pictures, 0) / HONEST / seconds;
const gap = Math.max(...honest.map((s) => s.stats.gap));
const attackersLeft = attack.filter((s) => s.stats && !s.stats.closed).length;
console.log(JSON.stringify({ scenario, attackers, honest_joined: `${joined}/${HONEST}`,
  honest_pictures_per_s: Number(rate.toFixed(1)), honest_longest_gap_ms: gap,
  attackers_still_connected: attackersLeft }));
for (const s of [...attack, ...honest]) (s.terminate ? s.terminate() : s.destroy());
process.exit(0);
