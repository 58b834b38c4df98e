// What the browser tests share: free ports, the host as a child process and waiting on its log.
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

// Resolves with the first match of `pattern` in the host's output, rejects after `ms`.
export function waitForLine(host, pattern, ms) {
  return new Promise((resolve, reject) => {
    const check = () => {
      const match = host.output.match(pattern);
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
