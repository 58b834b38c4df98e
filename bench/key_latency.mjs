// How long a key takes to show: from the key press in the page (a key-down, a tap on the on-screen
// SPACE, a letter from the phone's keyboard field) to the first picture the page draws that shows
// its effect, on loopback against a real host. Four cases: the lobby's SPACE (the player's row
// turns "waiting for other players...") and a letter in the typing pool (one more Q in the player's
// text box; Q is in none of the pool's words, so the bots never type it), each on a desktop page
// and on an emulated phone (as bench/phone_page.mjs, on-screen SPACE and the keyboard field).
// "Drawn" is the moment the page's canvas gets the text (fillText) in a draw; the screen shows it
// at the next display refresh, the same for every case.
//
//   node bench/key_latency.mjs HOST_BINARY CHROMIUM [--samples N] [--cases lobby,typing]
//                              [--devices desktop,phone] [--throttle R] [--web-root DIR]
// --samples: presses per case (default 40; the lobby's take 2 s each, its input delay);
// --throttle: the phone's CPU slowed R times (default 1: the path, not the phone, is measured);
// --web-root: the browser client the host serves (e.g. another build of it, to compare).
import { createRequire } from 'node:module';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { freePort, sleep, startHost, tcpPlayer, waitForLine } from '../web/tests/browser_support.mjs';

const require = createRequire(path.join(path.dirname(fileURLToPath(import.meta.url)), '../web/package.json'));
const { default: puppeteer, KnownDevices } = await import(require.resolve('puppeteer-core'));

const args = process.argv.slice(2);
const [hostBinary, chromium] = args;
const option = (name, fallback) => (args.includes(name) ? args[args.indexOf(name) + 1] : fallback);
const samples = Number(option('--samples', 40));
const cases = option('--cases', 'lobby,typing').split(',');
const devices = option('--devices', 'desktop,phone').split(',');
const throttle = Number(option('--throttle', 1));
const webRoot = option('--web-root', null);

const LETTER = 'Q';
const LOBBY_READY = 'Press SPACE key to start';
const LOBBY_WAITING = 'waiting for other players...';

// In the page before its own code: the press times and a probe on every text the canvas gets.
// `probe.count` counts the texts that match in the draw under way (cogwellTiming.draws tells the
// draws apart: it grows at each draw's end), `probe.shown` is the count of the last whole draw.
function instrumentPage() {
  const probe = { exact: null, count: 0, shown: 0, tag: -1, need: Infinity, hitAt: null, pressAt: null, onHit: null,
    sent: null, sentAt: null, arrived: null, arrivedAt: null };
  window.latencyProbe = probe;
  // The event's own time: when the browser took the press, before the page's thread got to it.
  const mark = (e) => { probe.pressAt = e.timeStamp; };
  window.addEventListener('keydown', mark, true);
  document.addEventListener('pointerdown', mark, true);
  document.addEventListener('beforeinput', mark, true);
  const fill = CanvasRenderingContext2D.prototype.fillText;
  CanvasRenderingContext2D.prototype.fillText = function fillText(text, ...rest) {
    const tag = globalThis.cogwellTiming?.draws ?? -1;
    if (tag !== probe.tag) {
      probe.shown = probe.count;
      probe.count = 0;
      probe.tag = tag;
    }
    if (text === probe.exact) {
      probe.count++;
      if (probe.count >= probe.need && probe.hitAt === null) {
        probe.hitAt = performance.now();
        probe.onHit?.();
      }
    }
    return fill.call(this, text, ...rest);
  };
  const Native = window.WebSocket;
  // Where the time goes: the first message sent after the press that carries it, and the first
  // one received after that which carries the shown text.
  window.WebSocket = class extends Native {
    constructor(...a) {
      super(...a);
      window.gameSocket = this;
      this.addEventListener('message', (e) => {
        if (probe.sentAt !== null && probe.arrivedAt === null && e.data.includes(probe.arrived)) probe.arrivedAt = performance.now();
      });
    }

    send(data) {
      if (probe.sent && probe.pressAt !== null && probe.sentAt === null && probe.sent.test(data)) probe.sentAt = performance.now();
      super.send(data);
    }
  };
}

// Watch for `text` drawn at least `need` times in one draw; the hit's time is cleared. `sent`: a
// pattern of the INPUT that carries the press.
const watch = (page, text, need, sent = '$^') => page.evaluate((t, n, pattern) => {
  Object.assign(window.latencyProbe, { exact: t, need: n, hitAt: null, pressAt: null, sent: new RegExp(pattern),
    sentAt: null, arrived: JSON.stringify({ text: t }).slice(1, -1), arrivedAt: null });
}, text, need, sent);

// { total, send, host, draw } in ms from the press to the drawn hit, or null when it is not drawn
// within `ms`. Awaited inside the page, which is not polled: the page's main thread stays free.
function waitForHit(page, ms) {
  return page.evaluate((limit) => new Promise((resolve) => {
    const p = window.latencyProbe;
    const done = () => {
      clearTimeout(timer);
      p.onHit = null;
      const parts = p.pressAt !== null && p.sentAt !== null && p.arrivedAt !== null;
      resolve({ total: p.pressAt === null ? 0 : p.hitAt - p.pressAt, send: parts ? p.sentAt - p.pressAt : NaN,
        host: parts ? p.arrivedAt - p.sentAt : NaN, draw: parts ? p.hitAt - p.arrivedAt : NaN });
    };
    const timer = setTimeout(() => {
      p.onHit = null;
      resolve(null);
    }, limit);
    if (p.hitAt !== null) done();
    else p.onHit = done;
  }), ms);
}

// Waits for the text to be drawn (no press measured); false after `ms`.
async function waitForDrawn(page, text, ms) {
  await watch(page, text, 1);
  return (await waitForHit(page, ms)) !== null;
}

const shownCount = async (page) => {
  await sleep(40); // two whole draws under the new watch
  return page.evaluate(() => window.latencyProbe.shown);
};

// Presses at a random moment, after the last word with the page, so that the press falls at any
// point of the page's and the host's frames rather than just after the page's thread was free.
const dephase = () => sleep(20 + Math.random() * 17);

async function lobbyCase(page, tcp, press) {
  const out = [];
  let stalls = 0; // a machine busy enough stalls the page for seconds: reset again, a few times
  while (out.length < samples) {
    tcp.command('reset'); // everybody back to not ready; SPACE counts again after its delay
    await sleep(100);
    if (!(await waitForDrawn(page, LOBBY_READY, 5000))) {
      if (++stalls > 5) throw new Error('the lobby never asked for SPACE');
      continue;
    }
    await watch(page, LOBBY_WAITING, 1, '"space":true');
    await dephase();
    await press.space();
    const ms = await waitForHit(page, 2000);
    if (ms !== null) out.push(ms);
  }
  return out;
}

async function typingCase(page, host, tcp, press) {
  const out = [];
  let misses = 0;
  let pushedAt = host.output.length;
  tcp.command('push typewriter');
  await waitForLine(host, /Pushing screen: TYPEWRITER/, 5000, pushedAt);
  await waitForLine(host, /Transitioning from INTRO to TYPING/, 30000, pushedAt);
  while (out.length < samples) {
    await watch(page, LETTER, Infinity);
    const before = await shownCount(page);
    await watch(page, LETTER, before + 1, String.raw`"keys":\[(\{[^}]*\},){${LETTER.charCodeAt(0) - 65}}\{"is_down":[a-z]+,"just_pressed":true`);
    await dephase();
    await press.letter();
    const ms = await waitForHit(page, 1000);
    await press.backspace(); // the box stays short; words change every 6 s and clear it anyway
    if (ms !== null) {
      out.push(ms);
      misses = 0;
    } else if (++misses >= 5) { // the pool is over (back in the lobby): another one
      pushedAt = host.output.length;
      tcp.command('push typewriter');
      await waitForLine(host, /Transitioning from INTRO to TYPING/, 30000, pushedAt);
      misses = 0;
    }
    await sleep(60);
  }
  return out;
}

function percentile(sorted, p) {
  return sorted[Math.min(sorted.length - 1, Math.floor((p / 100) * sorted.length))];
}

async function runDevice(browser, device) {
  const [port, webPort] = [await freePort(), await freePort()];
  const host = startHost(hostBinary, ['--port', String(port), '--web-port', String(webPort),
    ...(webRoot ? ['--web-root', webRoot] : [])]);
  const rows = [];
  try {
    await waitForLine(host, /Web client on http/, 10000);
    const page = await browser.newPage();
    const phone = device === 'phone';
    if (phone) {
      const iphone = KnownDevices['iPhone 13 landscape'];
      await page.emulate({ ...iphone, viewport: { ...iphone.viewport, deviceScaleFactor: 3 } });
    }
    await page.evaluateOnNewDocument(instrumentPage);
    await page.goto(`http://127.0.0.1:${webPort}/`, { waitUntil: 'load' });
    await page.type('#name', 'Typist');
    await page.click('#join-button');
    await waitForLine(host, /\(Typist\) joined/, 15000);
    // A second player who never presses SPACE keeps the lobby from counting down, and is the
    // Overseer in the pool, so the page's player types.
    const tcp = tcpPlayer(port, 'Watcher');
    await waitForLine(host, /\(Watcher\) joined/, 5000);
    tcp.command('role cop');
    await page.evaluate(() => window.gameSocket.send(JSON.stringify({ kind: 3, settings_command: 'role masked' })));
    if (phone && throttle > 1) {
      const cdp = await page.createCDPSession();
      await cdp.send('Emulation.setCPUThrottlingRate', { rate: throttle });
    }
    const press = phone ? {
      space: () => page.tap('[aria-label="Space"]'),
      letter: () => page.keyboard.sendCharacter(LETTER.toLowerCase()),
      backspace: () => page.keyboard.press('Backspace'),
    } : {
      space: () => page.keyboard.press('Space'),
      letter: () => page.keyboard.press(`Key${LETTER}`),
      backspace: () => page.keyboard.press('Backspace'),
    };
    if (phone) await page.tap('[aria-label="Keyboard"]'); // the field has the focus from here on
    for (const name of cases) {
      const ms = name === 'lobby' ? await lobbyCase(page, tcp, press) : await typingCase(page, host, tcp, press);
      rows.push({ device, name, ms });
    }
    tcp.socket.destroy();
  } finally {
    host.kill('SIGTERM');
  }
  return rows;
}

const browser = await puppeteer.launch({ executablePath: chromium, headless: true,
  args: ['--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage'] });
try {
  const rows = [];
  for (const device of devices) rows.push(...(await runDevice(browser, device)));
  const what = { lobby: 'lobby SPACE -> ready', typing: `typing pool ${LETTER} -> in the box` };
  console.log(`key press to drawn picture, loopback, ${samples} presses per case${throttle > 1 ? `, phone CPU /${throttle}` : ''};`);
  console.log('the median of each part: press to INPUT sent, sent to picture received, received to drawn:');
  const median = (list, key) => percentile(list.map((m) => m[key]).filter(Number.isFinite).sort((a, b) => a - b), 50);
  for (const { device, name, ms } of rows) {
    const total = ms.map((m) => m.total).sort((a, b) => a - b);
    console.log(`  ${device.padEnd(8)} ${what[name].padEnd(28)} p50 ${percentile(total, 50).toFixed(1).padStart(6)} ms` +
                `  p99 ${percentile(total, 99).toFixed(1).padStart(6)} ms  (min ${total[0].toFixed(1)}, max ${total.at(-1).toFixed(1)});` +
                `  parts ${['send', 'host', 'draw'].map((k) => median(ms, k)?.toFixed(1)).join(' + ')} ms`);
  }
} finally {
  await browser.close();
}
