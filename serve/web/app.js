// The page: play against a level or an engine, or two people on one screen;
// the evaluation bar and graph, hints, the summary after a game, links to
// games, and replay of record files. Every rule decision (legal moves,
// capture paths, the result) and every evaluation comes from the server.
'use strict';

const $ = (id) => document.getElementById(id);

async function api(method, path, body, type) {
  const init = { method, headers: {} };
  if (body !== undefined) {
    init.headers['Content-Type'] = type || 'application/json';
    init.body = type ? body : JSON.stringify(body);
  }
  const res = await fetch(path, init);
  let data = null;
  try { data = await res.json(); } catch (e) { data = null; }
  if (!res.ok) {
    const error = new Error((data && data.error) || `${res.status} ${res.statusText}`);
    error.status = res.status;
    throw error;
  }
  return data;
}

const squareOf = (word, from) => from ? [+word[0], +word[1]] : [+word[2], +word[3]];
const moveSquares = (word) => ({ from: squareOf(word, true), to: squareOf(word, false) });
const seconds = (s) => `${s.toFixed(3)} s`;
const other = (side) => side === 'black' ? 'white' : 'black';
const capital = (word) => word[0].toUpperCase() + word.slice(1);
const TWO = 'two';  // the opponent value of two people on one screen

const ui = {
  mode: 'play',
  engines: [],
  rules: [],
  circuits: null,
  // play
  game: null,
  human: 'black',       // 'both' with two players
  opponent: null,       // null with two players
  budget: 1,
  selected: null,
  busy: false,
  flipped: true,
  hint: false,          // the hint arrow is wanted for the shown position
  view: null,           // a ply number while browsing, null for the live position
  evals: [],            // per position: {score, chance, best, depth, winIn} or null
  evalsFor: '',         // the moves the evaluations belong to
  evalRunning: false,
  evalAgain: false,
  clockAt: 0,           // performance.now() when the clock was read
  flagAsked: false,
  firstBoard: false,
  // replay
  games: [],
  replayGame: null,
  replayPly: 0,
  replayFlipped: false,
};

const view = BoardView.create($('board'), onSquareClick, onSquareHover);

function note(text, error) {
  $('note').textContent = text || '';
  $('note').classList.toggle('error', !!error);
}

const twoPlayers = () => ui.human === 'both';
const myTurn = (g) => g && !g.over && (twoPlayers() || g.toMove === ui.human);
const shownPly = () => (ui.view === null ? ui.game.moves.length : ui.view);
const sideAt = (g, ply) => (ply % 2 === 0 ? g.startSide : other(g.startSide));

function targetsOfSelected() {
  if (!ui.selected || !ui.game || ui.view !== null) return [];
  return ui.game.legal
    .filter((m) => m.move[0] == ui.selected[0] && m.move[1] == ui.selected[1])
    .map((m) => ({ to: squareOf(m.move, false), capture: m.capture, path: m.path, move: m.move }));
}

// Evaluation

// The evaluation of the shown position, or null.
function shownEval() {
  if (!ui.game) return null;
  return ui.evals[shownPly()] || null;
}

function evalWords(e) {
  if (!e) return 'evaluating…';
  if (e.winIn !== null) {
    const winner = e.score > 0 ? 'black' : 'white';
    return Math.abs(e.winIn) === 0 ? `${capital(winner)} has won.` : `${capital(winner)} wins by force in ${Math.abs(e.winIn)} plies.`;
  }
  const black = Math.round(e.chance * 100);
  const lead = e.score === 0 ? 'even' : `${e.score > 0 ? 'black' : 'white'} +${(Math.abs(e.score) / 100).toFixed(2)}`;
  return `Win chance: black ${black}% · white ${100 - black}% (${lead})`;
}

function renderEvalBar() {
  const e = shownEval();
  const black = e ? e.chance : 0.5;
  const bar = $('evalbar');
  // The bar's ends are the sides at the board's top and bottom edges.
  const bottomSide = view.flipped ? 'black' : 'white';
  const topSide = other(bottomSide);
  const share = { black, white: 1 - black };
  const top = bar.querySelector('.evalbar-top');
  const bottom = bar.querySelector('.evalbar-bottom');
  top.className = `evalbar-top ${topSide}`;
  bottom.className = `evalbar-bottom ${bottomSide}`;
  top.style.flexGrow = share[topSide];
  bottom.style.flexGrow = share[bottomSide];
  const ahead = black >= 0.5 ? 'black' : 'white';
  const label = bar.querySelector('.evalbar-label');
  label.textContent = e ? `${Math.round(share[ahead] * 100)}` : '';
  label.className = `evalbar-label ${ahead === topSide ? 'at-top' : 'at-bottom'} on-${ahead}`;
  bar.title = e ? `${ahead}'s win chance ${Math.round(share[ahead] * 100)}%` : 'evaluating';
  bar.dataset.black = e ? e.chance.toFixed(3) : '';
  $('eval-text').textContent = ui.game ? evalWords(e) : '';
  $('eval-text').title = e && e.depth ? `in pieces; engine-pro, depth ${e.depth}; best move ${e.best}` : '';
}

// How much each ply cost its mover in win chance (positive: a loss).
function plyCosts() {
  const g = ui.game;
  const costs = [];
  for (let i = 1; i <= g.moves.length; i++) {
    const before = ui.evals[i - 1];
    const after = ui.evals[i];
    if (!before || !after) { costs.push(null); continue; }
    const mover = sideAt(g, i - 1);
    const mine = (e) => mover === 'black' ? e.chance : 1 - e.chance;
    costs.push(mine(before) - mine(after));
  }
  return costs;
}

const costClass = (cost) => cost >= 0.3 ? 'blunder' : cost >= 0.12 ? 'mistake' : '';

// The moves that lost most, worst first: at most three, each of at least 8%.
function worstPlies() {
  return plyCosts().map((cost, i) => ({ ply: i + 1, cost }))
    .filter((x) => x.cost !== null && x.cost >= 0.08)
    .sort((a, b) => b.cost - a.cost).slice(0, 3);
}

function renderGraph() {
  const svg = $('graph');
  const NS = 'http://www.w3.org/2000/svg';
  const width = Math.max(200, svg.clientWidth || 300);
  const height = svg.clientHeight || 110;
  svg.setAttribute('viewBox', `0 0 ${width} ${height}`);
  svg.textContent = '';
  const add = (name, attrs) => {
    const node = document.createElementNS(NS, name);
    for (const [k, v] of Object.entries(attrs)) node.setAttribute(k, v);
    svg.appendChild(node);
    return node;
  };
  const g = ui.game;
  if (!g) return;
  const plies = g.moves.length;
  const pad = 4;
  const x = (ply) => pad + (width - 2 * pad) * (plies === 0 ? 0 : ply / plies);
  const y = (chance) => pad + (height - 2 * pad) * (1 - chance);
  add('rect', { class: 'backdrop', x: 0, y: 0, width, height });
  // Black's share from the bottom, like the bar with black below.
  let d = `M${x(0)},${y(0)}`;
  let last = 0;
  for (let i = 0; i <= plies; i++) {
    const e = ui.evals[i];
    if (!e) continue;
    d += ` L${x(i).toFixed(1)},${y(e.chance).toFixed(1)}`;
    last = i;
  }
  d += ` L${x(last).toFixed(1)},${y(0)} Z`;
  add('path', { class: 'area', d });
  add('line', { class: 'mid', x1: 0, x2: width, y1: y(0.5), y2: y(0.5) });
  add('text', { x: 6, y: 13 }).textContent = 'black ahead ↑';
  add('text', { x: 6, y: height - 6, style: 'fill:#ddd' }).textContent = 'white ahead ↓';
  const now = shownPly();
  add('line', { class: 'now', x1: x(now), x2: x(now), y1: 0, y2: height });
  const costs = g.over ? plyCosts() : [];
  costs.forEach((cost, i) => {
    const e = ui.evals[i + 1];
    if (e && cost !== null && costClass(cost)) add('circle', { class: 'bad', cx: x(i + 1), cy: y(e.chance), r: 4 });
  });
  svg.dataset.points = String(ui.evals.filter((e) => e).length);
}

function graphClick(ev) {
  const g = ui.game;
  if (!g || g.moves.length === 0) return;
  const box = $('graph').getBoundingClientRect();
  const ply = Math.round((ev.clientX - box.left - 4) / (box.width - 8) * g.moves.length);
  browse(Math.max(0, Math.min(g.moves.length, ply)));
}

// Asks for the evaluations of the game's positions, batch by batch, and
// redraws as they come; a busy server is asked again a little later.
async function refreshEvals() {
  if (!ui.game) return;
  if (ui.evalRunning) { ui.evalAgain = true; return; }
  ui.evalRunning = true;
  try {
    for (let round = 0; round < 50; round++) {
      const g = ui.game;
      const key = g.moves.map((m) => m.move).join('');
      let reply;
      try {
        reply = await api('POST', `/api/games/${g.id}/evaluate`, {});
      } catch (e) {
        if (e.status === 503) { await new Promise((r) => setTimeout(r, 400)); continue; }
        throw e;
      }
      // A newer game or state is asked about in the next round.
      if (ui.game.id !== g.id) { ui.evalAgain = false; continue; }
      if (reply.evals.length === ui.game.moves.length + 1) {
        ui.evals = reply.evals;
        ui.evalsFor = key;
        renderEvalParts();
      }
      if (reply.pending === 0 && !ui.evalAgain) break;
      ui.evalAgain = false;
    }
  } catch (e) {
    note(`evaluation: ${e.message}`, true);
  } finally {
    ui.evalRunning = false;
  }
}

function renderEvalParts() {
  renderEvalBar();
  renderGraph();
  renderMoveList();
  renderResult();
  if (ui.hint) render();
}

// Play

function renderBoard() {
  const g = ui.game;
  view.flipped = ui.flipped;
  const ply = g ? shownPly() : 0;
  const board = g ? g.boards[ply] : '';
  const lastMove = g && ply > 0 ? g.moves[ply - 1] : null;
  let hint = null;
  let path = null;
  if (g && ui.hint) {
    const e = ui.evals[ply];
    if (e && e.best) {
      hint = moveSquares(e.best);
      const legal = ui.view === null ? g.legal.find((m) => m.move === e.best) : null;
      if (legal && legal.capture) path = legal.path;
    }
  }
  view.render({
    board,
    selected: ui.view === null ? ui.selected : null,
    targets: targetsOfSelected(),
    last: lastMove ? moveSquares(lastMove.move) : null,
    hint,
    path,
  });
  if (!ui.firstBoard && board) {
    ui.firstBoard = true;
    performance.mark('first-board');
  }
}

function render() {
  if (ui.mode === 'play') {
    renderBoard();
    renderPlayers();
    renderPlayStatus();
    renderEvalBar();
    renderGraph();
    renderMoveList();
    renderResult();
  } else {
    view.flipped = ui.replayFlipped;
    const g = ui.replayGame;
    const ply = g && ui.replayPly > 0 ? g.plies[ui.replayPly - 1] : null;
    view.render({
      board: g ? (ply ? ply.board : g.start) : '',
      last: ply ? moveSquares(ply.move) : null,
      path: ply && ply.capture ? ply.path : null,
    });
    renderReplayStatus();
  }
}

function playerName(side) {
  const g = ui.game;
  if (twoPlayers()) return side;
  return side === ui.human ? `you (${side})` : `${ui.opponent.id} (${side})`;
}

function clockText(left) {
  const s = Math.max(0, left);
  const m = Math.floor(s / 60);
  const rest = s - m * 60;
  return s < 10 ? `${m}:${rest.toFixed(1).padStart(4, '0')}` : `${m}:${String(Math.floor(rest)).padStart(2, '0')}`;
}

function clockLeft(side) {
  const c = ui.game.clock;
  const elapsed = c.running === side ? (performance.now() - ui.clockAt) / 1000 : 0;
  return c[side] - elapsed;
}

function renderPlayers() {
  const g = ui.game;
  const bottomSide = ui.flipped ? 'black' : 'white';
  for (const [id, side] of [['player-top', other(bottomSide)], ['player-bottom', bottomSide]]) {
    const bar = $(id);
    bar.className = `player ${side}`;
    bar.querySelector('.name').textContent = g ? playerName(side) : '';
    const clock = bar.querySelector('.clock');
    if (g && g.clock) {
      const left = clockLeft(side);
      clock.textContent = clockText(left);
      clock.classList.toggle('running', g.clock.running === side);
      clock.classList.toggle('low', left < 10);
      if (left <= 0 && g.clock.running === side && !ui.flagAsked && !ui.busy) {
        ui.flagAsked = true;  // the server decides whether the flag fell
        api('GET', `/api/games/${g.id}`).then(setGame).catch((e) => note(e.message, true));
      }
    } else {
      clock.textContent = '';
    }
  }
}

function renderPlayStatus() {
  const g = ui.game;
  if (!g) { $('status').textContent = 'no game'; return; }
  let text;
  if (g.over) {
    const who = g.result === 'draw' ? 'Draw' : `${capital(g.result)} wins`;
    text = `${who}: ${g.reason}.`;
  } else if (ui.busy) {
    text = `${ui.opponent.id} is thinking…`;
  } else if (twoPlayers()) {
    text = `${capital(g.toMove)} to move.`;
  } else if (g.toMove === ui.human) {
    text = `Your move (${ui.human}).`;
  } else {
    text = `${g.toMove} to move.`;
  }
  $('status').textContent = text;
  $('status').dataset.over = g.over ? 'yes' : 'no';
  $('take-back').disabled = ui.busy || g.moves.length === 0;
  $('resign').disabled = ui.busy || g.over;
  $('hint').disabled = !g;
  $('new-game').disabled = ui.busy;
  $('export').disabled = !g.fromInitial;
  $('export').title = g.fromInitial ? '' : 'a game from a set-up position has no record form; share its link';
  const browsing = ui.view !== null;
  $('browse-bar').hidden = !browsing;
  if (browsing) {
    $('browse-text').textContent = `Position after ply ${ui.view} of ${g.moves.length}`;
    $('browse-play').disabled = ui.busy;
  }
}

function renderMoveList() {
  const list = $('moves');
  const g = ui.game;
  list.textContent = '';
  if (!g) return;
  const costs = plyCosts();
  g.moves.forEach((m, i) => {
    const li = document.createElement('li');
    const cls = g.over ? costClass(costs[i] || 0) : '';
    const mark = cls === 'blunder' ? ' ??' : cls === 'mistake' ? ' ?' : '';
    li.textContent = `${i + 1}. ${m.move}${m.capture ? '×' : ''}${mark}`;
    li.title = `${m.side}, ${seconds(m.seconds)}`;
    if (i === 0 && g.startSide === 'white') li.classList.add('first-white');
    if (cls) li.classList.add(cls);
    if (ui.view === i + 1) li.classList.add('current');
    li.addEventListener('click', () => browse(i + 1));
    list.appendChild(li);
  });
  if (ui.view === null) list.scrollTop = list.scrollHeight;
}

function renderResult() {
  const g = ui.game;
  const panel = $('result-panel');
  panel.hidden = !(g && g.over);
  if (panel.hidden) return;
  $('result-title').textContent = g.result === 'draw' ? 'Draw' : `${capital(g.result)} wins`;
  $('result-reason').textContent = `${capital(g.reason)} after ${g.moves.length} plies.`;
  const list = $('summary');
  list.textContent = '';
  const pending = ui.evals.filter((e) => !e).length;
  const worst = worstPlies();
  $('summary-head').textContent = pending ? `Evaluating the game… (${pending} positions left)`
    : worst.length ? 'The moves that cost most (win chance of the side that moved):' : 'No move lost much.';
  const pct = (x) => `${Math.round(x * 100)}%`;
  for (const { ply, cost } of worst) {
    const li = document.createElement('li');
    const mover = sideAt(g, ply - 1);
    const mine = (e) => mover === 'black' ? e.chance : 1 - e.chance;
    li.className = `worst ${costClass(cost)}`;
    li.textContent = `ply ${ply}, ${mover} ${g.moves[ply - 1].move}: ${pct(mine(ui.evals[ply - 1]))} → ` +
      `${pct(mine(ui.evals[ply]))}; best was ${ui.evals[ply - 1].best || '?'}`;
    li.addEventListener('click', () => browse(ply));
    list.appendChild(li);
  }
}

// The game in the page's address, so that a copied link opens it.
function gameHash() {
  const g = ui.game;
  const p = new URLSearchParams();
  p.set('vs', ui.opponent ? ui.opponent.id : TWO);
  if (ui.opponent) p.set('you', ui.human);
  if (ui.opponent && ui.opponent.timeBudget) p.set('seconds', String(ui.budget));
  p.set('rules', g.rules);
  if (!g.fromInitial) { p.set('start', g.start); p.set('side', g.startSide); }
  p.set('moves', g.moves.map((m) => m.move).join('.'));
  return p.toString();
}

function setGame(state) {
  const fresh = !ui.game || ui.game.id !== state.id;
  ui.game = state;
  ui.clockAt = performance.now();
  ui.flagAsked = false;
  $('board').dataset.game = state.id;  // for tests and the curious
  ui.selected = null;
  ui.hint = false;
  if (fresh || ui.view > state.moves.length) ui.view = null;
  const key = state.moves.map((m) => m.move).join('');
  if (key !== ui.evalsFor) {
    // Keep what is still true: the entries of the common beginning.
    const old = ui.evalsFor.match(/.{4}/g) || [];
    let same = 0;
    while (!fresh && same < old.length && same < state.moves.length && old[same] === state.moves[same].move) same++;
    ui.evals = Array.from({ length: state.moves.length + 1 }, (_, i) => (!fresh && i <= same ? ui.evals[i] || null : null));
    ui.evalsFor = key;
  }
  history.replaceState(null, '', `#${gameHash()}`);
  $('share-link').value = location.href;
  render();
  refreshEvals();
}

function chosenOpponent() {
  const id = $('opponent').value;
  return id === TWO ? null : ui.engines.find((e) => e.id === id) || ui.engines[0];
}

// Starts a game with the form's settings; from a set-up position and with
// moves already played when given.
async function newGame(setup) {
  note('');
  ui.opponent = chosenOpponent();
  ui.human = ui.opponent ? $('side').value : 'both';
  ui.budget = Number($('budget').value) || 1;
  ui.flipped = ui.human !== 'white';  // your own pieces at the bottom
  ui.view = null;
  const body = { rules: $('rules').value };
  if (ui.opponent) {
    body.black = ui.human === 'black' ? 'you' : ui.opponent.id;
    body.white = ui.human === 'white' ? 'you' : ui.opponent.id;
  }
  const clock = $('clock').value;
  if (clock) {
    const [s, inc] = clock.split('+').map(Number);
    body.clock = { seconds: s, increment: inc };
  }
  if (setup && setup.start) body.start = setup.start;
  if (setup && setup.moves) body.moves = setup.moves;
  ui.game = null;
  setGame(await api('POST', '/api/games', body));
  await engineTurn();
}

function engineBody() {
  const body = { engine: ui.opponent.id };
  if (ui.opponent.timeBudget) body.seconds = ui.budget;
  return body;
}

// The engine moves when it is its turn.
async function engineTurn() {
  const g = ui.game;
  if (!g || g.over || !ui.opponent || g.toMove === ui.human) return;
  ui.busy = true;
  render();
  try {
    const reply = await api('POST', `/api/games/${g.id}/engine`, engineBody());
    ui.busy = false;
    setGame(reply.state);
    const a = reply.answer;
    if (a) note(`${ui.opponent.id} played ${a.move} (${seconds(a.seconds)})`);
  } catch (e) {
    ui.busy = false;
    render();
    note(e.message, true);
  }
}

async function playMove(word) {
  try {
    setGame(await api('POST', `/api/games/${ui.game.id}/move`, { move: word }));
    note('');
  } catch (e) {
    note(e.message, true);
    return;
  }
  await engineTurn();
}

function onSquareClick(r, c) {
  if (ui.mode !== 'play') return;
  const g = ui.game;
  if (ui.view !== null) { browse(null); return; }
  if (!myTurn(g) || ui.busy) return;
  const target = targetsOfSelected().find((t) => t.to[0] === r && t.to[1] === c);
  if (target) {
    playMove(target.move);
    return;
  }
  const own = g.legal.some((m) => m.move[0] == r && m.move[1] == c);
  ui.selected = own && !(ui.selected && ui.selected[0] === r && ui.selected[1] === c) ? [r, c] : null;
  render();
}

function onSquareHover(r, c) {
  if (ui.mode !== 'play') return;
  const target = r === null ? null : targetsOfSelected().find((t) => t.to[0] === r && t.to[1] === c);
  view.showPath(target && target.capture ? target.path : null);
}

function browse(ply) {
  const g = ui.game;
  if (!g) return;
  ui.view = ply === null || ply >= g.moves.length ? null : Math.max(0, ply);
  ui.selected = null;
  render();
}

async function takeBackTo(plies) {
  const g = ui.game;
  try {
    setGame(await api('POST', `/api/games/${g.id}/takeback`, { plies }));
    note('');
  } catch (e) {
    note(e.message, true);
    return;
  }
  await engineTurn();
}

function takeBack() {
  const g = ui.game;
  if (!g || ui.busy || g.moves.length === 0) return;
  // Against an engine, back to your own last turn.
  const plies = twoPlayers() || g.over && g.toMove !== ui.human ? 1 : Math.min(g.toMove === ui.human ? 2 : 1, g.moves.length);
  takeBackTo(plies);
}

function playFromHere() {
  const g = ui.game;
  if (!g || ui.busy || ui.view === null) return;
  const plies = g.moves.length - ui.view;
  ui.view = null;
  takeBackTo(plies);
}

function hint() {
  if (!ui.game) return;
  ui.hint = !ui.hint;
  if (ui.hint && !shownEval()) note('the hint appears once the position is evaluated');
  render();
}

let resignArmed = null;
async function resign() {
  const g = ui.game;
  if (!g || g.over || ui.busy) return;
  const button = $('resign');
  if (!resignArmed) {
    // A second tap within three seconds resigns.
    button.textContent = 'Resign? Tap again';
    button.classList.add('confirm');
    resignArmed = setTimeout(() => {
      resignArmed = null;
      button.textContent = 'Resign';
      button.classList.remove('confirm');
    }, 3000);
    return;
  }
  clearTimeout(resignArmed);
  resignArmed = null;
  button.textContent = 'Resign';
  button.classList.remove('confirm');
  try {
    setGame(await api('POST', `/api/games/${g.id}/resign`, { side: twoPlayers() ? g.toMove : ui.human }));
  } catch (e) {
    note(e.message, true);
  }
}

function exportRecord() {
  if (!ui.game || !ui.game.fromInitial) return;
  const link = document.createElement('a');
  link.href = `/api/games/${ui.game.id}/record`;
  link.download = 'tovrane-game.txt';
  document.body.appendChild(link);
  link.click();
  link.remove();
}

async function copyLink() {
  const input = $('share-link');
  input.select();
  try {
    await navigator.clipboard.writeText(input.value);
    note('link copied');
  } catch (e) {
    note('select the link and copy it');
  }
}

// What was pasted: a record file (its first game), a position (36 digits
// and the side to move) or moves (four digits each).
async function loadText() {
  const text = $('load-text').value;
  try {
    let setup;
    if (/^\s*game\s+\d+/m.test(text)) {
      const data = await api('POST', '/api/records', text, 'text/plain');
      setup = { moves: data.games[0].plies.map((p) => p.move) };
    } else {
      const board = text.match(/(?:^|[^0-9])([012]{36})(?![0-9])/);
      const rest = board ? text.slice(board.index + board[0].length) : text;
      const moves = rest.match(/(?<![0-9])[0-5]{4}(?![0-9])/g) || [];
      if (!board && moves.length === 0) {
        throw new Error('nothing to load: paste four-digit moves, a record file, or 36 digits and a side');
      }
      setup = { moves };
      if (board) {
        const side = /^\s*(white|1)\b/i.test(rest) ? 'white' : 'black';
        setup.start = { board: board[1], side };
        setup.moves = rest.replace(/^\s*(white|black|1|2)\b/i, '').match(/(?<![0-9])[0-5]{4}(?![0-9])/g) || [];
      }
    }
    await newGame(setup);
    note(`loaded ${ui.game.moves.length} plies`);
  } catch (e) {
    note(`load: ${e.message}`, true);
  }
}

// Opens the game in the page's address, if there is one.
async function openFromHash() {
  const p = new URLSearchParams(location.hash.slice(1));
  if (!p.has('moves') && !p.has('start')) return false;
  const vs = p.get('vs');
  if (vs && (vs === TWO || ui.engines.some((e) => e.id === vs))) $('opponent').value = vs;
  if (['black', 'white'].includes(p.get('you'))) $('side').value = p.get('you');
  if (p.get('seconds')) $('budget').value = p.get('seconds');
  if (ui.rules.some((r) => r.name === p.get('rules'))) $('rules').value = p.get('rules');
  syncForm();
  const setup = { moves: (p.get('moves') || '').split('.').filter((m) => m) };
  if (p.has('start')) setup.start = { board: p.get('start'), side: p.get('side') === 'white' ? 'white' : 'black' };
  await newGame(setup);
  return true;
}

// Replay

async function openRecord(file) {
  note('');
  try {
    const text = await file.text();
    const data = await api('POST', '/api/records', text, 'text/plain');
    ui.games = data.games;
  } catch (e) {
    ui.games = [];
    note(`${file.name}: ${e.message}`, true);
  }
  const select = $('replay-game');
  select.textContent = '';
  ui.games.forEach((g, i) => {
    const option = document.createElement('option');
    option.value = i;
    option.textContent = `game ${g.number}: ${g.black} (black) – ${g.white} (white), ${g.result}`;
    select.appendChild(option);
  });
  select.disabled = ui.games.length === 0;
  chooseReplayGame(0);
}

function chooseReplayGame(index) {
  ui.replayGame = ui.games[index] || null;
  ui.replayPly = 0;
  const list = $('replay-moves');
  list.textContent = '';
  if (ui.replayGame) {
    ui.replayGame.plies.forEach((p, i) => {
      const li = document.createElement('li');
      li.textContent = `${p.side} ${p.move}${p.capture ? ' ×' : ''}  ${seconds(p.seconds)}`;
      li.addEventListener('click', () => stepTo(i + 1));
      list.appendChild(li);
    });
  }
  render();
}

function stepTo(ply) {
  const g = ui.replayGame;
  if (!g) return;
  ui.replayPly = Math.max(0, Math.min(g.plies.length, ply));
  render();
}

function renderReplayStatus() {
  const g = ui.replayGame;
  if (!g) {
    $('status').textContent = 'Open a record file to replay its games.';
    $('replay-info').textContent = '';
    $('replay-ply').textContent = '';
    return;
  }
  $('replay-info').textContent =
    `black ${g.black}, white ${g.white}\nopening ${g.opening || '(none)'}\nresult ${g.result} (${g.end}): ${g.reason}`;
  const k = ui.replayPly;
  const p = k > 0 ? g.plies[k - 1] : null;
  $('replay-ply').textContent = p
    ? `ply ${k} of ${g.plies.length}: ${p.side} ${p.move}${p.capture ? ' captures' : ''} (${seconds(p.seconds)})`
    : `start of game ${g.number}, ${g.plies.length} plies`;
  const atEnd = k === g.plies.length;
  $('status').textContent = atEnd
    ? `Game ${g.number}: ${g.result === 'draw' ? 'draw' : g.result === 'none' ? 'unfinished' : g.result + ' wins'}, ${g.reason}.`
    : `Game ${g.number}, ply ${k}: ${k % 2 === 0 ? 'black' : 'white'} to move.`;
  $('replay-moves').querySelectorAll('li').forEach((li, i) => li.classList.toggle('current', i === k - 1));
  const current = $('replay-moves').children[k - 1];
  if (current) current.scrollIntoView({ block: 'nearest' });
}

function setMode(mode) {
  ui.mode = mode;
  $('tab-play').classList.toggle('active', mode === 'play');
  $('tab-replay').classList.toggle('active', mode === 'replay');
  $('play-panel').hidden = mode !== 'play';
  $('replay-panel').hidden = mode !== 'replay';
  for (const id of ['play-actions', 'player-top', 'player-bottom', 'eval-text', 'evalbar']) {
    $(id).style.visibility = mode === 'play' ? '' : 'hidden';
  }
  $('browse-bar').hidden = true;
  note('');
  render();
}

// The form shows what the chosen opponent needs.
function syncForm() {
  const e = chosenOpponent();
  $('budget-row').hidden = !(e && e.timeBudget);
  $('side-row').hidden = !e;
}

function bind() {
  $('tab-play').addEventListener('click', () => setMode('play'));
  $('tab-replay').addEventListener('click', () => setMode('replay'));
  $('new-game').addEventListener('click', () => newGame().catch((e) => note(e.message, true)));
  $('again').addEventListener('click', () => newGame().catch((e) => note(e.message, true)));
  $('take-back').addEventListener('click', takeBack);
  $('resign').addEventListener('click', resign);
  $('hint').addEventListener('click', hint);
  $('flip').addEventListener('click', () => { ui.flipped = !ui.flipped; render(); });
  $('flip-replay').addEventListener('click', () => { ui.replayFlipped = !ui.replayFlipped; render(); });
  $('browse-live').addEventListener('click', () => browse(null));
  $('browse-play').addEventListener('click', playFromHere);
  $('export').addEventListener('click', exportRecord);
  $('copy-link').addEventListener('click', copyLink);
  $('load').addEventListener('click', loadText);
  $('graph').addEventListener('click', graphClick);
  $('opponent').addEventListener('change', syncForm);
  $('record-file').addEventListener('change', (ev) => {
    if (ev.target.files.length) openRecord(ev.target.files[0]);
  });
  $('replay-game').addEventListener('change', (ev) => chooseReplayGame(Number(ev.target.value)));
  $('first').addEventListener('click', () => stepTo(0));
  $('prev').addEventListener('click', () => stepTo(ui.replayPly - 1));
  $('next').addEventListener('click', () => stepTo(ui.replayPly + 1));
  $('last').addEventListener('click', () => stepTo(Infinity));
  document.addEventListener('keydown', (ev) => {
    if (['INPUT', 'SELECT', 'TEXTAREA'].includes(ev.target.tagName)) return;
    const moves = { ArrowLeft: -1, ArrowRight: 1, Home: -Infinity, End: Infinity };
    if (!(ev.key in moves)) return;
    const step = moves[ev.key];
    if (ui.mode === 'replay') {
      const g = ui.replayGame;
      if (!g) return;
      ev.preventDefault();
      stepTo(Number.isFinite(step) ? ui.replayPly + step : (step > 0 ? g.plies.length : 0));
    } else if (ui.game) {
      ev.preventDefault();
      const at = shownPly();
      browse(Number.isFinite(step) ? at + step : (step > 0 ? null : 0));
    }
  });
  window.addEventListener('hashchange', () => {
    if (ui.game && location.hash.slice(1) === gameHash()) return;
    openFromHash().catch((e) => note(e.message, true));
  });
  window.addEventListener('resize', () => { if (ui.mode === 'play') renderGraph(); });
  setInterval(() => { if (ui.mode === 'play' && ui.game && ui.game.clock && !ui.game.over) renderPlayers(); }, 200);
}

function fillForm() {
  const select = $('opponent');
  const groups = [['Levels', ui.engines.filter((e) => e.level)], ['Programs', ui.engines.filter((e) => !e.level)]];
  for (const [label, list] of groups) {
    const group = document.createElement('optgroup');
    group.label = label;
    for (const e of list) {
      const option = document.createElement('option');
      option.value = e.id;
      option.textContent = e.label;
      group.appendChild(option);
    }
    select.appendChild(group);
  }
  const two = document.createElement('option');
  two.value = TWO;
  two.textContent = 'Two players on this screen';
  select.appendChild(two);
  select.value = ui.engines.some((e) => e.id === 'level-2') ? 'level-2' : ui.engines[0].id;
  for (const r of ui.rules) {
    const option = document.createElement('option');
    option.value = r.name;
    option.textContent = r.name;
    option.title = r.meaning;
    $('rules').appendChild(option);
  }
  syncForm();
}

async function start() {
  bind();
  try {
    const [engines, circuits] = await Promise.all([api('GET', '/api/engines'), api('GET', '/api/circuits')]);
    ui.engines = engines.engines;
    ui.rules = engines.rules;
    view.circuits = circuits;
    fillForm();
    if (!(await openFromHash())) await newGame();
  } catch (e) {
    note(e.message, true);
  }
}

start();
