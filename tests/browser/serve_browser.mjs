// Drives the `tovrane serve` page in headless Chromium: plays a short game
// against `engine` by clicking, takes a move back, exports the game, and
// replays a match record with the arrow keys. Screenshots go to OUT_DIR.
//
//   node serve_browser.mjs TOVRANE APP_DIR OUT_DIR
//
// Exits 77 (a skip for CTest) when Chromium or puppeteer-core is missing.
import { execFileSync, spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

const [tovrane, appDir, outDir] = process.argv.slice(2);
const chromium = process.env.CHROMIUM || '/usr/bin/chromium';
if (!fs.existsSync(chromium)) {
  console.log(`skipped: no Chromium at ${chromium}; install it (Debian: chromium)`);
  process.exit(77);
}
let puppeteer;
try {
  puppeteer = (await import('puppeteer-core')).default;
} catch (e) {
  console.log('skipped: puppeteer-core missing; run npm ci in tests/browser');
  process.exit(77);
}

function check(ok, what) {
  if (!ok) throw new Error(`check failed: ${what}`);
  console.log(`ok: ${what}`);
}
const tool = (...args) => execFileSync(tovrane, args, { encoding: 'utf8', stdio: ['ignore', 'pipe', 'ignore'] });
const moveWord = (from, to) => `${from[0]}${from[1]}${to[0]}${to[1]}`;

// The board as the page draws it: 36 digits from the pieces' data-square.
async function pageBoard(page) {
  const squares = await page.$$eval('circle.piece', (nodes) =>
    nodes.map((n) => [n.getAttribute('data-square'), n.classList.contains('black') ? '2' : '1']));
  const cells = Array(36).fill('0');
  for (const [sq, v] of squares) {
    const [r, c] = sq.split(',').map(Number);
    cells[r * 6 + c] = v;
  }
  return cells.join('');
}

// The boards `tovrane replay` prints, one per ply (index 0: the start).
function replayBoards(file, game) {
  const boards = [];
  let rows = [];
  for (const line of tool('replay', file, String(game)).split('\n')) {
    const m = line.match(/^ {2}\d ((?: [xo.]){6})$/);
    if (!m) continue;
    rows.push(m[1].replace(/ /g, '').replace(/x/g, '2').replace(/o/g, '1').replace(/\./g, '0'));
    if (rows.length === 6) { boards.push(rows.join('')); rows = []; }
  }
  return boards;
}

fs.mkdirSync(outDir, { recursive: true });
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'tovrane-browser-'));
const server = spawn(tovrane, ['serve', '--port', '0'], { stdio: ['ignore', 'pipe', 'inherit'] });
let serverOut = '';
const url = await new Promise((resolve, reject) => {
  server.stdout.on('data', (chunk) => {
    serverOut += chunk;
    const m = serverOut.match(/http:\/\/[^ ]+\//);
    if (m) resolve(m[0]);
  });
  server.on('exit', () => reject(new Error(`server ended: ${serverOut}`)));
});
const serverExit = new Promise((resolve) => server.on('exit', (code, signal) => resolve({ code, signal })));

const browser = await puppeteer.launch({
  executablePath: chromium,
  headless: true,
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync',
    `--user-data-dir=${path.join(work, 'profile')}`],
});
let failed = false;
try {
  const page = await browser.newPage();
  await page.setViewport({ width: 1180, height: 760 });
  const pageErrors = [];
  page.on('pageerror', (e) => pageErrors.push(e.message));
  await page.goto(url);
  const statusIs = (text) => page.waitForFunction(
    (t) => document.getElementById('status').textContent.startsWith(t), { timeout: 60000 }, text);
  const status = () => page.$eval('#status', (n) => n.textContent);
  await statusIs('Your move (black)');
  const gameId = await page.$eval('#board', (n) => n.dataset.game);
  const state = async () => (await fetch(`${url}api/games/${gameId}`)).json();

  // Play black against engine: each turn click the piece of the first legal
  // move, check the targets drawn against `tovrane moves`, click the target.
  let s = await state();
  if (!s.legal) throw new Error(`no state for game ${gameId}: ${JSON.stringify(s)}`);
  let capturedPath = false;
  for (let turn = 0; turn < 12 && !s.over; turn++) {
    const before = s;
    const first = s.legal[0].move;
    const from = [+first[0], +first[1]];
    await page.click(`rect[data-hit="${from}"]`);
    await page.waitForSelector(`circle.piece.selected[data-square="${from}"]`);
    const drawn = (await page.$$eval('[data-target]', (n) => n.map((x) => x.getAttribute('data-target')))).sort();
    const listed = [...new Set(tool('moves', s.board, '2').split('\n')
      .filter((m) => m.startsWith(`${from[0]}${from[1]}`)).map((m) => `${m[2]},${m[3]}`))].sort();
    check(JSON.stringify(drawn) === JSON.stringify(listed), `turn ${turn + 1}: targets of ${from} are ${drawn.join(' ')}`);
    const to = [+first[2], +first[3]];
    const capture = before.legal[0].capture;
    if (capture) {
      await page.hover(`rect[data-hit="${to}"]`);
      await page.waitForSelector('path.capture-path');
      capturedPath = true;
      await page.screenshot({ path: path.join(outDir, 'serve-capture.png') });
    }
    await page.click(`rect[data-hit="${to}"]`);
    await page.waitForFunction((n) => document.querySelectorAll('#moves li').length >= n ||
      document.getElementById('status').dataset.over === 'yes', { timeout: 60000 }, before.moves.length + 2);
    await page.waitForFunction(() => !document.getElementById('status').textContent.includes('thinking'));
    s = await state();
    check(s.moves[before.moves.length].move === moveWord(from, to), `turn ${turn + 1}: the page played ${first}`);
    if (s.moves.length === before.moves.length + 2) {
      // The engine's reply is what `tovrane choose` picks after our move.
      const cells = before.board.split('');
      cells[to[0] * 6 + to[1]] = cells[from[0] * 6 + from[1]];
      cells[from[0] * 6 + from[1]] = '0';
      const choice = tool('choose', cells.join(''), '1').trim();
      check(s.moves[before.moves.length + 1].move === choice, `turn ${turn + 1}: engine answered ${choice}`);
    }
    check(await pageBoard(page) === s.board, `turn ${turn + 1}: the drawn board is the game's board`);
    if (capture) break;
  }
  check(capturedPath, 'a capture was offered, and pointing at it drew its path');
  await page.screenshot({ path: path.join(outDir, 'serve-play.png') });

  // Analyse: engine's choice for us is what `tovrane choose` picks, marked on the board.
  if (!s.over) {
    await page.click('#analyse');
    await page.waitForFunction(() => document.getElementById('analysis').textContent.includes('would play'));
    const analysis = await page.$eval('#analysis', (n) => n.textContent);
    const scores = `${tool('eval', s.board, '2').trim()} (standard), ${tool('eval', s.board, '2', '--classic').trim()} (classic)`;
    check(analysis.includes(`black to move: ${scores}`) &&
      analysis.match(/would play (\d{4})/)[1] === tool('choose', s.board, '2').trim() &&
      (await page.$$('rect.cell.hint')).length === 2, `analyse: ${analysis.replace('\n', '; ')}`);
  }

  // Take back: our last move and the engine's reply go.
  const beforeBack = s;
  await page.click('#take-back');
  await page.waitForFunction((n) => document.querySelectorAll('#moves li').length === n, {},
    beforeBack.moves.length - 2);
  s = await state();
  check(s.moves.length === beforeBack.moves.length - 2 && await pageBoard(page) === s.board,
    `take back leaves ${s.moves.length} plies on the board and in the list`);

  // Export: the downloaded record is one that `tovrane replay` reads, and it
  // ends on the game's board.
  const cdp = await page.createCDPSession();
  await cdp.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: work });
  await page.click('#export');
  const exported = path.join(work, 'tovrane-game.txt');
  for (let i = 0; i < 100 && !fs.existsSync(exported); i++) await new Promise((r) => setTimeout(r, 50));
  const exportedBoards = replayBoards(exported, 1);
  check(exportedBoards.length === s.moves.length + 1 && exportedBoards.at(-1) === s.board,
    `exported record replays ${s.moves.length} plies to the game's board`);

  // Replay a match record: upload it, pick game 2, step with the keys and
  // compare every board drawn with what `tovrane replay` prints.
  const record = path.join(work, 'match.txt');
  execFileSync(tovrane, ['match', '--engine', `cmd=${path.join(appDir, 'engine')}`,
    '--engine', `cmd=${path.join(appDir, 'engine-classic')}`, '--openings', '1', '--plies', '2',
    '--max-plies', '40', '--concurrency', '1', '--record', record], { stdio: 'ignore' });
  const boards = replayBoards(record, 2);
  await page.click('#tab-replay');
  await (await page.$('#record-file')).uploadFile(record);
  await page.waitForFunction(() => document.querySelectorAll('#replay-game option').length === 2);
  await page.select('#replay-game', '1');
  await page.click('h1');  // keys go to the page, not the list box
  const plyText = () => page.$eval('#replay-ply', (n) => n.textContent);
  let firstCapture = 0;
  for (let k = 1; k < boards.length; k++) {
    await page.keyboard.press('ArrowRight');
    const text = await plyText();
    check(text.startsWith(`ply ${k} of ${boards.length - 1}: `) && await pageBoard(page) === boards[k],
      `replay ply ${k}: ${text}`);
    if (!firstCapture && text.includes('captures')) {
      firstCapture = k;
      await page.waitForSelector('path.capture-path');
      await page.screenshot({ path: path.join(outDir, 'serve-replay.png') });
    }
  }
  await page.keyboard.press('Home');
  check(await pageBoard(page) === boards[0], 'Home goes back to the start');
  await page.keyboard.press('End');
  await page.keyboard.press('ArrowLeft');
  check(await pageBoard(page) === boards.at(-2), 'End then left arrow shows the last ply but one');
  if (!firstCapture) await page.screenshot({ path: path.join(outDir, 'serve-replay.png') });

  // engine-pro with its time budget opens a new game as black.
  await page.click('#tab-play');
  await page.select('#opponent', 'engine-pro');
  check(await page.$eval('#budget-row', (n) => !n.hidden), 'engine-pro shows its seconds per move');
  await page.$eval('#budget', (n) => { n.value = '0.2'; });
  await page.select('#side', 'white');
  await page.click('#new-game');
  await statusIs('Your move (white)');
  check(await page.$$eval('#moves li', (n) => n.length) === 1, `engine-pro moved first: ${await page.$eval('#note', (n) => n.textContent)}`);
  check(pageErrors.length === 0, `no script errors (${pageErrors.join('; ')})`);
} catch (e) {
  failed = true;
  console.error(e.stack || String(e));
} finally {
  await browser.close();
  server.kill('SIGINT');
  const exit = await serverExit;
  console.log(`server: exit ${exit.code} ${exit.signal || ''}; said: ${serverOut.trim().split('\n').join(' | ')}`);
  fs.rmSync(work, { recursive: true, force: true });
}
process.exit(failed ? 1 : 0);
