// The page: play against an engine and replay record files. Every rule
// decision (legal moves, capture paths, the result) comes from the server.
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
  if (!res.ok) throw new Error((data && data.error) || `${res.status} ${res.statusText}`);
  return data;
}

const squareOf = (word, from) => from ? [+word[0], +word[1]] : [+word[2], +word[3]];
const moveSquares = (word) => ({ from: squareOf(word, true), to: squareOf(word, false) });
const seconds = (s) => `${s.toFixed(3)} s`;

const ui = {
  mode: 'play',
  engines: [],
  circuits: null,
  // play
  game: null,
  human: 'black',
  opponent: null,
  selected: null,
  busy: false,
  flipped: true,
  hint: null,
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

function targetsOfSelected() {
  if (!ui.selected || !ui.game) return [];
  return ui.game.legal
    .filter((m) => m.move[0] == ui.selected[0] && m.move[1] == ui.selected[1])
    .map((m) => ({ to: squareOf(m.move, false), capture: m.capture, path: m.path, move: m.move }));
}

function render() {
  if (ui.mode === 'play') {
    view.flipped = ui.flipped;
    const g = ui.game;
    const lastPly = g && g.moves.length ? g.moves[g.moves.length - 1] : null;
    view.render({
      board: g ? g.board : '',
      selected: ui.selected,
      targets: targetsOfSelected(),
      last: lastPly ? moveSquares(lastPly.move) : null,
      hint: ui.hint,
    });
    renderPlayStatus();
    renderMoveList();
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

function renderPlayStatus() {
  const g = ui.game;
  if (!g) { $('status').textContent = 'no game'; return; }
  let text;
  if (g.over) {
    const who = g.result === 'draw' ? 'Draw' : `${g.result === 'black' ? 'Black' : 'White'} wins`;
    text = `${who}: ${g.reason}.`;
  } else if (ui.busy) {
    text = `${ui.opponent.id} is thinking…`;
  } else if (g.toMove === ui.human) {
    text = `Your move (${ui.human}).`;
  } else {
    text = `${g.toMove} to move.`;
  }
  $('status').textContent = text;
  $('status').dataset.over = g.over ? 'yes' : 'no';
  $('take-back').disabled = ui.busy || g.moves.length === 0;
  $('analyse').disabled = ui.busy;
  $('new-game').disabled = ui.busy;
}

function renderMoveList() {
  const list = $('moves');
  list.textContent = '';
  for (const m of (ui.game ? ui.game.moves : [])) {
    const li = document.createElement('li');
    li.textContent = `${m.side} ${m.move}${m.capture ? ' ×' : ''}  ${seconds(m.seconds)}`;
    list.appendChild(li);
  }
  list.scrollTop = list.scrollHeight;
}

function setGame(state) {
  ui.game = state;
  $('board').dataset.game = state.id;  // for tests and the curious
  ui.selected = null;
  ui.hint = null;
  render();
}

async function newGame() {
  note('');
  ui.human = $('side').value;
  ui.opponent = ui.engines.find((e) => e.id === $('opponent').value) || ui.engines[0];
  ui.flipped = ui.human === 'black';  // your own pieces at the bottom
  const names = ui.human === 'black' ? { black: 'you', white: ui.opponent.id } : { black: ui.opponent.id, white: 'you' };
  $('analysis').textContent = '';
  setGame(await api('POST', '/api/games', names));
  await engineTurn();
}

function budgetBody() {
  const body = { engine: ui.opponent.id };
  if (ui.opponent.timeBudget) body.seconds = Number($('budget').value) || 1;
  return body;
}

// The engine moves when it is its turn.
async function engineTurn() {
  const g = ui.game;
  if (!g || g.over || g.toMove === ui.human) return;
  ui.busy = true;
  render();
  try {
    const reply = await api('POST', `/api/games/${g.id}/engine`, budgetBody());
    ui.busy = false;
    setGame(reply.state);
    const a = reply.answer;
    if (a) note(`${ui.opponent.id} played ${a.move} (score ${a.score}, depth ${a.depth}, ${seconds(a.seconds)})`);
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
  if (!g || g.over || ui.busy || g.toMove !== ui.human) return;
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

async function takeBack() {
  const g = ui.game;
  if (!g || ui.busy || g.moves.length === 0) return;
  const plies = Math.min(g.toMove === ui.human ? 2 : 1, g.moves.length);
  try {
    setGame(await api('POST', `/api/games/${g.id}/takeback`, { plies }));
    note('');
  } catch (e) {
    note(e.message, true);
    return;
  }
  await engineTurn();
}

async function analyse() {
  const g = ui.game;
  if (!g || ui.busy) return;
  $('analysis').textContent = `${ui.opponent.id} is looking…`;
  ui.busy = true;
  render();
  try {
    const a = await api('POST', `/api/games/${g.id}/analyse`, budgetBody());
    let text = `static score for ${a.side} to move: ${a.static} (standard), ${a.staticClassic} (classic)`;
    if (a.choice) {
      text += `\n${a.engine} would play ${a.choice.move}, score ${a.choice.score}, depth ${a.choice.depth}, ${seconds(a.choice.seconds)}`;
      ui.hint = moveSquares(a.choice.move);
    } else if (g.over) {
      text += '\nthe game is over';
    }
    $('analysis').textContent = text;
  } catch (e) {
    $('analysis').textContent = e.message;
  }
  ui.busy = false;
  render();
}

function exportRecord() {
  if (!ui.game) return;
  const link = document.createElement('a');
  link.href = `/api/games/${ui.game.id}/record`;
  link.download = 'tovrane-game.txt';
  document.body.appendChild(link);
  link.click();
  link.remove();
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
  note('');
  render();
}

function bind() {
  $('tab-play').addEventListener('click', () => setMode('play'));
  $('tab-replay').addEventListener('click', () => setMode('replay'));
  $('new-game').addEventListener('click', () => newGame().catch((e) => note(e.message, true)));
  $('take-back').addEventListener('click', takeBack);
  $('flip').addEventListener('click', () => { ui.flipped = !ui.flipped; render(); });
  $('flip-replay').addEventListener('click', () => { ui.replayFlipped = !ui.replayFlipped; render(); });
  $('export').addEventListener('click', exportRecord);
  $('analyse').addEventListener('click', analyse);
  $('opponent').addEventListener('change', () => {
    const e = ui.engines.find((x) => x.id === $('opponent').value);
    $('budget-row').hidden = !(e && e.timeBudget);
  });
  $('record-file').addEventListener('change', (ev) => {
    if (ev.target.files.length) openRecord(ev.target.files[0]);
  });
  $('replay-game').addEventListener('change', (ev) => chooseReplayGame(Number(ev.target.value)));
  $('first').addEventListener('click', () => stepTo(0));
  $('prev').addEventListener('click', () => stepTo(ui.replayPly - 1));
  $('next').addEventListener('click', () => stepTo(ui.replayPly + 1));
  $('last').addEventListener('click', () => stepTo(Infinity));
  document.addEventListener('keydown', (ev) => {
    if (ui.mode !== 'replay' || ['INPUT', 'SELECT', 'TEXTAREA'].includes(ev.target.tagName)) return;
    const g = ui.replayGame;
    const moves = { ArrowLeft: -1, ArrowRight: 1, Home: -Infinity, End: Infinity };
    if (!g || !(ev.key in moves)) return;
    ev.preventDefault();
    const step = moves[ev.key];
    stepTo(Number.isFinite(step) ? ui.replayPly + step : (step > 0 ? g.plies.length : 0));
  });
}

async function start() {
  bind();
  try {
    const [engines, circuits] = await Promise.all([api('GET', '/api/engines'), api('GET', '/api/circuits')]);
    ui.engines = engines.engines;
    view.circuits = circuits;
    for (const e of ui.engines) {
      const option = document.createElement('option');
      option.value = e.id;
      option.textContent = e.label;
      $('opponent').appendChild(option);
    }
    await newGame();
  } catch (e) {
    note(e.message, true);
  }
}

start();
