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
  // A capture target tapped once shows its path until the second tap.
  const preview = ui.preview && ui.view === null ? targetsOfSelected().find((t) => t.move === ui.preview) : null;
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
    lastPath: lastMove && lastMove.capture ? lastMove.path : null,
    hint,
    path: preview ? preview.path : path,
    focus: ui.boardFocused ? ui.focus : null,
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
      focus: ui.boardFocused ? ui.focus : null,
    });
    renderReplayStatus();
  }
}

function playerName(side) {
  const g = ui.game;
  if (twoPlayers()) return side;
  return side === ui.human ? `you (${side})` : `${ui.opponent ? ui.opponent.id : g[side]} (${side})`;
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
        api('GET', `/api/games/${g.id}`).then((s) => showGame(s)).catch((e) => note(e.message, true));
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
    text = `${resultWords(g)}: ${g.reason}.`;
  } else if (ui.busy || g.thinking) {
    text = `${ui.opponent ? ui.opponent.id : 'the engine'} is thinking…`;
  } else if (twoPlayers()) {
    text = `${capital(g.toMove)} to move.`;
  } else if (g.toMove === ui.human) {
    text = `Your move (${ui.human}).`;
  } else {
    text = `${g.toMove} to move.`;
  }
  $('status').textContent = text;
  $('status').dataset.over = g.over ? 'yes' : 'no';
  // Take back, resign and new game stay open while the engine thinks: they
  // stop its search.
  $('take-back').disabled = g.moves.length === 0;
  $('resign').disabled = g.over;
  $('hint').disabled = !g;
  $('export').disabled = !g.fromInitial;
  $('export').title = g.fromInitial ? '' : 'a game from a set-up position has no record form; share its link';
  const browsing = ui.view !== null;
  $('browse-bar').hidden = !browsing;
  if (browsing) {
    $('browse-text').textContent = `Position after ply ${ui.view} of ${g.moves.length}`;
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
  $('result-title').textContent = resultWords(g);
  $('result-reason').textContent = `${capital(g.reason)} after ${g.moves.length} plies.`;
  const list = $('summary');
  list.textContent = '';
  const pending = ui.evals.filter((e) => !e).length;
  const worst = worstPlies().filter((x) => costClass(x.cost));
  $('summary-head').textContent = pending ? `Evaluating the game… (${pending} positions left)`
    : worst.length ? 'The moves that cost most (win chance of the side that moved), marked on the graph:'
      : 'No move lost much.';
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

// "You win" / "You lost" against an engine; else the winner by colour.
function resultWords(g) {
  if (g.result === 'draw') return 'Draw';
  if (!twoPlayers() && ui.opponent) return g.result === ui.human ? 'You win' : 'You lost';
  return `${capital(g.result)} wins`;
}

function setGame(state) {
  const fresh = !ui.game || ui.game.id !== state.id;
  ui.game = state;
  ui.clockAt = performance.now();
  ui.flagAsked = false;
  $('board').dataset.game = state.id;  // for tests and the curious
  ui.selected = null;
  ui.preview = null;
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

// The form's settings, checked; a value out of range is refused at its
// field, before any game starts.
function formSettings() {
  const opponent = chosenOpponent();
  const settings = { vs: opponent ? opponent.id : TWO };
  if (opponent) settings.you = $('side').value;
  fieldError('budget', '');
  if (opponent && opponent.timeBudget) {
    const value = Number($('budget').value);
    const { min, max } = ui.secondsRange;
    if ($('budget').value.trim() === '' || !(value >= min && value <= max)) {
      const message = `seconds per move must be from ${min} to ${max}`;
      fieldError('budget', message);
      throw new Error(message);
    }
    settings.seconds = value;
  }
  return settings;
}

function fieldError(id, message) {
  const field = $(id);
  field.setAttribute('aria-invalid', message ? 'true' : 'false');
  $(`${id}-error`).textContent = message;
  if (message) $('new-panel').open = true;
}

// The page's players from a game's settings (its own, or from its link).
function applySettings(settings) {
  const vs = settings.vs || TWO;
  const engine = ui.engines.find((e) => e.id === vs);
  ui.opponent = engine || null;
  ui.human = engine ? (settings.you === 'white' ? 'white' : 'black') : 'both';
  if (engine && engine.timeBudget && settings.seconds) ui.budget = settings.seconds;
  $('opponent').value = engine ? engine.id : TWO;
  if (engine) $('side').value = ui.human;
  if (settings.seconds) $('budget').value = String(settings.seconds);
  syncForm();
}

// Starts a game with the form's settings; from a set-up position and with
// moves already played when given. Until the server has made the new game,
// the current one stays as it is, and playable.
async function newGame(setup) {
  note('');
  const settings = formSettings();
  const body = { rules: $('rules').value, settings };
  const opponent = chosenOpponent();
  if (opponent) {
    body.black = settings.you === 'black' ? 'you' : opponent.id;
    body.white = settings.you === 'white' ? 'you' : opponent.id;
  }
  const clock = $('clock').value;
  if (clock) {
    const [s, inc] = clock.split('+').map(Number);
    body.clock = { seconds: s, increment: inc };
  }
  if (setup && setup.start) body.start = setup.start;
  if (setup && setup.moves) body.moves = setup.moves;
  const state = await api('POST', '/api/games', body);
  stopEngine();
  applySettings(state.settings);
  ui.flipped = ui.human !== 'white';  // your own pieces at the bottom
  ui.view = null;
  await showGame(state, false);
  await engineTurn();
}

// Stops the engine's search for the game on screen (leaving it).
function stopEngine() {
  if (!ui.busy || !ui.game) return;
  ui.busy = false;
  ui.engineToken++;
  api('POST', `/api/games/${ui.game.id}/stop`, {}).catch(() => {});
}

function engineBody() {
  const body = { engine: ui.opponent.id };
  if (ui.opponent.timeBudget) body.seconds = ui.budget;
  return body;
}

const enginesTurn = (g) => g && !g.over && ui.opponent && g.toMove !== ui.human;

// The engine moves when it is its turn (unless another page of this game
// already asked it).
async function engineTurn() {
  const g = ui.game;
  if (!enginesTurn(g) || ui.busy || g.thinking) return;
  ui.busy = true;
  const token = ++ui.engineToken;  // a later stop, take-back or resignation makes this answer stale
  render();
  try {
    const reply = await api('POST', `/api/games/${g.id}/engine`, engineBody());
    if (token !== ui.engineToken) return;
    ui.busy = false;
    ui.busyRetries = {};
    const a = reply.answer;
    await showGame(reply.state);
    if (a) note(`${ui.opponent.id} played ${a.move} (${seconds(a.seconds)})`);
  } catch (e) {
    if (token !== ui.engineToken) return;
    ui.busy = false;
    // 409: the game changed meanwhile (a take-back, a resignation, another
    // page): show it as it is now. 503: every engine slot is taken (a
    // record's analysis, other games): ask again shortly, unless the game
    // has moved on by then; without this the engine's turn never came.
    if (e.status === 409) await refreshGame();
    else if (e.status === 503) retryEngineTurn(token, g.id, e.message);
    else note(e.message, true);
    render();
  }
}

const kBusyRetryMs = 1000;
const kBusyRetries = 60;  // then the note stays: the server is overloaded

function retryEngineTurn(token, gameId, why) {
  ui.busyRetries = ui.busyRetries || {};
  const tries = (ui.busyRetries[gameId] || 0) + 1;
  ui.busyRetries = { [gameId]: tries };
  if (tries > kBusyRetries) {
    note(why, true);
    return;
  }
  note(`${why} (asking again)`);
  setTimeout(() => {
    if (token === ui.engineToken && ui.game && ui.game.id === gameId) engineTurn();
  }, kBusyRetryMs);
}

async function playMove(word) {
  if (ui.sending) return;  // a double click sends one move
  ui.sending = true;
  const g = ui.game;
  try {
    const state = await api('POST', `/api/games/${g.id}/move`, { move: word, ply: g.moves.length });
    note('');
    await showGame(state);
  } catch (e) {
    if (e.status === 409) await refreshGame();
    else note(e.message, true);
    return;
  } finally {
    ui.sending = false;
  }
  await engineTurn();
}

function onSquareClick(r, c, pointer) {
  if (ui.mode !== 'play') return;
  const g = ui.game;
  if (!g) return;
  if (ui.view !== null) { browse(null); return; }
  if (!myTurn(g) || ui.busy || ui.sending || ui.animating) return;
  const target = targetsOfSelected().find((t) => t.to[0] === r && t.to[1] === c);
  if (target) {
    // By touch, nothing can be pointed at: the first tap on a capture shows
    // its path, the second plays it.
    if (target.capture && pointer === 'touch' && ui.preview !== target.move) {
      ui.preview = target.move;
      note('Tap the ring again to capture along the red path.');
      render();
      return;
    }
    playMove(target.move);
    return;
  }
  ui.preview = null;
  const own = g.legal.some((m) => m.move[0] == r && m.move[1] == c);
  ui.selected = own && !(ui.selected && ui.selected[0] === r && ui.selected[1] === c) ? [r, c] : null;
  render();
}

function onSquareHover(r, c) {
  if (ui.mode !== 'play' || ui.preview) return;
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
  if (ui.sending) return;
  ui.sending = true;
  try {
    const state = await api('POST', `/api/games/${g.id}/takeback`, { plies });
    ui.busy = false;
    ui.engineToken++;
    await showGame(state, false);
    const gone = g.moves.length - state.moves.length;
    note(`Took back ${gone} ${gone === 1 ? 'ply' : 'plies'}; ${state.moves.length} left.`);
    announce(`Took back ${gone} ${gone === 1 ? 'ply' : 'plies'}.`);
  } catch (e) {
    note(e.message, true);
    return;
  } finally {
    ui.sending = false;
  }
  await engineTurn();
}

function takeBack() {
  const g = ui.game;
  if (!g || g.moves.length === 0) return;
  // Against an engine, back to your own last turn (while it thinks: your
  // last move).
  const plies = twoPlayers() || g.over && g.toMove !== ui.human ? 1 : Math.min(g.toMove === ui.human ? 2 : 1, g.moves.length);
  takeBackTo(plies);
}

function playFromHere() {
  const g = ui.game;
  if (!g || ui.view === null) return;
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
  if (!g || g.over) return;
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
    const state = await api('POST', `/api/games/${g.id}/resign`, { side: twoPlayers() ? g.toMove : ui.human });
    ui.busy = false;
    ui.engineToken++;
    await showGame(state, false);
  } catch (e) {
    note(e.message, true);
  }
}
