// The page's time per frame on the typing pool's pictures, in headless Chromium against a running
// host: the time spent parsing and applying each picture message and drawing each frame, read
// from the page's own performance.now() counters, once with whole pictures (?changes=off) and
// once with changes. The other players are `web_load`'s, over TCP.
//
//   node bench/browser_frame_time.mjs HOST_BINARY WEB_LOAD_BINARY CHROMIUM [PLAYERS] [SECONDS]
import { spawn } from 'node:child_process';
import { createRequire } from 'node:module';
import net from 'node:net';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const puppeteer = createRequire(path.join(here, '../web/package.json'))('puppeteer-core');
const [hostBinary, loadBinary, chromium, players = '9', seconds = '5'] = process.argv.slice(2);
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

function freePort() {
  return new Promise((resolve) => {
    const server = net.createServer();
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

async function measure(browser, query) {
  const [port, webPort] = [await freePort(), await freePort()];
  const host = spawn(hostBinary, ['--port', String(port), '--web-port', String(webPort)], { stdio: 'ignore' });
  await sleep(1000);
  const page = await browser.newPage();
  await page.goto(`http://127.0.0.1:${webPort}/${query}`, { waitUntil: 'load' });
  await page.type('#name', 'Web');
  await page.click('#join-button');
  await sleep(1000);
  const others = Number(players) - 1;
  const load = spawn(loadBinary, [String(port), String(webPort), String(others), String(Number(seconds) + 10),
    '--transport', 'tcp', '--push', 'typewriter'], { stdio: 'ignore' });
  await sleep(4000);
  await page.evaluate(() => Object.assign(window.cogwellTiming, { messages: 0, messageMs: 0, draws: 0, drawMs: 0 }));
  await sleep(Number(seconds) * 1000);
  const t = await page.evaluate(() => ({ ...window.cogwellTiming }));
  load.kill('SIGTERM');
  host.kill('SIGTERM');
  await page.close();
  return t;
}

const browser = await puppeteer.launch({
  executablePath: chromium,
  headless: true,
  args: ['--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage', '--window-size=1280,720'],
  defaultViewport: { width: 1280, height: 720 },
});
try {
  for (const [name, query] of [['whole pictures', '?changes=off'], ['changes', '']]) {
    const t = await measure(browser, query);
    const parse = t.messageMs / Math.max(t.messages, 1);
    const draw = t.drawMs / Math.max(t.draws, 1);
    console.log(`${name}: ${t.messages} pictures, parse+apply ${parse.toFixed(3)} ms each; ${t.draws} frames, ` +
      `draw ${draw.toFixed(3)} ms each; per frame ${(parse * t.messages / Math.max(t.draws, 1) + draw).toFixed(3)} ms`);
  }
} finally {
  await browser.close();
}
