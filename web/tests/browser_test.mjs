// The browser client in a real Chromium against the real host: the page joins as "Web", the host
// logs the join, the canvas shows the lobby with the player's row, a hostile picture is dropped
// and the page goes on, SPACE reaches the host, a command typed on the command line (F1) pushes
// the typing pool, where typed letters arrive (sent in the key press's own event), and
// a dropped connection comes back by itself to the same seat. The page asks for pictures as
// changes, and the canvas shows the pictures rebuilt from them. Then the page's tab goes to the
// background: a stranger presenting its id and name, and another tab given its stored seat, get
// seats of their own; a reload of the page comes back to its seat by itself, without Join. Four
// tabs behind one address opening the page at once all get in. The rules open from the join form
// and from "?" in the game.
//
//   node browser_test.mjs HOST_BINARY CHROMIUM OUT_DIR
import { mkdirSync } from 'node:fs';
import net from 'node:net';
import path from 'node:path';
import puppeteer from 'puppeteer-core';
import { freePort, startHost, waitForLine } from './browser_support.mjs';

const [hostBinary, chromium, outDir] = process.argv.slice(2);
const LOBBY_BACKGROUND = [20, 20, 30];
const ROW_IDLE = [40, 40, 60];
const ROW_READY = [40, 80, 40];
const POOL_BACKGROUND = [25, 25, 35];

// The colour of a world point on the page's canvas, through the same letterbox as the client.
function worldPixel(page, x, y) {
  return page.evaluate(([wx, wy]) => {
    const canvas = document.getElementById('game');
    const scale = Math.min(canvas.width / 1280, canvas.height / 720);
    const px = Math.round((canvas.width - 1280 * scale) / 2 + wx * scale);
    const py = Math.round((canvas.height - 720 * scale) / 2 + wy * scale);
    return Array.from(canvas.getContext('2d').getImageData(px, py, 1, 1).data.slice(0, 3));
  }, [x, y]);
}

// Logs in over TCP as a client that knows nothing of reconnection secrets; resolves with the id
// of its INIT and the socket, left open.
function tcpLogin(port, name, previousId) {
  return new Promise((resolve, reject) => {
    const socket = net.connect(port, '127.0.0.1', () => {
      const body = Buffer.from(JSON.stringify({ kind: 0, player_name: name, previous_player_id: previousId }));
      const header = Buffer.alloc(4);
      header.writeUInt32BE(body.length);
      socket.write(Buffer.concat([header, body]));
    });
    let inbox = Buffer.alloc(0);
    socket.on('data', (data) => {
      inbox = Buffer.concat([inbox, data]);
      while (inbox.length >= 4 && inbox.length >= 4 + inbox.readUInt32BE(0)) {
        const message = JSON.parse(inbox.subarray(4, 4 + inbox.readUInt32BE(0)).toString());
        inbox = inbox.subarray(4 + inbox.readUInt32BE(0));
        if (message.kind === 0 && message.event.kind === 0) resolve({ id: message.event.client_id, socket });
      }
    });
    socket.on('error', reject);
    setTimeout(() => reject(new Error('no INIT over TCP within 5 s')), 5000);
  });
}

// The "How to play" panel opens from `opener`, tells both sides and every minigame, and Escape
// closes it.
async function rulesOpenAndClose(page, opener, screenshot) {
  await page.click(opener);
  if (screenshot) await page.screenshot({ path: screenshot });
  const text = await page.$eval('#rules', (panel) => (panel.hidden ? '' : panel.innerText));
  for (const words of ['Overseer', 'Masked humans', 'one shot', 'Typing pool', 'Password', 'Doors', 'Metro', 'SPACE'])
    if (!text.includes(words)) throw new Error(`the rules opened from ${opener} do not tell "${words}"`);
  await page.keyboard.press('Escape');
  if (!(await page.$eval('#rules', (panel) => panel.hidden))) throw new Error('Escape did not close the rules');
}

async function join(page, name) {
  await page.waitForSelector('#join-button:not([disabled])', { timeout: 20000 });
  await page.$eval('#name', (field) => { field.value = ''; }); // the last name is filled in
  await page.type('#name', name);
  await page.click('#join-button');
}

function near(actual, expected) {
  return actual.every((v, i) => Math.abs(v - expected[i]) <= 3);
}

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

// Every connection to the host's web port from 127.0.0.2, as from a household's router, where
// the per-address limits apply (the machine's own address is exempt from them).
function oneAddressRelay(webPort) {
  const server = net.createServer((inbound) => {
    const outbound = net.connect({ port: webPort, host: '127.0.0.1', localAddress: '127.0.0.2' });
    inbound.pipe(outbound);
    outbound.pipe(inbound);
    inbound.on('error', () => outbound.destroy());
    outbound.on('error', () => inbound.destroy());
    inbound.on('close', () => outbound.destroy());
    outbound.on('close', () => inbound.destroy());
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

// A household: four tabs, each in a browser profile of its own (its own connections, as four
// devices have), open the page through one address in the same moment; all join and see the lobby.
async function fourTabsAtOnce(browser, webPort, host) {
  const relay = await oneAddressRelay(webPort);
  const contexts = await Promise.all([0, 1, 2, 3].map(() => browser.createBrowserContext()));
  const tabs = await Promise.all(contexts.map((c) => c.newPage()));
  try {
    const from = host.output.length;
    const url = `http://127.0.0.1:${relay.address().port}/`;
    await Promise.all(tabs.map((tab) => tab.goto(url, { waitUntil: 'domcontentloaded' })));
    await Promise.all(tabs.map((tab, i) => join(tab, `Tab${i}`)));
    for (let i = 0; i < tabs.length; i++) {
      await waitForLine(host, new RegExp(`Player \\d+ \\(Tab${i}\\) joined`), 20000, from);
      await waitForPixel(tabs[i], 100, 650, LOBBY_BACKGROUND, 10000);
    }
  } finally {
    await Promise.all(contexts.map((c) => c.close()));
    relay.close();
  }
}

async function main() {
  mkdirSync(outDir, { recursive: true });
  const [port, webPort] = [await freePort(), await freePort()];
  const host = startHost(hostBinary, ['--port', String(port), '--web-port', String(webPort)]);
  let browser;
  try {
    await waitForLine(host, /Web client on http/, 10000);
    browser = await puppeteer.launch({
      executablePath: chromium,
      headless: true,
      args: ['--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage', '--autoplay-policy=no-user-gesture-required',
        '--window-size=1280,720'],
      defaultViewport: { width: 1280, height: 720 },
    });
    const page = await browser.newPage();
    const pageErrors = [];
    page.on('pageerror', (e) => pageErrors.push(String(e)));
    // The page's WebSockets are kept where the test can reach them, to cut the connection later.
    await page.evaluateOnNewDocument(() => {
      const Native = window.WebSocket;
      window.openedSockets = [];
      window.pictureKinds = { whole: 0, change: 0 };
      // Which animation frame each key press and each message sent fell in.
      window.animationFrames = 0;
      window.keyFrames = [];
      window.sentFrames = [];
      const request = window.requestAnimationFrame.bind(window);
      window.requestAnimationFrame = (callback) => request((t) => {
        window.animationFrames++;
        callback(t);
      });
      window.addEventListener('keydown', (e) => window.keyFrames.push([e.code, window.animationFrames]), true);
      window.WebSocket = class extends Native {
        constructor(...args) {
          super(...args);
          window.openedSockets.push(this);
          this.addEventListener('message', (e) => {
            if (typeof e.data !== 'string') return;
            if (e.data.startsWith('{"kind":1,')) window.pictureKinds.whole++;
            else if (e.data.startsWith('{"kind":2,')) window.pictureKinds.change++;
            if (e.data.includes('"text":"Q"')) window.pictureHasQ = true;
          });
        }

        send(data) {
          if (data.includes('"just_pressed":true')) window.sentFrames.push([data, window.animationFrames]);
          super.send(data);
        }
      };
    });
    await page.goto(`http://127.0.0.1:${webPort}/`, { waitUntil: 'load' });
    await rulesOpenAndClose(page, '#rules-link');
    await page.type('#name', 'Web');
    await page.click('#join-button');

    const [, id] = await waitForLine(host, /Player (\d+) \(Web\) joined/, 15000);
    // A desktop keeps the whole page for the game: no on-screen keys unless asked for.
    if (await page.$eval('#touch-controls', (c) => !c.hidden)) throw new Error('on-screen keys on a desktop');
    await waitForPixel(page, 100, 650, LOBBY_BACKGROUND, 10000);
    await waitForPixel(page, 350, 205, ROW_IDLE, 5000);
    await page.screenshot({ path: path.join(outDir, 'browser_lobby.png') });
    await rulesOpenAndClose(page, '#help-button', path.join(outDir, 'browser_rules.png'));
    // A picture whose TEXT is a number, as anyone on a plain connection could send: dropped with a
    // warning; the page goes on sending its input (READY below) and drawing the host's pictures.
    const warnings = [];
    page.on('console', (m) => { if (m.type() === 'warn') warnings.push(m.text()); });
    await page.evaluate(() => window.openedSockets.at(-1).dispatchEvent(new MessageEvent('message',
      { data: '{"kind":1,"commands":[{"kind":1,"x":0,"y":0,"text":5,"font_size":20,"color":[1,1,1,255]}]}' })));
    for (let i = 0; i < 20 && !warnings.some((w) => w.includes('Ignored a picture')); i++) await new Promise((r) => setTimeout(r, 100));
    if (!warnings.some((w) => w.includes('Ignored a picture'))) throw new Error(`no warning for a bad picture: ${warnings}`);
    await fourTabsAtOnce(browser, webPort, host);

    // The lobby takes keys after its input delay; press until the host has it.
    const ready = new RegExp(`Player ${id} marked READY`);
    const deadline = Date.now() + 15000;
    while (!ready.test(host.output) && Date.now() < deadline) {
      await page.keyboard.press('Space');
      await new Promise((r) => setTimeout(r, 300));
    }
    await waitForLine(host, ready, 1000);
    await waitForPixel(page, 350, 205, ROW_READY, 5000);
    const protocol = await page.evaluate(() => window.openedSockets.at(-1).protocol);
    if (protocol !== 'cogwell.delta') throw new Error(`the page's WebSocket speaks '${protocol}', not cogwell.delta`);
    const kinds = await page.evaluate(() => window.pictureKinds);
    if (kinds.change < 10 * kinds.whole) throw new Error(`pictures came ${JSON.stringify(kinds)}: too few as changes`);
    await page.screenshot({ path: path.join(outDir, 'browser_lobby_ready.png') });

    await page.keyboard.press('F1');
    await page.keyboard.type('push typewriter');
    await page.keyboard.press('Enter');
    await waitForLine(host, /Pushing screen: TYPEWRITER/, 5000);
    await new Promise((r) => setTimeout(r, 2500));
    await page.keyboard.press('KeyQ');
    // Seen in the host's picture (no robot types a Q; the host's console may withhold a typist's lines).
    for (let i = 0; i < 50 && !(await page.evaluate(() => window.pictureHasQ)); i++) await new Promise((r) => setTimeout(r, 100));
    if (!(await page.evaluate(() => window.pictureHasQ))) throw new Error('the typed Q never came back in a picture');
    // The press left in its own event, not with the next animation frame's INPUT.
    const [pressFrame, sentFrame] = await page.evaluate(() => {
      const Q = 16;
      const sent = window.sentFrames.find(([data]) => JSON.parse(data).input?.keys?.[Q]?.just_pressed);
      return [window.keyFrames.findLast(([code]) => code === 'KeyQ')[1], sent?.[1]];
    });
    if (sentFrame !== pressFrame) throw new Error(`Q pressed in animation frame ${pressFrame}, sent in ${sentFrame}`);
    await waitForPixel(page, 5, 715, POOL_BACKGROUND, 5000);
    await page.screenshot({ path: path.join(outDir, 'browser_typing_pool.png') });

    const beforeLoss = await page.evaluate(() => ({ ...window.pictureKinds }));
    await page.evaluate(() => window.openedSockets.at(-1).close());
    await waitForLine(host, new RegExp(`Player ${id} disconnected`), 5000);
    await waitForLine(host, new RegExp(`Player ${id} \\(Web\\) reconnected`), 10000);
    // The new connection starts from a whole picture and goes on with changes to it.
    await new Promise((r) => setTimeout(r, 1000));
    const after = await page.evaluate(() => ({ ...window.pictureKinds }));
    if (after.whole <= beforeLoss.whole || after.change <= beforeLoss.change + 10)
      throw new Error(`pictures before the loss ${JSON.stringify(beforeLoss)}, after ${JSON.stringify(after)}`);
    await waitForPixel(page, 5, 715, POOL_BACKGROUND, 5000);

    // Another tab to the front: this one is hidden and gets no more animation frames.
    const other = await browser.newPage();
    other.on('pageerror', (e) => pageErrors.push(String(e)));
    await other.goto(`http://127.0.0.1:${webPort}/`, { waitUntil: 'load' });
    await other.bringToFront();
    if (!(await page.evaluate(() => document.hidden))) throw new Error('the background tab is not hidden');
    const hiddenFrom = host.output.length;
    await new Promise((r) => setTimeout(r, 3000));
    const stranger = await tcpLogin(port, 'Web', Number(id));
    stranger.socket.destroy();
    if (String(stranger.id) === id) throw new Error('a stranger with the id and name took the hidden page\'s seat');
    // A duplicated tab starts with this tab's stored seat; while this one is alive, it is a newcomer.
    const kept = await page.evaluate(() => sessionStorage.getItem('cogwell-seat'));
    if (!kept || !JSON.parse(kept).secret) throw new Error(`no seat kept in the tab: ${kept}`);
    await other.evaluate((seat) => sessionStorage.setItem('cogwell-seat', seat), kept);
    await waitForLine(host, new RegExp(`Player ${stranger.id} \\(Web\\) joined`), 5000);
    const otherFrom = host.output.length;
    await join(other, 'Web');
    const [, otherId] = await waitForLine(host, /Player (\d+) \(Web\) (joined|reconnected)/, 10000, otherFrom);
    if (otherId === id) throw new Error('the other tab took the hidden page\'s seat');
    if (host.output.slice(hiddenFrom).includes(`Player ${id} disconnected`)) throw new Error('the hidden page lost its seat');

    await page.bringToFront();
    const reloadFrom = host.output.length;
    await page.reload({ waitUntil: 'load' });
    await waitForLine(host, new RegExp(`Player ${id} \\(Web\\) reconnected`), 10000, reloadFrom);
    if (pageErrors.length > 0) throw new Error(`errors in the page: ${pageErrors.join('; ')}`);
    console.log(`browser test passed: player ${id} joined, saw the lobby, got READY, typed in the typing pool, ` +
      'reconnected, kept its seat while hidden and after a reload');
  } finally {
    if (browser) await browser.close();
    host.kill('SIGTERM');
  }
}

main().then(() => process.exit(0), (error) => {
  console.error(`browser test failed: ${error.message}`);
  process.exit(1);
});
