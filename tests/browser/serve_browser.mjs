// Drives the `tovrane serve` page in headless Chromium: plays a short game
// against `engine` by clicking, draws a hint, takes a move back, exports the
// game, and replays a match record with the arrow keys; then, on a
// phone-sized window, plays a whole game by taps against the weakest level,
// opens the game's link in a new page and goes back in the game through the
// evaluation graph. Screenshots go to OUT_DIR; page weight and the time to
// the first board are printed.
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

// A click (with touch a tap, with 'hover' a pointer move) on what selector
// finds. The board is drawn anew whenever the game or its evaluation
// changes, so a square found may be gone before the click: then it is found
// again.
async function press(page, selector, touch) {
  for (let attempt = 0; ; attempt++) {
    try {
      const node = await page.waitForSelector(selector, { timeout: 60000 });
      await (touch === 'hover' ? node.hover() : touch ? node.tap() : node.click());
      return;
    } catch (e) {
      if (attempt === 4) throw e;
      await new Promise((r) => setTimeout(r, 50));
    }
  }
}

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
const stateDir = path.join(work, 'state');
const server = spawn(tovrane, ['serve', '--port', '0', '--state', stateDir], { stdio: ['ignore', 'pipe', 'inherit'] });
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
  await page.setViewport({ width: 1280, height: 800 });
  const pageErrors = [];
  page.on('pageerror', (e) => pageErrors.push(e.message));
  await page.goto(url);
  const statusIs = (text, on = page) => on.waitForFunction(
    (t) => document.getElementById('status').textContent.startsWith(t), { timeout: 60000 }, text);
  await statusIs('Your move (black)');
  await page.waitForFunction(() => document.getElementById('evalbar').dataset.black !== '');
  // What the page weighs (its own files, then the API answers up to the
  // first board) and when the first board was drawn.
  const weight = await page.evaluate(() => {
    const nav = performance.getEntriesByType('navigation')[0];
    const files = performance.getEntriesByType('resource').filter((r) => !r.name.includes('/api/'));
    const apis = performance.getEntriesByType('resource').filter((r) => r.name.includes('/api/'));
    const sum = (list, key = 'encodedBodySize') => list.reduce((n, r) => n + r[key], 0);
    return { page: nav.encodedBodySize + sum(files), files: files.length + 1, api: sum(apis),
      unpacked: nav.decodedBodySize + sum(files, 'decodedBodySize'),
      firstBoard: performance.getEntriesByName('first-board')[0].startTime, load: nav.loadEventEnd };
  });
  console.log(`page weight: ${weight.page} bytes sent (${weight.unpacked} unpacked) in ${weight.files} files, ` +
    `API answers ${weight.api} bytes; first board drawn ${weight.firstBoard.toFixed(0)} ms after navigation start ` +
    `(load event ${weight.load.toFixed(0)} ms)`);
  check(!(await page.evaluate(() => performance.getEntriesByType('resource')
    .some((r) => !r.name.startsWith(location.origin)))), 'every request goes to the server itself');
  // The opponent for the clicks: engine, whose replies `tovrane choose` knows.
  await page.select('#opponent', 'engine');
  const firstGame = await page.$eval('#board', (n) => n.dataset.game);
  await page.click('#new-game');
  await page.waitForFunction((old) => document.getElementById('board').dataset.game !== old, {}, firstGame);
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
    await press(page, `rect[data-hit="${from}"]`);
    await page.waitForSelector(`circle.piece.selected[data-square="${from}"]`);
    const drawn = (await page.$$eval('[data-target]', (n) => n.map((x) => x.getAttribute('data-target')))).sort();
    const listed = [...new Set(tool('moves', s.board, '2').split('\n')
      .filter((m) => m.startsWith(`${from[0]}${from[1]}`)).map((m) => `${m[2]},${m[3]}`))].sort();
    check(JSON.stringify(drawn) === JSON.stringify(listed), `turn ${turn + 1}: targets of ${from} are ${drawn.join(' ')}`);
    const to = [+first[2], +first[3]];
    const capture = before.legal[0].capture;
    if (capture) {
      await press(page, `rect[data-hit="${to}"]`, 'hover');
      await page.waitForSelector('path.capture-path');
      capturedPath = true;
      await page.screenshot({ path: path.join(outDir, 'serve-capture.png') });
    }
    await press(page, `rect[data-hit="${to}"]`);
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

  // Hint: an arrow of the best move, the evaluation's best for this position.
  if (!s.over) {
    await page.click('#hint');
    await page.waitForSelector('line.hint-arrow');
    const drawn = await page.$eval('line.hint-arrow', (n) => n.getAttribute('data-hint'));
    const evals = await (await fetch(`${url}api/games/${gameId}/evaluate`, { method: 'POST', body: '{}' })).json();
    const best = evals.evals[s.moves.length].best;
    const legal = tool('moves', s.board, '2').split('\n');
    check(drawn === `${best[0]},${best[1]}>${best[2]},${best[3]}` && legal.includes(best) &&
      (await page.$$('rect.cell.hint')).length === 2, `hint: the arrow shows ${best}, a legal move`);
    await page.screenshot({ path: path.join(outDir, 'serve-desktop.png') });
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
  await page.click('#share-panel summary');
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

  // On a phone: no sideways scrolling from 360 px up; a whole game by taps
  // against level 1, each move the hint's.
  const phone = await browser.newPage();
  phone.on('pageerror', (e) => pageErrors.push(e.message));
  const scrolls = [];
  for (const width of [360, 1024]) {
    await phone.setViewport({ width, height: 740, isMobile: width < 800, hasTouch: width < 800 });
    await phone.goto(url);
    await statusIs('Your move', phone);
    scrolls.push(await phone.evaluate(() => document.documentElement.scrollWidth - innerWidth));
  }
  await phone.setViewport({ width: 375, height: 667, isMobile: true, hasTouch: true });
  await phone.goto(url);
  await statusIs('Your move', phone);
  scrolls.push(await phone.evaluate(() => document.documentElement.scrollWidth - innerWidth));
  check(scrolls.every((x) => x === 0), `no sideways scrolling at 360, 1024 and 375 px (${scrolls.join(', ')})`);
  const boardBox = await (await phone.$('#board')).boundingBox();
  check(boardBox.x >= 0 && boardBox.x + boardBox.width <= 375 && boardBox.width > 300,
    `the board fills the phone's width (${boardBox.width.toFixed(0)} px)`);
  await phone.select('#opponent', 'level-1');
  await phone.select('#side', 'black');
  const phoneFirst = await phone.$eval('#board', (n) => n.dataset.game);
  await press(phone, '#new-game', true);
  await phone.waitForFunction((old) => document.getElementById('board').dataset.game !== old, {}, phoneFirst);
  await statusIs('Your move (black)', phone);
  const phoneGame = async () => (await fetch(`${url}api/games/${await phone.$eval('#board', (n) => n.dataset.game)}`)).json();
  let g = await phoneGame();
  let turns = 0;
  while (!g.over) {
    if (++turns > 250) throw new Error('the game against level 1 did not end');
    // Hint toggles: a tap the page took while puppeteer reported it failed
    // (a loaded machine) is not repeated blindly.
    for (let i = 0; i < 3 && !(await phone.$('line.hint-arrow')); i++) {
      if (!(await phone.evaluate(() => ui.hint))) await press(phone, '#hint', true);
      await phone.waitForSelector('line.hint-arrow', { timeout: 20000 }).catch(() => {});
    }
    await phone.waitForSelector('line.hint-arrow', { timeout: 60000 });
    const [from, to] = (await phone.$eval('line.hint-arrow', (n) => n.getAttribute('data-hint'))).split('>');
    if (await phone.$eval('#browse-bar', (n) => !n.hidden)) throw new Error('the tap on Hint went elsewhere: browsing');
    for (let i = 0; i < 3 && !(await phone.$(`circle.piece.selected[data-square="${from}"]`)); i++) {
      await press(phone, `rect[data-hit="${from}"]`, true);
      await phone.waitForSelector(`circle.piece.selected[data-square="${from}"]`, { timeout: 10000 }).catch(() => {});
    }
    await phone.waitForSelector(`circle.piece.selected[data-square="${from}"]`);
    const movesBefore = await phone.$$eval('#moves li', (n) => n.length);
    await press(phone, `rect[data-hit="${to}"]`, true);
    if (await phone.$(`circle.target-capture[data-target="${to}"]`)) {
      // By touch the first tap on a capture shows its path and plays nothing.
      await phone.waitForSelector('path.capture-path');
      check(await phone.$$eval('#moves li', (n) => n.length) === movesBefore,
        `phone turn ${turns}: the first tap on the capture ${from} to ${to} shows its path only`);
      await press(phone, `rect[data-hit="${to}"]`, true);
    }
    await phone.waitForFunction((n) => {
      const status = document.getElementById('status');
      return status.dataset.over === 'yes' || (document.querySelectorAll('#moves li').length >= n &&
        status.textContent.startsWith('Your move'));
    }, { timeout: 60000 }, g.moves.length + 2);
    g = await phoneGame();
    check(await pageBoard(phone) === g.board, `phone turn ${turns}: tapped ${from} to ${to}, the drawn board is the game's`);
    if (turns === 6) {
      await phone.waitForFunction(() => document.getElementById('evalbar').dataset.black !== '' &&
        !document.getElementById('eval-text').textContent.startsWith('evaluating'));
      await phone.screenshot({ path: path.join(outDir, 'serve-phone.png') });
    }
  }
  await phone.waitForFunction(() => !document.getElementById('result-panel').hidden &&
    !document.getElementById('summary').textContent.includes('Evaluating'), { timeout: 60000 });
  const result = await phone.$eval('#result-title', (n) => n.textContent);
  // Against an engine the end says it from the player's side.
  check(result === `${g.result === 'draw' ? 'Draw' : g.result === 'black' ? 'You win' : 'You lost'}`,
    `the game against level 1 ended after ${g.moves.length} plies: ${result}, ${g.reason}`);
  await phone.screenshot({ path: path.join(outDir, 'serve-phone-end.png'), fullPage: true });

  // The link opens the same position, in a new page.
  const link = await phone.$eval('#share-link', (n) => n.value);
  const shared = await browser.newPage();
  shared.on('pageerror', (e) => pageErrors.push(e.message));
  await shared.setViewport({ width: 375, height: 667, isMobile: true, hasTouch: true });
  await shared.goto(link);
  await shared.waitForFunction(() => document.getElementById('status').dataset.over === 'yes');
  check(await pageBoard(shared) === g.board && await shared.$$eval('#moves li', (n) => n.length) === g.moves.length &&
    await shared.$eval('#status', (n) => n.textContent) === await phone.$eval('#status', (n) => n.textContent),
  `the shared link (${link.length} characters) opens the same ${g.moves.length} plies and result`);

  // A tap on the graph's middle shows the position of that ply.
  await press(shared, '#graph', true);
  await shared.waitForSelector('#browse-bar:not([hidden])');
  const ply = Number((await shared.$eval('#browse-text', (n) => n.textContent)).match(/ply (\d+)/)[1]);
  check(Math.abs(ply - g.moves.length / 2) <= 1 && await pageBoard(shared) === g.boards[ply],
    `the graph went to ply ${ply}, and the board is that ply's`);
  check(pageErrors.length === 0, `no script errors (${pageErrors.join('; ')})`);
} catch (e) {
  failed = true;
  console.error(e.stack || String(e));
  // What each page showed when it failed.
  const within = (promise) => Promise.race([promise, new Promise((r) => setTimeout(r, 5000))]).catch(() => {});
  for (const [i, p] of (await within(browser.pages()) || []).entries()) {
    await within(p.screenshot({ path: path.join(outDir, `failed-${i}.png`) }));
    console.error(`page ${i}:`, await within(p.evaluate(() => typeof ui === 'undefined' ? 'no page state' : JSON.stringify({
      view: ui.view, busy: ui.busy, selected: ui.selected, hint: ui.hint, human: ui.human,
      toMove: ui.game && ui.game.toMove, status: document.getElementById('status').textContent,
      scrollY, evals: ui.evals.length }))));
  }
} finally {
  await browser.close();
  server.kill('SIGINT');
  const exit = await serverExit;
  console.log(`server: exit ${exit.code} ${exit.signal || ''}; said: ${serverOut.trim().split('\n').join(' | ')}`);
  fs.rmSync(work, { recursive: true, force: true });
}
process.exit(failed ? 1 : 0);
