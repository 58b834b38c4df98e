// What the browser client costs a phone in the typing pool: an emulated phone (844 x 390 at three
// device pixels per CSS pixel, touch) with its CPU slowed four times, joined to a real host, in the
// typing pool for SECONDS. Prints the page's work per animation frame (the frame callback: input,
// picture, overlay), the frames it managed per second, the main thread's busy share, and the bytes
// per second it received on the wire (counted by a relay between the browser and the host) and
// after decompression.
//
//   node bench/phone_page.mjs HOST_BINARY CHROMIUM [SECONDS] [--tls CERT KEY] [--others N] [--dpr R]
// --others: that many more players over TCP, so the typing pool draws a fuller table (default 8);
// --dpr: device pixels per CSS pixel (default 3, as most phones).
// The host must have its browser client beside it (any build of cogwell-host does).
import net from 'node:net';
import { createRequire } from 'node:module';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { freePort, sleep, startHost, tcpPlayer, waitForLine } from '../web/tests/browser_support.mjs';

const require = createRequire(path.join(path.dirname(fileURLToPath(import.meta.url)), '../web/package.json'));
const { default: puppeteer, KnownDevices } = await import(require.resolve('puppeteer-core'));

const args = process.argv.slice(2);
const [hostBinary, chromium] = args;
const seconds = Number(args[2] && !args[2].startsWith('--') ? args[2] : 20);
const tlsAt = args.indexOf('--tls');
const tls = tlsAt >= 0 ? { certificate: args[tlsAt + 1], key: args[tlsAt + 2] } : null;
const option = (name, fallback) => (args.includes(name) ? Number(args[args.indexOf(name) + 1]) : fallback);
const others = option('--others', 8);
const dpr = option('--dpr', 3);

// Bytes from the host to the browser, as they cross the wire (TLS records included).
function relay(listenPort, targetPort, counter) {
  const server = net.createServer((inbound) => {
    const outbound = net.connect(targetPort, '127.0.0.1');
    outbound.on('data', (d) => { counter.down += d.length; });
    inbound.pipe(outbound);
    outbound.pipe(inbound);
    inbound.on('error', () => outbound.destroy());
    outbound.on('error', () => inbound.destroy());
  });
  server.listen(listenPort, '127.0.0.1');
  return server;
}

function percentile(sorted, p) {
  return sorted[Math.min(sorted.length - 1, Math.floor((p / 100) * sorted.length))];
}

const [port, webPort, relayPort] = [await freePort(), await freePort(), await freePort()];
const hostArgs = ['--port', String(port), '--web-port', String(webPort)];
if (tls) hostArgs.push('--tls-cert', tls.certificate, '--tls-key', tls.key);
const host = startHost(hostBinary, hostArgs);
const counter = { down: 0 };
const server = relay(relayPort, webPort, counter);
let browser;
try {
  await waitForLine(host, /Web client on http/, 10000);
  browser = await puppeteer.launch({ executablePath: chromium, headless: true, acceptInsecureCerts: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage'] });
  const page = await browser.newPage();
  const phone = KnownDevices['iPhone 13 landscape'];
  await page.emulate({ ...phone, viewport: { ...phone.viewport, deviceScaleFactor: dpr } });
  await page.evaluateOnNewDocument(() => {
    // Each animation frame callback timed; the page has one, the game's frame.
    window.frameMs = [];
    const request = window.requestAnimationFrame.bind(window);
    window.requestAnimationFrame = (callback) => request((t) => {
      const start = performance.now();
      callback(t);
      window.frameMs.push(performance.now() - start);
    });
    const Native = window.WebSocket;
    window.WebSocket = class extends Native {
      constructor(...a) {
        super(...a);
        window.gameSocket = this;
      }
    };
  });
  await page.goto(`${tls ? 'https' : 'http'}://127.0.0.1:${relayPort}/`, { waitUntil: 'load' });
  await page.tap('#name');
  await page.keyboard.type('Phone');
  await page.tap('#join-button');
  await waitForLine(host, /\(Phone\) joined/, 15000);
  const tcp = Array.from({ length: others }, (_, i) => tcpPlayer(port, `Tcp${i + 1}`));
  const cdp = await page.createCDPSession();
  let decoded = 0;
  await cdp.send('Network.enable');
  cdp.on('Network.webSocketFrameReceived', (e) => { decoded += Buffer.byteLength(e.response.payloadData); });
  await page.evaluate(() => window.gameSocket.send(JSON.stringify({ kind: 3, settings_command: 'push typewriter' })));
  await waitForLine(host, /Pushing screen: TYPEWRITER/, 5000);
  await sleep(3000);
  await cdp.send('Emulation.setCPUThrottlingRate', { rate: 4 });
  await sleep(1000);
  await cdp.send('Performance.enable');
  const metric = async (name) => (await cdp.send('Performance.getMetrics')).metrics.find((m) => m.name === name).value;
  const [wire0, decoded0, task0] = [counter.down, decoded, await metric('TaskDuration')];
  await page.evaluate(() => { window.frameMs = []; });
  await sleep(seconds * 1000);
  const frames = (await page.evaluate(() => window.frameMs)).sort((a, b) => a - b);
  const task = (await metric('TaskDuration')) - task0;
  const wire = counter.down - wire0;
  const body = decoded - decoded0;
  for (const player of tcp) player.socket.destroy();
  console.log(`phone 844x390 @${dpr}x, CPU throttled 4x, typing pool with ${others + 1} players, ${seconds} s, ${tls ? 'wss' : 'ws'}:`);
  console.log(`  frame callback: median ${percentile(frames, 50).toFixed(2)} ms, p95 ${percentile(frames, 95).toFixed(2)} ms, ` +
              `max ${frames.at(-1).toFixed(2)} ms; ${(frames.length / seconds).toFixed(1)} frames/s`);
  console.log(`  main thread busy ${(100 * task / seconds).toFixed(1)} % (${((1000 * task) / Math.max(frames.length, 1)).toFixed(2)} ms per frame)`);
  console.log(`  received ${(wire / seconds / 1024).toFixed(1)} KiB/s on the wire, ${(body / seconds / 1024).toFixed(1)} KiB/s decompressed ` +
              `(${(body / Math.max(wire, 1)).toFixed(1)}x)`);
} finally {
  if (browser) await browser.close();
  server.close();
  host.kill('SIGTERM');
}
