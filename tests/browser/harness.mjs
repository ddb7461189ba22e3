// What the browser tests share: a `tovrane serve` of their own (stopped and
// started again on the same port and state folder when a test asks), headless
// Chromium, and small checks on the page.
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';

export function check(ok, what) {
  if (!ok) throw new Error(`check failed: ${what}`);
  console.log(`ok: ${what}`);
}

export const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// Puppeteer, or null (with the reason printed) when the test must skip.
export async function loadPuppeteer(chromium) {
  if (!fs.existsSync(chromium)) {
    console.log(`skipped: no Chromium at ${chromium}; install it (Debian: chromium)`);
    return null;
  }
  try {
    return (await import('puppeteer-core')).default;
  } catch (e) {
    console.log('skipped: puppeteer-core missing; run npm ci in tests/browser');
    return null;
  }
}

// Starts `tovrane serve` on port (0: any) with a state folder; resolves to
// { url, port, stop() } once it prints its address.
export async function startServer(tovrane, port, stateDir) {
  const server = spawn(tovrane, ['serve', '--port', String(port), '--state', stateDir],
    { stdio: ['ignore', 'pipe', 'inherit'] });
  let said = '';
  const exited = new Promise((resolve) => server.on('exit', (code, signal) => resolve({ code, signal })));
  const url = await new Promise((resolve, reject) => {
    server.stdout.on('data', (chunk) => {
      said += chunk;
      const m = said.match(/http:\/\/[^ ]+\//);
      if (m) resolve(m[0]);
    });
    server.on('exit', () => reject(new Error(`server ended: ${said}`)));
  });
  return {
    url,
    port: Number(url.match(/:(\d+)\//)[1]),
    async stop() {
      server.kill('SIGINT');
      return exited;
    },
  };
}

export function launchBrowser(puppeteer, chromium, work) {
  return puppeteer.launch({
    executablePath: chromium,
    headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
      `--user-data-dir=${path.join(work, 'profile')}`],
  });
}

// A click (touch: a tap) on what selector finds; found again when the board
// was redrawn between finding and clicking.
export async function press(page, selector, touch) {
  for (let attempt = 0; ; attempt++) {
    try {
      const node = await page.waitForSelector(selector, { timeout: 60000 });
      await (touch ? node.tap() : node.click());
      return;
    } catch (e) {
      if (attempt === 4) throw e;
      await sleep(50);
    }
  }
}

// The board as drawn: 36 digits from the pieces' data-square.
export async function pageBoard(page) {
  const squares = await page.$$eval('#board circle.piece', (nodes) =>
    nodes.map((n) => [n.getAttribute('data-square'), n.classList.contains('black') ? '2' : '1']));
  const cells = Array(36).fill('0');
  for (const [sq, v] of squares) {
    const [r, c] = sq.split(',').map(Number);
    cells[r * 6 + c] = v;
  }
  return cells.join('');
}

export const statusStarts = (page, text, timeout = 60000) => page.waitForFunction(
  (t) => document.getElementById('status').textContent.startsWith(t), { timeout }, text);
