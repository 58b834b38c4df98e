// What the browser tests share: free ports, the host as a child process, waiting on its log, and
// a player over the plain game port.
import { spawn } from 'node:child_process';
import net from 'node:net';

export function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
    server.on('error', reject);
  });
}

// The host with these arguments, headless, its output gathered in `host.output`.
export function startHost(hostBinary, args) {
  const env = { ...process.env };
  delete env.DISPLAY;
  delete env.WAYLAND_DISPLAY;
  const host = spawn(hostBinary, args, { env });
  host.output = '';
  host.stdout.on('data', (d) => { host.output += d; });
  host.stderr.on('data', (d) => { host.output += d; });
  return host;
}

// Resolves with the first match of `pattern` in the host's output from offset `from` on, rejects
// after `ms`.
export function waitForLine(host, pattern, ms, from = 0) {
  return new Promise((resolve, reject) => {
    const check = () => {
      const match = host.output.slice(from).match(pattern);
      if (!match) return false;
      clearInterval(timer);
      clearTimeout(timeout);
      resolve(match);
      return true;
    };
    const timer = setInterval(check, 50);
    const timeout = setTimeout(() => {
      clearInterval(timer);
      reject(new Error(`no line matching ${pattern} within ${ms} ms; host output:\n${host.output.slice(-3000)}`));
    }, ms);
    check();
  });
}

export const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// A player over the plain game port: length-prefixed JSON both ways; keeps the newest picture.
export function tcpPlayer(port, name) {
  const socket = net.connect(port, '127.0.0.1');
  const player = { socket, picture: [] };
  let pending = Buffer.alloc(0);
  const send = (message) => {
    const body = Buffer.from(JSON.stringify(message));
    const header = Buffer.alloc(4);
    header.writeUInt32BE(body.length);
    socket.write(Buffer.concat([header, body]));
  };
  socket.on('connect', () => send({ kind: 0, player_name: name, previous_player_id: 0 }));
  socket.on('data', (data) => {
    pending = Buffer.concat([pending, data]);
    while (pending.length >= 4 && pending.length >= 4 + pending.readUInt32BE(0)) {
      const message = JSON.parse(pending.subarray(4, 4 + pending.readUInt32BE(0)).toString());
      pending = pending.subarray(4 + pending.readUInt32BE(0));
      if (message.kind === 1) player.picture = message.commands;
    }
  });
  player.command = (line) => send({ kind: 3, settings_command: line });
  return player;
}
