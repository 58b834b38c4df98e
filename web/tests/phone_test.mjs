// The browser client on an emulated phone (touch, 390 x 844, rotated later) against the real host
// serving its web port over TLS with a certificate made here: the page loads over https and joins
// over wss, a plain TCP player sees the phone's player in the lobby rows, the on-screen SPACE gets
// it READY, a held on-screen arrow stays held, a finger drags the aim without clicking, letters
// typed on the device keyboard's field reach the host and its picture (as the TCP player sees
// it), and as the Overseer a tap on a figure shoots it; the keys and the game take their touches
// at once; the screen is kept awake meanwhile. On landscape phones of two sizes every text of the
// lobby and the typing pool is readable, and the on-screen "?" opens the rules.
// Screenshots of both orientations are left in OUT_DIR.
//
//   node phone_test.mjs HOST_BINARY CHROMIUM OUT_DIR
import { execFileSync } from 'node:child_process';
import { mkdirSync } from 'node:fs';
import path from 'node:path';
import puppeteer, { KnownDevices } from 'puppeteer-core';
import { freePort, sleep, startHost, tcpPlayer, waitForLine } from './browser_support.mjs';

const [hostBinary, chromium, outDir] = process.argv.slice(2);
const FIRST_FIGURE = { x: 230, y: 250 }; // the centre of the typing pool's first cell, world units

function makeCertificate(dir) {
  const certificate = path.join(dir, 'cert.pem');
  const key = path.join(dir, 'key.pem');
  execFileSync('openssl', ['req', '-x509', '-newkey', 'ec', '-pkeyopt', 'ec_paramgen_curve:prime256v1', '-nodes',
    '-days', '1', '-subj', '/CN=localhost', '-addext', 'subjectAltName=DNS:localhost,IP:127.0.0.1',
    '-keyout', key, '-out', certificate], { stdio: 'ignore' });
  return { certificate, key };
}

async function waitFor(what, test, ms) {
  const end = Date.now() + ms;
  while (Date.now() < end) {
    if (await test()) return;
    await sleep(100);
  }
  throw new Error(`${what}: not within ${ms} ms`);
}

// The page's sockets, the inputs it sent and the screen wake locks it took, kept for the test.
function watchSockets() {
  window.wakeLocks = [];
  const requestLock = navigator.wakeLock.request.bind(navigator.wakeLock);
  navigator.wakeLock.request = async (type) => {
    const lock = await requestLock(type);
    window.wakeLocks.push(lock);
    return lock;
  };
  // Where each touch started and whether the page took it (a touch start not taken holds back
  // the host's pictures while the browser waits to see whether it becomes a scroll).
  window.touchStarts = [];
  document.addEventListener('touchstart', (e) => {
    window.touchStarts.push(`${e.target.getAttribute('aria-label') ?? e.target.id} ${e.defaultPrevented ? 'taken' : 'left'}`);
  }, { passive: true });
  const Native = window.WebSocket;
  window.openedSockets = [];
  window.sentInputs = [];
  window.WebSocket = class extends Native {
    // Opened as the page asks (pictures as changes): the test reads pictures from the TCP player.
    constructor(...args) {
      super(...args);
      window.openedSockets.push(this);
    }
    send(text) {
      const message = JSON.parse(text);
      if (message.kind === 1) window.sentInputs.push(message.input);
      super.send(text);
    }
  };
}

// The size of every text the game draws, in CSS pixels, through the canvas's transform and ratio.
function watchTexts() {
  window.textSizes = [];
  const fill = CanvasRenderingContext2D.prototype.fillText;
  CanvasRenderingContext2D.prototype.fillText = function (text, ...rest) {
    const ratio = this.canvas.width / Math.max(this.canvas.clientWidth, 1);
    window.textSizes.push([(parseFloat(this.font) * this.getTransform().a) / ratio, text]);
    return fill.call(this, text, ...rest);
  };
}

// Every text of the picture on a landscape phone of each size is big enough to read. The iPhone 13
// (844 x 390) is left emulated.
async function textsReadable(page, where) {
  for (const device of ['iPhone 8 landscape', 'iPhone 13 landscape']) {
    await page.emulate(KnownDevices[device]);
    await sleep(300);
    await page.evaluate(() => { window.textSizes = []; });
    await sleep(300);
    const sizes = await page.evaluate(() => window.textSizes);
    const small = sizes.filter(([px]) => px < 10.99).map(([px, text]) => `"${text}" ${px.toFixed(1)} px`);
    if (sizes.length === 0 || small.length > 0) throw new Error(`${where} on ${device}: texts too small: ${small.slice(0, 5).join(', ')}`);
  }
}

// A world point on the page, in CSS pixels, through the canvas's place and its letterbox.
function worldToPage(page, x, y) {
  return page.evaluate(([wx, wy]) => {
    const r = document.getElementById('game').getBoundingClientRect();
    const scale = Math.min(r.width / 1280, r.height / 720);
    return { x: r.left + (r.width - 1280 * scale) / 2 + wx * scale, y: r.top + (r.height - 720 * scale) / 2 + wy * scale };
  }, [x, y]);
}

// Each control's rectangle must lie outside the game's picture.
async function controlsBesideTheGame(page) {
  const overlaps = await page.evaluate(() => {
    const r = document.getElementById('game').getBoundingClientRect();
    const scale = Math.min(r.width / 1280, r.height / 720);
    const game = { left: r.left + (r.width - 1280 * scale) / 2, top: r.top + (r.height - 720 * scale) / 2 };
    game.right = game.left + 1280 * scale;
    game.bottom = game.top + 720 * scale;
    return [...document.querySelectorAll('#touch-controls button')].filter((b) => !b.hidden).map((b) => {
      const c = b.getBoundingClientRect();
      const apart = c.right <= game.left + 0.5 || c.left >= game.right - 0.5 || c.bottom <= game.top + 0.5 || c.top >= game.bottom - 0.5;
      return apart && c.width >= 40 && c.height >= 40 ? null : `${b.getAttribute('aria-label')} ${c.width}x${c.height}`;
    }).filter(Boolean);
  });
  if (overlaps.length > 0) throw new Error(`controls over the game or too small: ${overlaps.join(', ')}`);
}

const texts = (picture) => picture.filter((c) => c.kind === 1).map((c) => c.text);

// The single letters of one text box, left to right, as the typing pool draws them.
function typedLetters(picture) {
  const rows = new Map();
  for (const c of picture) {
    if (c.kind !== 1 || c.font_size !== 24 || !/^[A-Za-z]$/.test(c.text)) continue;
    const row = rows.get(c.y) ?? [];
    row.push(c);
    rows.set(c.y, row);
  }
  return [...rows.values()].map((row) => row.sort((a, b) => a.x - b.x).map((c) => c.text).join('').toUpperCase());
}

async function main() {
  mkdirSync(outDir, { recursive: true });
  const { certificate, key } = makeCertificate(outDir);
  const [port, webPort] = [await freePort(), await freePort()];
  const host = startHost(hostBinary, ['--port', String(port), '--web-port', String(webPort), '--tls-cert', certificate,
    '--tls-key', key]);
  let browser;
  let tcp;
  try {
    await waitForLine(host, /Web client on https:/, 10000);
    browser = await puppeteer.launch({
      executablePath: chromium, headless: true, acceptInsecureCerts: true,
      args: ['--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage', '--autoplay-policy=no-user-gesture-required'],
    });
    const page = await browser.newPage();
    const pageErrors = [];
    page.on('pageerror', (e) => pageErrors.push(String(e)));
    await page.emulate(KnownDevices['iPhone 13']);
    await page.evaluateOnNewDocument(watchSockets);
    await page.evaluateOnNewDocument(watchTexts);
    await page.goto(`https://127.0.0.1:${webPort}/`, { waitUntil: 'load' });
    if (!(await page.$eval('#touch-setting', (box) => box.checked))) throw new Error('on-screen keys are not on by themselves on a touch screen');
    await page.tap('#name');
    await page.keyboard.type('Phone');
    await page.tap('#join-button');
    const [, id] = await waitForLine(host, /Player (\d+) \(Phone\) joined/, 15000);
    const url = await page.evaluate(() => window.openedSockets[0].url);
    if (!url.startsWith('wss://')) throw new Error(`the page opened ${url}`);
    await waitFor('a screen wake lock while the game runs',
      () => page.evaluate(() => window.wakeLocks.length === 1 && !window.wakeLocks[0].released), 5000);

    tcp = tcpPlayer(port, 'Tcp');
    await waitForLine(host, /Player \d+ \(Tcp\) joined/, 5000);
    await waitFor('the TCP player sees Phone in the lobby', () => texts(tcp.picture).some((t) => t.includes('Phone')), 5000);
    await controlsBesideTheGame(page);
    await page.screenshot({ path: path.join(outDir, 'phone_portrait.png') });

    // The lobby takes keys after its input delay; tap until the host has it.
    const ready = new RegExp(`Player ${id} marked READY`);
    await waitFor('READY from the on-screen SPACE', async () => {
      if (ready.test(host.output)) return true;
      await page.tap('[aria-label="Space"]');
      return false;
    }, 15000);

    await textsReadable(page, 'the lobby');
    await controlsBesideTheGame(page);
    await page.tap('#touch-controls [aria-label="How to play"]');
    if (await page.$eval('#rules', (panel) => panel.hidden)) throw new Error('the on-screen "?" did not open the rules');
    await page.screenshot({ path: path.join(outDir, 'phone_rules.png') });
    await page.tap('#rules-close');
    await page.screenshot({ path: path.join(outDir, 'phone_landscape.png') });

    // A finger resting on Right holds it frame after frame; lifting lets go.
    const right = await (await page.$('[aria-label="Right"]')).boundingBox();
    await page.touchscreen.touchStart(right.x + right.width / 2, right.y + right.height / 2);
    await sleep(400);
    const held = await page.evaluate(() => window.sentInputs.slice(-10).every((input) => input.right));
    await page.touchscreen.touchEnd();
    await sleep(200);
    const released = await page.evaluate(() => !window.sentInputs.at(-1).right);
    if (!held || !released) throw new Error(`the on-screen Right was not held while touched (held ${held}, released ${released})`);

    // A finger dragged over the game aims without clicking.
    const from = await worldToPage(page, 300, 300);
    const to = await worldToPage(page, 900, 500);
    const clicksBefore = await page.evaluate(() => window.sentInputs.filter((i) => i.mouse_left).length);
    await page.touchscreen.touchStart(from.x, from.y);
    await page.touchscreen.touchMove(to.x, to.y);
    await sleep(200);
    const aim = await page.evaluate(() => window.sentInputs.at(-1));
    await page.touchscreen.touchEnd();
    await sleep(200);
    const clicksAfter = await page.evaluate(() => window.sentInputs.filter((i) => i.mouse_left).length);
    if (Math.abs(aim.mouse_x - 900) > 4 || Math.abs(aim.mouse_y - 500) > 4 || clicksAfter !== clicksBefore)
      throw new Error(`a drag aimed at ${aim.mouse_x},${aim.mouse_y} and clicked ${clicksAfter - clicksBefore} times`);

    // The typing pool: letters from the device keyboard's field, as a keyboard app sends them.
    tcp.command('push typewriter');
    await waitForLine(host, /Pushing screen: TYPEWRITER/, 5000);
    await page.tap('[aria-label="Keyboard"]');
    if (!(await page.evaluate(() => document.activeElement?.id === 'type-field'))) throw new Error('the Keyboard button did not focus the field');
    await sleep(2500);
    for (const ch of 'qwe') await page.keyboard.sendCharacter(ch);
    // Read from the picture, in order: the host's console withholds a typist's lines past its share.
    await waitFor('the typed letters in the picture', () => typedLetters(tcp.picture).some((row) => row.includes('QWE')), 5000);
    await page.screenshot({ path: path.join(outDir, 'phone_typing_pool.png') });
    await textsReadable(page, 'the typing pool');

    // The Overseer: a tap on the first figure, once the briefing lets the gun fire.
    await page.evaluate(() => window.openedSockets.at(-1).send(JSON.stringify({ kind: 3, settings_command: 'role cop' })));
    // Taken in order before any later input; the console may withhold its line (the typist's share).
    await waitForLine(host, /COP intro complete/, 30000);
    const target = await worldToPage(page, FIRST_FIGURE.x, FIRST_FIGURE.y);
    await page.touchscreen.tap(target.x, target.y);
    await waitFor('the shot\'s verdict', () => texts(tcp.picture).some((t) => /^It was a (ROBOT|HUMAN)!$/.test(t)), 10000);
    // The keys' and the game's touches are taken at once; the Keyboard button's is left for its click.
    const touches = new Set(await page.evaluate(() => window.touchStarts));
    for (const where of ['Space', 'Right', 'game']) {
      if (!touches.has(`${where} taken`) || touches.has(`${where} left`)) throw new Error(`touches: ${[...touches].join(', ')}`);
    }
    await page.screenshot({ path: path.join(outDir, 'phone_shot.png') });
    if (pageErrors.length > 0) throw new Error(`errors in the page: ${pageErrors.join('; ')}`);
    console.log(`phone test passed: player ${id} joined over wss, got READY, held a key, aimed, typed and shot`);
  } finally {
    tcp?.socket.destroy();
    if (browser) await browser.close();
    host.kill('SIGTERM');
  }
}

main().then(() => process.exit(0), (error) => {
  console.error(`phone test failed: ${error.message}`);
  process.exit(1);
});
