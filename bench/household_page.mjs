// A household behind one router: N browser profiles (each with its own connections, as N devices
// have) open the page through one address other than the machine's own, in the same second, and
// join. Prints how many reached the lobby, how long the slowest took, the requests each page
// made, and the sockets the host refused from that address.
//
//   node bench/household_page.mjs HOST_BINARY CHROMIUM [DEVICES]
import net from 'node:net';
import { createRequire } from 'node:module';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { freePort, startHost, waitForLine } from '../web/tests/browser_support.mjs';

const require = createRequire(path.join(path.dirname(fileURLToPath(import.meta.url)), '../web/package.json'));
const { default: puppeteer } = await import(require.resolve('puppeteer-core'));
const [hostBinary, chromium, devicesText] = process.argv.slice(2);
const devices = Number(devicesText ?? 16);

const [port, webPort] = [await freePort(), await freePort()];
const host = startHost(hostBinary, ['--port', String(port), '--web-port', String(webPort)]);
const relay = net.createServer((inbound) => {
  const outbound = net.connect({ port: webPort, host: '127.0.0.1', localAddress: '127.0.0.2' });
  inbound.pipe(outbound);
  outbound.pipe(inbound);
  for (const [a, b] of [[inbound, outbound], [outbound, inbound]]) {
    a.on('error', () => b.destroy());
    a.on('close', () => b.destroy());
  }
});
await new Promise((r) => relay.listen(0, '127.0.0.1', r));
let browser;
try {
  await waitForLine(host, /Web client on http/, 10000);
  browser = await puppeteer.launch({ executablePath: chromium, headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage'] });
  const contexts = await Promise.all(Array.from({ length: devices }, () => browser.createBrowserContext()));
  const pages = await Promise.all(contexts.map((c) => c.newPage()));
  const requests = pages.map(() => 0);
  const started = Date.now();
  pages.forEach((p, i) => p.on('request', (r) => {
    requests[i]++;
    if (process.env.VERBOSE && i === 0) console.log(`D0 ${Date.now() - started} ms: ${r.url().replace(/^.*\//, '/')}`);
  }));
  const url = `http://127.0.0.1:${relay.address().port}/`;
  const joined = await Promise.all(pages.map(async (page, i) => {
    try {
      await page.goto(url, { waitUntil: 'domcontentloaded', timeout: 30000 });
      await page.waitForSelector('#join-button:not([disabled])', { timeout: 30000 });
      await page.type('#name', `D${i}`);
      if (process.env.VERBOSE) console.log(`D${i} ready to join at ${Date.now() - started} ms`);
      await page.click('#join-button');
      await waitForLine(host, new RegExp(`Player \\d+ \\(D${i}\\) joined`), 60000);
      return Date.now() - started;
    } catch (error) {
      if (process.env.VERBOSE) {
        const state = await page.evaluate(() => `${document.getElementById('join-status')?.textContent} canvas=${!document.getElementById('game')?.hidden}`).catch((e) => e.message);
        console.log(`D${i}: ${error.message.split('\n')[0].slice(0, 60)} | ${state}`);
      }
      return null;
    }
  }));
  const done = joined.filter((t) => t !== null);
  const refused = [...host.output.matchAll(/refused (\d+)/g)].reduce((sum, m) => sum + Number(m[1]), 0);
  if (process.env.VERBOSE) console.log(host.output.split('\n').filter((l) => !/LOGIN|PlayerConnection/.test(l)).slice(-40).join('\n'));
  console.log(`${done.length}/${devices} joined; slowest ${Math.max(...done)} ms; requests per page ` +
    `${Math.min(...requests)}-${Math.max(...requests)}; sockets refused ${refused}`);
} finally {
  if (browser) await browser.close();
  relay.close();
  host.kill('SIGTERM');
}
