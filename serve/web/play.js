// Playing: drawing the game (board, players and clocks, status, move list,
// result), starting games, moves by click, the engine's turn, take back,
// browsing back in the game, hint and resign.
'use strict';

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
