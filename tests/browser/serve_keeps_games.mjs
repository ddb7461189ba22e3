// Drives the `tovrane serve` page in headless Chromium through what used
// to lose games or hide the play: a failed load, reloads, second tabs, a
// server restart, a double click, seconds out of range, take back and new
// game while the engine thinks, a lost-on-time game; then the moves'
// travel, the touch preview of a capture, the rules panel, the phone's
// sizes, play by keyboard and the live region, and an accessibility audit
// (axe-core) of the play and replay views.
//
//   node serve_keeps_games.mjs TOVRANE APP_DIR OUT_DIR
//
// Exits 77 (a skip for CTest) when Chromium or puppeteer-core is missing.
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { createRequire } from 'node:module';
import { check, launchBrowser, loadPuppeteer, pageBoard, press, sleep, startServer, statusStarts } from './harness.mjs';

const [tovrane, appDir, outDir] = process.argv.slice(2);
const chromium = process.env.CHROMIUM || '/usr/bin/chromium';
const puppeteer = await loadPuppeteer(chromium);
if (!puppeteer) process.exit(77);
const axePath = createRequire(import.meta.url).resolve('axe-core/axe.min.js');

fs.mkdirSync(outDir, { recursive: true });
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'tovrane-keeps-'));
const stateDir = path.join(work, 'state');
let server = await startServer(tovrane, 0, stateDir);
const url = server.url;
const browser = await launchBrowser(puppeteer, chromium, work);
const pageErrors = [];
const busyAnswers = [];  // 503s the pages got

async function newPage(width = 1280, height = 800, touch = false) {
  const page = await browser.newPage();
  await page.setViewport({ width, height, isMobile: touch, hasTouch: touch });
  page.on('pageerror', (e) => pageErrors.push(e.message));
  page.on('response', (r) => { if (r.status() === 503) busyAnswers.push(r.url()); });
  return page;
}
const api = async (method, route, body) => {
  const res = await fetch(`${url}${route}`, { method, body: body === undefined ? undefined : JSON.stringify(body) });
  return res.json();
};
const gameId = (page) => page.$eval('#board', (n) => n.dataset.game);
const stateOf = async (page) => api('GET', `api/games/${await gameId(page)}`);
const movesShown = (page) => page.$$eval('#moves li', (n) => n.length);
const noteText = (page) => page.$eval('#note', (n) => n.textContent);

// Starts a game from the form: opponent, side, and engine-pro's seconds.
async function formGame(page, opponent, side = 'black', budget = null) {
  const before = await gameId(page);
  await page.select('#opponent', opponent);
  if (opponent !== 'two') await page.select('#side', side);
  if (budget !== null) await page.$eval('#budget', (n, v) => { n.value = v; }, String(budget));
  await page.click('#new-game');
  await page.waitForFunction((old) => document.getElementById('board').dataset.game !== old, {}, before);
}

// Plays move by clicks (touch: taps) on its two squares.
async function clickMove(page, move, touch) {
  await press(page, `rect[data-hit="${move[0]},${move[1]}"]`, touch);
  await page.waitForSelector(`circle.piece.selected[data-square="${move[0]},${move[1]}"]`);
  await press(page, `rect[data-hit="${move[2]},${move[3]}"]`, touch);
}

// Waits until the page shows n plies and it is the player's move (or over).
const settled = (page, n) => page.waitForFunction((count) => {
  const status = document.getElementById('status');
  return document.querySelectorAll('#moves li').length === count &&
    (status.textContent.startsWith('Your move') || status.dataset.over === 'yes');
}, { timeout: 60000 }, n);

const firstStep = (state) => state.legal.find((m) => !m.capture).move;

async function audit(page, what) {
  await page.addScriptTag({ path: axePath });
  const found = await page.evaluate(async () => {
    const result = await axe.run(document, { resultTypes: ['violations'] });
    return result.violations.filter((v) => v.impact === 'serious' || v.impact === 'critical')
      .map((v) => `${v.id}: ${v.nodes.slice(0, 3).map((n) => n.target.join(' ')).join(', ')}`);
  });
  check(found.length === 0, `axe-core finds nothing serious or critical in the ${what} view (${found.join('; ')})`);
}

let failed = false;
try {
  const page = await newPage();
  await page.goto(url);
  await statusStarts(page, 'Your move (black)');
  await formGame(page, 'level-1');
  await statusStarts(page, 'Your move (black)');

  // 5. A double click on a target sends one move; no false error.
  let s = await stateOf(page);
  let move = firstStep(s);
  await press(page, `rect[data-hit="${move[0]},${move[1]}"]`);
  await page.waitForSelector(`circle.piece.selected[data-square="${move[0]},${move[1]}"]`);
  // The engine is asked only after the player's move has travelled.
  await page.evaluate(() => {
    window.travelLog = [];
    const animate = view.animate;
    view.animate = async (m, ms) => {
      travelLog.push(`start ${m.from}>${m.to}`);
      await animate(m, ms);
      travelLog.push(`end ${m.from}>${m.to}`);
    };
    const send = window.fetch;
    window.fetch = (target, init) => {
      if (String(target).endsWith('/engine')) travelLog.push('engine asked');
      return send(target, init);
    };
  });
  const target = await (await page.$(`rect[data-hit="${move[2]},${move[3]}"]`)).boundingBox();
  await page.mouse.click(target.x + target.width / 2, target.y + target.height / 2, { count: 2 });
  // 7. Something moves: a piece is seen between the squares' centres.
  const midway = await page.waitForFunction(() => {
    const centres = [...document.querySelectorAll('#board rect.hit')].map((r) => +r.getAttribute('x') + +r.getAttribute('width') / 2);
    return [...document.querySelectorAll('#board circle.piece')]
      .some((c) => !centres.some((x) => Math.abs(x - +c.getAttribute('cx')) < 0.5));
  }, { polling: 'raf', timeout: 5000 }).then(() => true, () => false);
  await settled(page, s.moves.length + 2);
  const after = await stateOf(page);
  check(after.moves.length === s.moves.length + 2 && after.moves[s.moves.length].move === move &&
    !(await page.$eval('#note', (n) => n.classList.contains('error'))),
  `5: a double click on ${move} played it once, no error shown (${await noteText(page)})`);
  check(midway, '7: the move travelled: a piece was drawn between squares');
  const log = await page.evaluate(() => travelLog);
  const asked = log.indexOf('engine asked');
  check(asked > log.indexOf(`end ${move[0]},${move[1]}>${move[2]},${move[3]}`) && asked >= 0 &&
    log.slice(asked + 1).some((x) => x.startsWith('start')),
  `7: the engine was asked after the player's move arrived, and its reply travelled too (${log.join(', ')})`);
  check(await pageBoard(page) === after.board, 'the board drawn after both moves is the game\'s');

  // 1. A load that fails leaves the game on screen as it was, and playable.
  s = after;
  await page.click('#share-panel summary');
  await page.$eval('#load-text', (n) => { n.value = '1223 1223'; });
  await page.click('#load');
  await page.waitForFunction(() => document.getElementById('note').textContent.includes('not a legal move'));
  check(await gameId(page) === s.id && await pageBoard(page) === s.board && await movesShown(page) === s.moves.length,
    `1: the failed load (${await noteText(page)}) left game ${s.id} on screen`);
  move = firstStep(s);
  await clickMove(page, move);
  await settled(page, s.moves.length + 2);
  check((await stateOf(page)).moves.length === s.moves.length + 2, '1: ... and the game plays on');
  await page.click('#share-panel summary');

  // 4. After a server restart the next move is played in the same game.
  s = await stateOf(page);
  await server.stop();
  server = await startServer(tovrane, server.port, stateDir);
  move = firstStep(s);
  await clickMove(page, move);
  await settled(page, s.moves.length + 2);
  const restarted = await stateOf(page);
  check(restarted.id === s.id && restarted.moves.length === s.moves.length + 2 && !(await noteText(page)).includes('no game'),
    `4: after a server restart ${move} was played in game ${s.id}`);

  // 2. A second tab on the link sees the first tab's moves; take back says
  // what it took.
  const second = await newPage();
  await second.goto(await page.$eval('#share-link', (n) => n.value));
  await settled(second, restarted.moves.length);
  check(await gameId(second) === restarted.id, '2: the link opens the same game in a second tab');
  move = firstStep(restarted);
  await page.bringToFront();
  await clickMove(page, move);
  await settled(page, restarted.moves.length + 2);
  await second.bringToFront();  // a hidden tab looks again when shown
  await settled(second, restarted.moves.length + 2);
  await page.bringToFront();
  check(await pageBoard(second) === (await stateOf(page)).board, '2: the move made in the first tab shows in the second');
  await page.click('#take-back');
  await page.waitForFunction(() => document.getElementById('note').textContent.startsWith('Took back'));
  check((await noteText(page)).startsWith('Took back 2 plies'), `a take-back says so: ${await noteText(page)}`);
  await second.bringToFront();
  await settled(second, restarted.moves.length);
  await second.close();
  await page.bringToFront();

  // 2. A resigned game stays resigned after a reload.
  await page.click('#resign');
  await page.click('#resign');
  await page.waitForFunction(() => document.getElementById('status').dataset.over === 'yes');
  await page.reload();
  await page.waitForFunction(() => document.getElementById('status').dataset.over === 'yes');
  check((await page.$eval('#status', (n) => n.textContent)).includes('resigned'),
    `2: after a reload the resigned game is over: ${await page.$eval('#status', (n) => n.textContent)}`);

  // 2. A clock game keeps its clock over a reload; a lost-on-time game
  // stays lost, and shows no win chance.
  await page.select('#clock', '60+0');
  await formGame(page, 'level-1');
  await statusStarts(page, 'Your move (black)');
  await page.reload();
  await statusStarts(page, 'Your move (black)');
  check(await page.$eval('#player-bottom .clock', (n) => n.textContent) !== '', '2: a reload keeps the clock');
  await page.select('#clock', '');
  const flagged = await api('POST', 'api/games', { clock: { seconds: 1 }, settings: { vs: 'two' } });
  await page.goto(`${url}#game=${flagged.id}`);
  await page.waitForFunction(() => document.getElementById('status').dataset.over === 'yes', { timeout: 20000 });
  await page.reload();
  await page.waitForFunction(() => document.getElementById('status').dataset.over === 'yes');
  const flagText = await page.$eval('#status', (n) => n.textContent);
  check(flagText.includes('ran out of time') && !(await page.$eval('#eval-text', (n) => n.textContent)).includes('Win chance'),
    `2: a lost-on-time game stays lost after a reload, no win chance shown: ${flagText}`);

  // 3. Seconds out of range are refused at the field, before a game.
  const kept = await gameId(page);
  await page.select('#opponent', 'engine-pro');
  await page.$eval('#budget', (n) => { n.value = '30'; });
  await page.click('#new-game');
  await page.waitForFunction(() => document.getElementById('budget-error').textContent !== '');
  const fieldSays = await page.$eval('#budget-error', (n) => n.textContent);
  check(fieldSays.includes('0.01') && fieldSays.includes('10') && await gameId(page) === kept,
    `3: 30 seconds refused at the field (${fieldSays}), the game on screen kept`);
  const linkPage = await newPage();
  await linkPage.goto(`${url}#vs=engine-pro&you=white&seconds=30&rules=draw80&moves=`);
  await linkPage.waitForFunction(() => document.getElementById('budget-error').textContent !== '');
  check((await linkPage.$eval('#status', (n) => n.textContent)).startsWith('No game yet'),
    '3: a link with 30 seconds opens no dead game: the field says the range');
  await linkPage.close();
  await page.bringToFront();

  // 6. While the engine thinks: take back and new game work and stop it.
  await formGame(page, 'engine-pro', 'black', 10);  // the longest: the reload and new game below must come first
  await statusStarts(page, 'Your move (black)');
  s = await stateOf(page);
  await clickMove(page, firstStep(s));
  await statusStarts(page, 'engine-pro is thinking');
  check(!(await page.$eval('#take-back', (n) => n.disabled)) && !(await page.$eval('#resign', (n) => n.disabled)) &&
    !(await page.$eval('#new-game', (n) => n.disabled)), '6: take back, resign and new game are open while the engine thinks');
  await page.click('#take-back');
  await settled(page, 0);
  check(!(await stateOf(page)).thinking, '6: take back while the engine thought: the game is back at the start, no search');
  await clickMove(page, firstStep(s));
  await statusStarts(page, 'engine-pro is thinking');
  const thinkingGame = await gameId(page);
  busyAnswers.length = 0;
  await page.reload();  // the leaving page stops its search; the new one asks anew
  await statusStarts(page, 'engine-pro is thinking', 20000);
  await formGame(page, 'level-1');
  let left = await api('GET', `api/games/${thinkingGame}`);
  for (let i = 0; i < 50 && left.thinking; i++) {
    await sleep(100);
    left = await api('GET', `api/games/${thinkingGame}`);
  }
  check(!left.thinking && left.moves.length === 1,
    `6: a reload and then a new game while engine-pro thought left no search running (thinking ${left.thinking}, ${left.moves.length} plies, ${busyAnswers.length} busy answers)`);

  // 7. A capture travels its path and stays marked with it; the board's
  // keyboard plays it (11), and the live region says it.
  const example = '000000000200000000010000000010000000';  // black 1 3, white 3 1 and 4 4
  const set = await api('POST', 'api/games', { start: { board: example, side: 'black' }, settings: { vs: 'two' } });
  await page.goto(`${url}#game=${set.id}`);
  await statusStarts(page, 'Black to move');
  await page.$eval('#board', (n) => n.focus());
  const focusAt = async () => page.$eval('rect.focus-ring', (n) => n.getAttribute('data-focus'));
  const walkTo = async (sq) => {
    for (let i = 0; i < 12 && (await focusAt()) !== sq; i++) {
      const [r, c] = (await focusAt()).split(',').map(Number);
      const [tr, tc] = sq.split(',').map(Number);
      await page.keyboard.press(r !== tr ? (tr > r ? 'ArrowUp' : 'ArrowDown') : (tc > c ? 'ArrowLeft' : 'ArrowRight'));
    }
  };
  await page.keyboard.press('ArrowUp');  // the focus square shows
  await walkTo('1,3');
  await page.keyboard.press('Enter');
  await page.waitForSelector('circle.piece.selected[data-square="1,3"]');
  await walkTo('3,1');
  await page.keyboard.press('Enter');
  await statusStarts(page, 'White to move');
  const captured = await stateOf(page);
  check(captured.moves.length === 1 && captured.moves[0].move === '1331' && captured.moves[0].capture,
    '11: the capture 1331 was played with the arrow keys and Enter alone');
  check(await page.$('path.last-path') !== null, '7: the last capture stays marked with its path');
  await page.waitForFunction(() => document.getElementById('announce').textContent.includes('captured'));
  check(true, `11: the live region said: ${await page.$eval('#announce', (n) => n.textContent)}`);

  // 7. A reader who asks the system for less motion gets moves that jump.
  const calm = await newPage();
  await calm.emulateMediaFeatures([{ name: 'prefers-reduced-motion', value: 'reduce' }]);
  await calm.goto(url);
  await statusStarts(calm, 'Your move');
  check(await calm.$eval('#speed', (n) => n.value) === 'off', '7: with prefers-reduced-motion the moves do not travel');
  await calm.close();
  await page.bringToFront();

  // 9. The rules panel: the goal, the circuits with the corners, each preset.
  await page.click('#rules-open');
  await page.waitForSelector('#rules-dialog[open]');
  const rules = await page.$eval('#rules-dialog', (n) => ({
    text: n.textContent, corners: n.querySelectorAll('.corner-mark').length,
    presets: n.querySelectorAll('#rules-presets li').length, circuits: n.querySelectorAll('path.circuit').length,
  }));
  check(rules.text.includes('Goal') && rules.text.includes('never compulsory') && rules.corners === 4 &&
    rules.presets === 3 && rules.circuits === 4, `9: the rules panel shows the goal, captures, the corners and ${rules.presets} presets`);
  await page.screenshot({ path: path.join(outDir, 'serve-rules.png') });
  await page.click('#rules-close');
  check((await page.$eval('#rules-meaning', (n) => n.textContent)).includes('plies'), '9: the chosen preset is explained beside its menu');
  await formGame(page, 'level-1');
  await statusStarts(page, 'Your move (black)');
  await audit(page, 'play');

  // 8, 10. On a phone: a capture previewed by a first tap; sizes.
  const phone = await newPage(375, 667, true);
  const touchGame = await api('POST', 'api/games', { start: { board: example, side: 'black' }, settings: { vs: 'two' } });
  await phone.goto(`${url}#game=${touchGame.id}`);
  await statusStarts(phone, 'Black to move');
  await clickMove(phone, '1331', true);
  await phone.waitForSelector('path.capture-path');
  check((await stateOf(phone)).moves.length === 0, '8: by touch the first tap on a capture shows its path and plays nothing');
  await press(phone, 'rect[data-hit="3,1"]', true);
  await statusStarts(phone, 'White to move');
  check((await stateOf(phone)).moves.length === 1, '8: the second tap captures');
  check((await phone.$eval('#help-device', (n) => n.textContent)).includes('Tap a red ring once'), '8: the help speaks of taps on a phone');
  const sizes = await phone.evaluate(() => {
    const box = (n) => n.getBoundingClientRect();
    const shown = (n) => box(n).width > 0 && getComputedStyle(n).visibility !== 'hidden';
    return {
      square: Math.min(...[...document.querySelectorAll('#board rect.hit')].map((n) => box(n).width)),
      label: Math.min(...[...document.querySelectorAll('#board text.label')].map((n) => box(n).height)),
      barText: parseFloat(getComputedStyle(document.querySelector('.evalbar-label')).fontSize),
      control: Math.min(...[...document.querySelectorAll('button, select')].filter(shown).map((n) => box(n).height)),
      rulesButton: box(document.getElementById('rules-open')).bottom,
    };
  });
  check(sizes.square >= 44 && sizes.label >= 12 && sizes.barText >= 12 && sizes.control >= 44 && sizes.rulesButton < 667,
    `10: on a 375 px phone squares ${sizes.square.toFixed(1)} px, labels ${sizes.label.toFixed(1)} px, bar number ` +
    `${sizes.barText} px, controls at least ${sizes.control.toFixed(1)} px, the Rules button on the first screen`);
  await phone.screenshot({ path: path.join(outDir, 'serve-phone-capture.png') });

  // 10. The replay's step buttons within reach; ply numbers in its list.
  const record = path.join(work, 'match.txt');
  execFileSync(tovrane, ['match', '--engine', `cmd=${path.join(appDir, 'engine')}`,
    '--engine', `cmd=${path.join(appDir, 'engine-classic')}`, '--openings', '1', '--plies', '2',
    '--max-plies', '30', '--concurrency', '1', '--record', record], { stdio: 'ignore' });
  await press(phone, '#tab-replay', true);
  await (await phone.$('#record-file')).uploadFile(record);
  await phone.waitForFunction(() => document.querySelectorAll('#replay-moves li').length > 0);
  await phone.evaluate(() => window.scrollTo(0, 0));
  const next = await phone.$eval('#next', (n) => n.getBoundingClientRect().bottom);
  check(next <= 667 && (await phone.$eval('#replay-moves li', (n) => n.textContent)).startsWith('1. '),
    `10: the replay's step buttons end at ${next.toFixed(0)} px, on the first screen; the list numbers its plies`);
  // The replay's marks are `tovrane analyse`'s, and the graph shows them.
  const expected = execFileSync(tovrane, ['analyse', record, '1'], { encoding: 'utf8', stdio: ['ignore', 'pipe', 'ignore'] })
    .split('\n').map((line) => line.trim().split(/\s+/)).filter((t) => /^\d+$/.test(t[0]) && /^[0-5]{4}$/.test(t[2]))
    .map((t) => (t.length === 10 ? t[8] : ''));
  await phone.waitForFunction(() => document.getElementById('replay-analysis').textContent.startsWith("engine-pro's analysis"),
    { timeout: 200000 });
  const shownMarks = await phone.$$eval('#replay-moves li', (n) => n.map((li) => li.dataset.mark));
  const dots = await phone.$$eval('#replay-graph circle.bad', (n) => n.length);
  check(expected.length > 0 && JSON.stringify(shownMarks) === JSON.stringify(expected) &&
    dots === expected.filter((m) => m).length,
  `the replay marks ${dots} plies as tovrane analyse does (${await phone.$eval('#replay-analysis', (n) => n.textContent)})`);
  await press(phone, '#next', true);
  await audit(phone, 'replay');

  // A record that kept the engines' thinking: the graph draws its scores.
  const thought = path.join(work, 'thought.txt');
  execFileSync(tovrane, ['match', '--engine', `cmd=${path.join(appDir, 'engine-pro')}`, 'arg=--info',
    '--engine', `cmd=${path.join(appDir, 'engine')}`, '--openings', '1', '--plies', '2',
    '--max-plies', '6', '--concurrency', '1', '--record', thought], { stdio: 'ignore' });
  const scored = fs.readFileSync(thought, 'utf8').split('\ngame 2')[0].split('\n').filter((l) => /^\d+ (black|white) \d{4} [\d.]+ depth /.test(l)).length;
  await (await phone.$('#record-file')).uploadFile(thought);
  await phone.waitForFunction(() => document.getElementById('replay-graph').dataset.source === 'record');
  const points = await phone.$eval('#replay-graph', (n) => Number(n.dataset.points));
  check(scored > 0 && points === scored + 1,
    `a record whose first game has ${scored} thinking lines: the replay's graph draws their scores (${points} points with the start)`);
  check(pageErrors.length === 0, `no script errors (${pageErrors.join('; ')})`);
} catch (e) {
  failed = true;
  console.error(e.stack || String(e));
  const within = (promise) => Promise.race([promise, sleep(5000)]).catch(() => {});
  for (const [i, p] of (await within(browser.pages()) || []).entries()) {
    await within(p.screenshot({ path: path.join(outDir, `keeps-failed-${i}.png`) }));
    console.error(`page ${i}:`, await within(p.evaluate(() => typeof ui === 'undefined' ? 'no page' : JSON.stringify({
      status: document.getElementById('status').textContent, note: document.getElementById('note').textContent,
      busy: ui.busy, sending: ui.sending, animating: ui.animating, plies: ui.game && ui.game.moves.length,
      shown: document.querySelectorAll('#moves li').length }))));
  }
} finally {
  await browser.close();
  const exit = await server.stop();
  console.log(`server: exit ${exit.code} ${exit.signal || ''}`);
  fs.rmSync(work, { recursive: true, force: true });
}
process.exit(failed ? 1 : 0);
