// A whole game played as a group would: a door with local rooms, a room made by it, three desktop
// tabs, a phone (touch, on-screen keys) and the native client joining by the room's code, everyone
// ready, the intro, the role reveal and the minigames played (words typed, keys pressed, the
// Overseer shooting once a minigame) to the end screen and back to the lobby. Screenshots of every
// tab at every screen go to OUT_DIR for a person to look at; the texts each tab drew are logged.
//
//   node bench/group_game.mjs BUILD_DIR CHROMIUM OUT_DIR [WEB_ROOT]
// BUILD_DIR holds cogwell-door, cogwell-host, cogwell-client and web/ (a Release build); WEB_ROOT
// serves another build of the page instead. Where the door's page offers New room, the first tab
// makes the room with it and the phone joins with the code typed; otherwise the room is made with
// POST /rooms and every tab opens its link.
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { freePort, sleep, startHost, waitForLine } from '../web/tests/browser_support.mjs';

const require = createRequire(path.join(path.dirname(fileURLToPath(import.meta.url)), '../web/package.json'));
const { default: puppeteer, KnownDevices } = await import(require.resolve('puppeteer-core'));

const [buildDir, chromium, outDir, webRoot] = process.argv.slice(2);
fs.mkdirSync(outDir, { recursive: true });
const doorPort = await freePort();
const door = startHost(path.join(buildDir, 'cogwell-door'),
  ['--port', String(doorPort), '--log-level', 'info', ...(webRoot ? ['--web-root', webRoot] : [])]);
const base = `http://127.0.0.1:${doorPort}`;
const started = Date.now();
const stamp = () => ((Date.now() - started) / 1000).toFixed(1).padStart(6);
const note = (line) => console.log(`${stamp()} ${line}`);

// Every text the page drew in its last drawn frame, with where it landed on the page (CSS px).
function recordTexts() {
  window.drawnTexts = [];
  let frame = [];
  const fill = CanvasRenderingContext2D.prototype.fillText;
  CanvasRenderingContext2D.prototype.fillText = function (text, x, y, ...rest) {
    if (this.canvas.isConnected) {
      const m = this.getTransform();
      frame.push({ text: String(text), x: m.a * x + m.c * y + m.e, y: m.b * x + m.d * y + m.f, font: this.font, canvas: this.canvas });
    }
    return fill.call(this, text, x, y, ...rest);
  };
  const request = window.requestAnimationFrame.bind(window);
  window.requestAnimationFrame = (callback) => request((t) => {
    callback(t);
    if (frame.length) {
      window.drawnTexts = frame;
      frame = [];
    }
  });
}

async function texts(page) {
  return page.evaluate(() => window.drawnTexts.map((d) => {
    const r = d.canvas.getBoundingClientRect();
    return { text: d.text, x: r.left + (d.x * r.width) / d.canvas.width, y: r.top + (d.y * r.height) / d.canvas.height,
             size: Number((d.font.match(/([\d.]+)px/) || [0, 0])[1]) };
  }));
}

// World (1280 x 720) to page coordinates: the game is letterboxed into the canvas.
async function worldToPage(page, x, y) {
  return page.evaluate((wx, wy) => {
    const r = document.getElementById('game').getBoundingClientRect();
    const s = Math.min(r.width / 1280, r.height / 720);
    return { x: r.left + (r.width - 1280 * s) / 2 + wx * s, y: r.top + (r.height - 720 * s) / 2 + wy * s };
  }, x, y);
}

const browser = await puppeteer.launch({ executablePath: chromium, headless: true,
  args: ['--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage', '--autoplay-policy=no-user-gesture-required'] });
const players = [];
let client = null;
let shotIndex = 0;

async function shootAll(label) {
  const n = String(++shotIndex).padStart(2, '0');
  await Promise.all(players.map(async (p) => {
    if (p.gone) return;
    const file = path.join(outDir, `${n}_${label}_${p.name}.png`);
    await p.page.screenshot({ path: file });
    const drawn = [...new Set((await texts(p.page)).map((t) => t.text))].join(' | ');
    note(`  ${p.name}: ${file}\n           drew: ${drawn.slice(0, 600)}`);
  }));
}

// `how`: {link} opens the room's page, {newRoom: true} presses New room on the door's page,
// {code} types the code on the door's page.
async function openPlayer(name, phone, how) {
  const context = await browser.createBrowserContext();
  const page = await context.newPage();
  if (phone) {
    const device = KnownDevices['iPhone 13 landscape'];
    await page.emulate({ ...device, viewport: { ...device.viewport, width: 844, height: 390, deviceScaleFactor: 3 } });
  } else {
    await page.setViewport({ width: 1280, height: 800 });
  }
  await page.evaluateOnNewDocument(recordTexts);
  page.on('console', (m) => { if (m.type() === 'warning' || m.type() === 'error') note(`[${name} console] ${m.text()}`); });
  page.on('pageerror', (e) => note(`[${name} page error] ${e.message}`));
  const tap = (selector) => (phone ? page.tap(selector) : page.click(selector));
  await page.goto(base + (how.link ?? '/'), { waitUntil: 'load' });
  if (how.newRoom || how.code) {
    await page.waitForSelector('#new-room', { visible: true, timeout: 20000 });
    if (how.newRoom) {
      await tap('#new-room');
    } else {
      await tap('#room-code');
      await page.keyboard.type(how.code.toLowerCase());
      await tap('#code-button');
    }
    await page.waitForFunction(() => /^\/r\/[A-Z]{4}$/.test(location.pathname), { timeout: 20000 });
  }
  await page.waitForSelector('#join-button:not([disabled])', { timeout: 20000 });
  if (phone) await page.tap('#name'); else await page.click('#name');
  await page.keyboard.type(name);
  if (phone) await page.tap('#join-button'); else await page.click('#join-button');
  const match = await waitForLine(door, new RegExp(`Player (\\d+) \\(${name}\\) joined`), 20000);
  const player = { name, phone, page, id: Number(match[1]), path: await page.evaluate(() => location.pathname) };
  players.push(player);
  note(`${name} joined as player ${player.id}${phone ? ' (phone)' : ''}`);
  return player;
}

// A key held for a moment, from the keyboard or (phone) the on-screen button.
async function press(player, key, ms = 120) {
  if (player.phone && ['Space', 'ArrowLeft', 'ArrowRight', 'ArrowUp', 'ArrowDown', 'Enter'].includes(key)) {
    const label = { Space: 'Space', ArrowLeft: 'Left', ArrowRight: 'Right', ArrowUp: 'Up', ArrowDown: 'Down', Enter: 'Enter' }[key];
    const box = await (await player.page.$(`#touch-controls button[aria-label="${label}"]`)).boundingBox();
    await player.page.touchscreen.touchStart(box.x + box.width / 2, box.y + box.height / 2);
    await sleep(ms);
    await player.page.touchscreen.touchEnd();
    return;
  }
  await player.page.keyboard.down(key);
  await sleep(ms);
  await player.page.keyboard.up(key);
}

// A word typed at a robot's pace: on a phone through the device keyboard (its text field).
async function typeWord(player, word) {
  const gap = Math.min(250, 1800 / word.length);
  note(`${player.name} types ${word}`);
  if (player.phone) {
    const focused = await player.page.evaluate(() => document.activeElement?.id === 'type-field');
    if (!focused) await player.page.tap('#touch-controls [aria-label="Keyboard"]');
    for (const ch of word.toLowerCase()) {
      await player.page.keyboard.sendCharacter(ch);
      await sleep(gap);
    }
    return;
  }
  for (const ch of word.toLowerCase()) {
    await player.page.keyboard.press(ch);
    await sleep(gap);
  }
}

let screen = 'LOBBY';
let screenAt = 0;
door.stdout.on('data', (d) => {
  for (const m of String(d).matchAll(/Pushing screen: (\w+)|Popping screen/g)) {
    screen = m[1] ?? `POP`;
    screenAt = Date.now();
    note(`room: ${m[0]}`);
  }
});

// What each player does on the current screen, a step every ~300 ms.
async function playStep(player, overseerId, state) {
  const { page } = player;
  if (player.gone) return;
  if (screen === 'TYPEWRITER' && player.id !== overseerId) {
    const drawn = await texts(page);
    const counter = drawn.find((t) => /^Word \d+\/\d+$/.test(t.text));
    const big = drawn.filter((t) => /^[A-Z]{2,}$/.test(t.text) && t.size >= 40).sort((a, b) => b.size - a.size)[0];
    const key = counter && big ? `${counter.text}:${big.text}` : null;
    if (key && state.typed !== key) {
      state.typed = key;
      await sleep(300 + Math.random() * 300);
      await typeWord(player, big.text);
    }
  } else if (screen === 'DOORS' && player.id !== overseerId) {
    if (Math.random() < 0.3) await press(player, 'Space');
  } else if (screen === 'METRO' && player.id !== overseerId) {
    const drawn = await texts(page);
    const side = drawn.find((t) => /\b(Left|Right|LEFT|RIGHT)\b/.test(t.text));
    if (side) await press(player, /left/i.test(side.text) ? 'ArrowLeft' : 'ArrowRight', 400);
  }
}

// The Overseer shoots once a minigame, after its briefing: clicks where figures stand until the
// verdict shows.
const TARGETS = {
  TYPEWRITER: [[330, 250], [610, 250], [890, 250], [1170, 250], [230, 510], [510, 510]],
  DOORS: [[180, 220], [420, 220], [660, 220], [180, 550], [420, 550], [660, 550]],
  METRO: [[240, 420], [360, 420], [480, 420], [600, 420], [720, 420], [840, 420]], // the box stands on the mask
};
// The first time, the Overseer aims at a desktop player's own figure (found where that player's
// tab, of the same size, draws YOU), so that a human is shot; afterwards wherever figures stand.
const FIGURE_FROM_LABEL = { TYPEWRITER: [15, 80], DOORS: [10, 60], METRO: [14, -130] };
async function overseerStep(player, state) {
  const targets = TARGETS[screen];
  if (!targets || state.shotOn === screenAt || Date.now() - screenAt < 26000) return;
  const drawn = await texts(player.page);
  const verdict = drawn.find((t) => /It was a (HUMAN|ROBOT)!/.test(t.text));
  if (verdict) {
    state.shotOn = screenAt;
    state.humanShot = state.humanShot || verdict.text.includes('HUMAN');
    note(`Overseer ${player.name}: ${verdict.text}`);
    return;
  }
  let at;
  const victim = players.find((p) => !p.phone && p !== player && !p.gone);
  if (!state.humanShot && victim) {
    const own = (await texts(victim.page)).find((t) => t.text === 'YOU');
    if (own) at = { x: own.x + FIGURE_FROM_LABEL[screen][0], y: own.y + FIGURE_FROM_LABEL[screen][1] };
  }
  if (!at) {
    const [wx, wy] = targets[(state.aim = ((state.aim ?? Math.floor(Math.random() * 6)) + 1)) % targets.length];
    at = await worldToPage(player.page, wx, wy);
  }
  note(`Overseer ${player.name} clicks at page ${at.x.toFixed(0)},${at.y.toFixed(0)}`);
  if (player.phone) await player.page.touchscreen.tap(at.x, at.y);
  else await player.page.mouse.click(at.x, at.y);
}

try {
  await waitForLine(door, /Door on http/, 10000);
  const hasNewRoom = /id="new-room"/.test(await (await fetch(`${base}/`)).text());
  note(`door on ${doorPort}; its page offers New room: ${hasNewRoom}`);
  let code;
  let link;
  if (hasNewRoom) {
    const ann = await openPlayer('Ann', false, { newRoom: true });
    link = ann.path;
    code = link.slice(3);
  } else {
    const made = await fetch(`${base}/rooms`, { method: 'POST' });
    ({ code, link } = await made.json());
    note(`POST /rooms ${made.status} code ${code}`);
  }
  await waitForLine(door, /Debug commands: (\w+)/, 15000).then((m) => note(`room ${code}, debug commands: ${m[1]}`), () => {});

  // The native client joins first, so that the humans are not the first seats; it leaves the
  // lobby once its screenshot is taken.
  const clientShot = path.join(outDir, '00_native_lobby_Dee.png');
  client = spawn('xvfb-run', ['-a', path.join(buildDir, 'cogwell-client'), '--name', 'Dee', '--host', '127.0.0.1',
    '--port', String(doorPort), '--room', code, '--screenshot', clientShot, '--after', '20'], { stdio: 'inherit' });
  await waitForLine(door, /Player (\d+) \(Dee\) joined/, 20000);
  if (!hasNewRoom) await openPlayer('Ann', false, { link });
  await openPlayer('Bob', false, { link });
  await openPlayer('Cat', false, { link });
  await openPlayer('Pho', true, hasNewRoom ? { code } : { link });
  await sleep(2000);
  await shootAll('lobby');
  if (client.exitCode === null && client.signalCode === null) await new Promise((resolve) => client.on('exit', resolve));
  note(`native client left; its screenshot ${clientShot}`);
  await sleep(1500);
  await shootAll('lobby_after_native_left');

  for (const p of players) await press(p, 'Space', 300);
  await waitForLine(door, /Pushing screen: CRAWL/, 15000);
  await sleep(4000);
  await shootAll('crawl');
  await waitForLine(door, /Pushing screen: ROLE_REVEAL/, 120000);
  const cop = await waitForLine(door, /Player (\d+) assigned role: COP/, 10000);
  const overseer = players.find((p) => p.id === Number(cop[1]));
  note(`Overseer: player ${cop[1]} (${overseer?.name ?? 'not a tab'})`);
  await sleep(3000);
  await shootAll('role_reveal');

  // Each player plays on its own while the screenshots are taken, as people would.
  let over = false;
  const playing = players.map(async (p) => {
    const state = {};
    while (!over) {
      try {
        if (p === overseer) await overseerStep(p, state);
        else await playStep(p, overseer?.id, state);
      } catch (e) {
        note(`${p.name}: ${e.message}`);
      }
      await sleep(200);
    }
  });
  const shotsTaken = new Set();
  while (Date.now() - started < 15 * 60 * 1000 && !door.output.match(/\[END\] Auto-return timer expired/)) {
    const age = Date.now() - screenAt;
    for (const at of [3000, 12000, 30000]) {
      const key = `${screen}@${screenAt}:${at}`;
      if (age >= at && !shotsTaken.has(key) && ['GAME_SELECT', 'TYPEWRITER', 'DOORS', 'METRO', 'END', 'POP'].includes(screen) &&
          (at === 3000 || !['GAME_SELECT', 'POP', 'END'].includes(screen))) {
        shotsTaken.add(key);
        await shootAll(`${screen.toLowerCase()}_${at / 1000}s`);
      }
    }
    await sleep(250);
  }
  over = true;
  await Promise.all(playing);
  await sleep(3000);
  await shootAll('back_in_lobby');
  // One desktop player leaves the lobby: the others are told who.
  const leaver = players.find((p) => p.name === 'Cat');
  leaver.gone = true;
  await leaver.page.close();
  await sleep(1500);
  await shootAll('lobby_after_cat_left');
  note(`door output tail:\n${door.output.split('\n').filter((l) => !/DEBUG/.test(l)).slice(-15).join('\n')}`);
} catch (e) {
  note(`failed: ${e.stack}\n${door.output.slice(-4000)}`);
  process.exitCode = 1;
} finally {
  fs.writeFileSync(path.join(outDir, 'door.log'), door.output);
  await browser.close();
  if (client && client.exitCode === null) client.kill('SIGTERM');
  door.kill('SIGTERM');
}
