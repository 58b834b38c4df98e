// The game's texts on landscape phones: joins from an emulated phone of each size (touch, three
// device pixels per CSS pixel), pushes each named screen with the debug commands, and prints the
// smallest text drawn there in CSS pixels, with its words; leaves a screenshot of each in OUT_DIR.
//
//   node bench/phone_texts.mjs HOST_BINARY CHROMIUM OUT_DIR [SCREEN...]   (default: lobby typewriter)
import { mkdirSync } from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { freePort, sleep, startHost, tcpPlayer, waitForLine } from '../web/tests/browser_support.mjs';

const require = createRequire(path.join(path.dirname(fileURLToPath(import.meta.url)), '../web/package.json'));
const { default: puppeteer } = await import(require.resolve('puppeteer-core'));
const [hostBinary, chromium, outDir, ...named] = process.argv.slice(2);
const screens = named.length > 0 ? named : ['lobby', 'typewriter'];
const PHONES = [[844, 390], [667, 375]];

// Every fillText's size in CSS pixels, through the canvas's transform and its pixel ratio.
function watchTexts() {
  window.texts = [];
  const fill = CanvasRenderingContext2D.prototype.fillText;
  CanvasRenderingContext2D.prototype.fillText = function (text, x, y, ...rest) {
    const ratio = this.canvas.width / Math.max(this.canvas.clientWidth, 1);
    const px = parseFloat(this.font) * this.getTransform().a / ratio;
    if (this.canvas.id === 'game') window.texts.push([px, text]);
    return fill.call(this, text, x, y, ...rest);
  };
}

mkdirSync(outDir, { recursive: true });
const [port, webPort] = [await freePort(), await freePort()];
const host = startHost(hostBinary, ['--port', String(port), '--web-port', String(webPort)]);
let browser;
const others = [];
try {
  await waitForLine(host, /Web client on http/, 10000);
  browser = await puppeteer.launch({ executablePath: chromium, headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage'] });
  for (let i = 0; i < 3; i++) others.push(tcpPlayer(port, `Player${i}`));
  const pages = [];
  for (const [width, height] of PHONES) {
    const page = await browser.newPage();
    await page.emulate({ userAgent: 'phone', viewport: { width, height, deviceScaleFactor: 3, isMobile: true, hasTouch: true, isLandscape: true } });
    await page.evaluateOnNewDocument(watchTexts);
    await page.goto(`http://127.0.0.1:${webPort}/`, { waitUntil: 'load' });
    await page.waitForSelector('#join-button:not([disabled])');
    await page.$eval('#name', (field) => { field.value = ''; });
    await page.type('#name', `W${width}`);
    await page.click('#join-button');
    await waitForLine(host, new RegExp(`\\(W${width}\\) joined`), 15000);
    pages.push([`${width}x${height}`, page]);
  }
  for (const screen of screens) {
    if (screen !== 'lobby') {
      others[0].command(`push ${screen}`);
      await waitForLine(host, new RegExp(`Pushing screen: ${screen.toUpperCase()}`), 5000);
    }
    await sleep(3000);
    for (const [size, page] of pages) {
      await page.bringToFront();
      await page.evaluate(() => { window.texts = []; });
      await sleep(500);
      const texts = await page.evaluate(() => window.texts);
      const smallest = texts.sort((a, b) => a[0] - b[0]).slice(0, 1);
      const small = [...new Set(texts.filter(([px]) => px < 11).map(([px, t]) => `${t}@${px.toFixed(1)}`))].slice(0, 8);
      console.log(`${size} ${screen}: smallest ${smallest.map(([px, t]) => `${px.toFixed(1)} px "${t}"`)}; under 11 px: ${small.join(', ') || 'none'}`);
      await page.screenshot({ path: path.join(outDir, `${screen}_${size}.png`) });
    }
  }
} finally {
  for (const p of others) p.socket.destroy();
  if (browser) await browser.close();
  host.kill('SIGTERM');
}
