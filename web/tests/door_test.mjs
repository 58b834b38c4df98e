// The page as the real door serves it, in a real Chromium: one tab makes a room and shows its code
// and a QR code that decodes to the room's link; a phone opening that link gets the room's join
// form, and the two players see each other in the lobby; a reload rejoins the same room's seat; a
// third tab's new room holds neither; an unknown code, typed in small letters, says "No room";
// with every room taken, New room says so. In the lobby the share panel never covers the game's
// picture: in the letterbox when it fits, folded to a button otherwise. Copy link copies the link,
// or selects it where the page has no clipboard.
//
//   node door_test.mjs DOOR_BINARY HOST_BINARY WEB_ROOT CHROMIUM OUT_DIR
import { execFileSync } from 'node:child_process';
import { mkdirSync } from 'node:fs';
import path from 'node:path';
import jsQR from 'jsqr';
import puppeteer from 'puppeteer-core';
import { startHost, waitForLine } from './browser_support.mjs';

const [doorBinary, hostBinary, webRoot, chromium, outDir] = process.argv.slice(2);
const LOBBY_BACKGROUND = [20, 20, 30];
const ROW_IDLE = [40, 40, 60];
// Generous: a loaded machine may take many seconds for what is otherwise at once.
const WAIT_MS = 30000;
const PHONE = { width: 844, height: 390, deviceScaleFactor: 2, isMobile: true, hasTouch: true, isLandscape: true };

function worldPixel(page, x, y) {
  return page.evaluate(([wx, wy]) => {
    const canvas = document.getElementById('game');
    const scale = Math.min(canvas.width / 1280, canvas.height / 720);
    const px = Math.round((canvas.width - 1280 * scale) / 2 + wx * scale);
    const py = Math.round((canvas.height - 720 * scale) / 2 + wy * scale);
    return Array.from(canvas.getContext('2d').getImageData(px, py, 1, 1).data.slice(0, 3));
  }, [x, y]);
}

const near = (actual, expected) => actual.every((v, i) => Math.abs(v - expected[i]) <= 3);

async function waitForPixel(page, x, y, expected, ms) {
  const end = Date.now() + ms;
  let seen;
  while (Date.now() < end) {
    seen = await worldPixel(page, x, y);
    if (near(seen, expected)) return;
    await new Promise((r) => setTimeout(r, 100));
  }
  throw new Error(`world point (${x}, ${y}) is ${seen}, expected ${expected}`);
}

// The lobby's rows: row i's rectangle starts at world y = 200 + 70 i.
const rowPoint = (i) => [350, 205 + 70 * i];

async function visible(page, selector) {
  return page.$eval(selector, (e) => !e.closest('[hidden]') && getComputedStyle(e).display !== 'none');
}

async function joinAs(page, name) {
  await page.waitForSelector('#join:not([hidden]) #join-button:not([disabled])', { timeout: WAIT_MS });
  await page.$eval('#name', (field) => { field.value = ''; });
  await page.type('#name', name);
  await page.click('#join-button');
}

// The page's QR code, read from its canvas pixels by a real decoder.
async function decodeQr(page) {
  const { width, height, data } = await page.$eval('#share-qr', (canvas) => {
    const image = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height);
    return { width: image.width, height: image.height, data: Array.from(image.data) };
  });
  const found = jsQR(Uint8ClampedArray.from(data), width, height);
  if (!found) throw new Error(`no QR code found in the ${width} x ${height} canvas`);
  return found.data;
}

async function newRoom(page, base) {
  await page.goto(`${base}/`, { waitUntil: 'load' });
  await page.waitForSelector('#door:not([hidden])', { timeout: WAIT_MS });
  if (await visible(page, '#join')) throw new Error('the join form shows on the door\'s start view');
  await page.click('#new-room');
  await page.waitForSelector('#join:not([hidden])', { timeout: WAIT_MS });
  const code = await page.$eval('#share-code', (e) => e.textContent);
  const where = await page.evaluate(() => location.pathname);
  if (!/^[A-Z]{4}$/.test(code) || where !== `/r/${code}`) throw new Error(`room '${code}' shown at ${where}`);
  return code;
}

async function main() {
  mkdirSync(outDir, { recursive: true });
  // A host that cannot read the door's PROXY header yet gets its rooms' connections without one.
  const hostHelp = execFileSync(hostBinary, ['--help'], { encoding: 'utf8' });
  const door = startHost(doorBinary, ['--port', '0', '--web-root', webRoot, '--host-binary', hostBinary,
    '--max-rooms', '2', '--room-idle', '60',
    ...(hostHelp.includes('--trusted-proxy') ? [] : ['--rooms-without-proxy-header'])]);
  let browser;
  try {
    const [, port] = await waitForLine(door, /Door on http:\/\/0\.0\.0\.0:(\d+)\//, 10000);
    const base = `http://127.0.0.1:${port}`;
    browser = await puppeteer.launch({
      executablePath: chromium,
      headless: true,
      args: ['--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage', '--window-size=1280,720'],
      defaultViewport: { width: 1280, height: 720 },
    });
    const pageErrors = [];
    const open = async (viewport) => {
      const page = await (await browser.createBrowserContext()).newPage();
      page.on('pageerror', (e) => pageErrors.push(String(e)));
      await page.setViewport(viewport);
      return page;
    };
    const shot = (page, name) => page.screenshot({ path: path.join(outDir, `${name}.png`) });

    const host = await open({ width: 1280, height: 720 });
    await host.goto(`${base}/`, { waitUntil: 'load' });
    await host.waitForSelector('#door:not([hidden])', { timeout: WAIT_MS });
    await shot(host, 'door_start');
    const code = await newRoom(host, base);
    const link = await decodeQr(host);
    if (link !== `${base}/r/${code}`) throw new Error(`the QR code says '${link}', not the link to room ${code}`);
    await host.browserContext().overridePermissions(base, ['clipboard-read', 'clipboard-write', 'clipboard-sanitized-write']);
    await host.click('#copy-link');
    await host.waitForFunction(() => document.getElementById('share-status').textContent !== '', { timeout: WAIT_MS });
    const copied = await host.evaluate(() => navigator.clipboard.readText());
    if (copied !== link) throw new Error(`Copy link copied '${copied}'`);
    await shot(host, 'door_room_form');
    await joinAs(host, 'Ann');
    await waitForPixel(host, ...rowPoint(0), ROW_IDLE, WAIT_MS);

    // The phone scans the code: the link opens that room's join form.
    const phone = await open(PHONE);
    await phone.goto(link, { waitUntil: 'load' });
    await phone.waitForSelector('#join:not([hidden])', { timeout: WAIT_MS });
    await shot(phone, 'door_room_form_phone');
    // Without a clipboard for the page, Copy link selects the link to be copied by hand.
    await phone.evaluate(() => { navigator.clipboard.writeText = () => Promise.reject(new Error('refused')); });
    await phone.tap('#copy-link');
    await phone.waitForFunction(() => document.getElementById('share-status').textContent !== '', { timeout: WAIT_MS });
    const selected = await phone.evaluate(() => document.getSelection().toString());
    if (selected !== link) throw new Error(`Copy link without a clipboard selected '${selected}'`);
    await joinAs(phone, 'Bob');
    for (const page of [host, phone]) await waitForPixel(page, ...rowPoint(1), ROW_IDLE, WAIT_MS);
    const [, bobId] = await waitForLine(door, /Player (\d+) \(Bob\) joined/, WAIT_MS);

    // In the lobby: folded to a button with the code where the game fills the page, opened on a tap.
    for (const page of [host, phone]) {
      await page.waitForSelector('#share[data-place="folded"] #share-toggle', { visible: true, timeout: WAIT_MS });
      const label = await page.$eval('#share-toggle', (e) => e.textContent);
      if (label !== code) throw new Error(`the lobby's share button says '${label}', not ${code}`);
    }
    await shot(phone, 'door_lobby_phone');
    await phone.tap('#share-toggle');
    await phone.waitForSelector('#share.open #share-qr', { visible: true, timeout: WAIT_MS });
    await shot(phone, 'door_lobby_phone_open');
    // A page wider than the game: the panel opens in the letterbox, clear of the picture.
    await host.setViewport({ width: 1700, height: 700 });
    await host.waitForSelector('#share[data-place="left"].open #share-qr', { visible: true, timeout: WAIT_MS });
    const overlap = await host.evaluate(() => {
      const canvas = document.getElementById('game').getBoundingClientRect();
      const pictureLeft = (canvas.width - (canvas.height * 16) / 9) / 2;
      return document.getElementById('share').getBoundingClientRect().right - pictureLeft;
    });
    if (overlap > 0) throw new Error(`the share panel covers ${overlap} px of the game`);
    await shot(host, 'door_lobby_letterbox');
    await host.setViewport({ width: 1280, height: 720 });
    await shot(host, 'door_lobby');

    // A reload of the phone's page comes back to the same room and seat.
    const reloadFrom = door.output.length;
    await phone.reload({ waitUntil: 'load' });
    await waitForLine(door, new RegExp(`Player ${bobId} \\(Bob\\) reconnected`), WAIT_MS, reloadFrom);

    // An unknown code, typed in small letters, then a room of its own: neither Ann nor Bob there.
    const third = await open({ width: 1280, height: 720 });
    await third.goto(`${base}/`, { waitUntil: 'load' });
    await third.waitForSelector('#door:not([hidden])', { timeout: WAIT_MS });
    const unknown = ['BCDF', 'GHJK'].find((c) => c !== code);
    await third.type('#room-code', unknown.toLowerCase());
    await third.click('#code-button');
    await third.waitForSelector('#door-missing:not([hidden])', { timeout: WAIT_MS });
    const missing = await third.$eval('#door-missing', (e) => e.textContent);
    if (missing !== `No room ${unknown} — it may have ended`) throw new Error(`an unknown code says '${missing}'`);
    if (!(await visible(third, '#new-room'))) throw new Error('no New room beside "No room"');
    await shot(third, 'door_no_room');
    await third.click('#new-room');
    await third.waitForSelector('#join:not([hidden])', { timeout: WAIT_MS });
    const otherCode = await third.$eval('#share-code', (e) => e.textContent);
    if (otherCode === code) throw new Error('the second room has the first one\'s code');
    await joinAs(third, 'Cy');
    await waitForPixel(third, ...rowPoint(0), ROW_IDLE, WAIT_MS);
    await new Promise((r) => setTimeout(r, 1000));
    if (!near(await worldPixel(third, ...rowPoint(1)), LOBBY_BACKGROUND)) throw new Error('the new room shows a second player');

    // Both rooms live and at most two allowed: New room says every room is busy.
    const fourth = await open(PHONE);
    await fourth.goto(`${base}/r/${unknown.toLowerCase()}`, { waitUntil: 'load' });
    await fourth.waitForSelector('#door-missing:not([hidden])', { timeout: WAIT_MS });
    await shot(fourth, 'door_no_room_phone');
    await fourth.goto(`${base}/`, { waitUntil: 'load' });
    await fourth.waitForSelector('#door:not([hidden])', { timeout: WAIT_MS });
    await shot(fourth, 'door_start_phone');
    await fourth.tap('#new-room');
    await fourth.waitForFunction(() => document.getElementById('door-status').textContent.includes('busy'), { timeout: WAIT_MS });
    const busy = await fourth.$eval('#door-status', (e) => e.textContent);
    if (busy !== 'All rooms are busy — try again in a minute') throw new Error(`with every room taken: '${busy}'`);
    if (pageErrors.length > 0) throw new Error(`errors in the page: ${pageErrors.join('; ')}`);
    console.log(`door test passed: room ${code} shared by QR code and joined from a phone, room ${otherCode} apart`);
  } finally {
    if (browser) await browser.close();
    door.kill('SIGTERM');
  }
}

main().then(() => process.exit(0), (error) => {
  console.error(`door test failed: ${error.message}`);
  process.exit(1);
});
