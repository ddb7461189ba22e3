// The page's start: the tabs, the new-game form, the buttons and keys, and
// the first game (from the page's address, or a new one).
'use strict';

const view = BoardView.create($('board'), onSquareClick, onSquareHover);

function setMode(mode) {
  ui.mode = mode;
  $('tab-play').classList.toggle('active', mode === 'play');
  $('tab-replay').classList.toggle('active', mode === 'replay');
  $('play-panel').hidden = mode !== 'play';
  $('replay-panel').hidden = mode !== 'replay';
  for (const id of ['player-top', 'player-bottom', 'eval-text', 'evalbar']) {
    $(id).style.visibility = mode === 'play' ? '' : 'hidden';
  }
  // The replay's step buttons sit under the board, where the play buttons are.
  $('play-actions').hidden = mode !== 'play';
  $('replay-actions').hidden = mode !== 'replay';
  $('browse-bar').hidden = true;
  note('');
  render();
  if (mode === 'replay') renderReplayAnalysis();
}

// The form shows what the chosen opponent needs.
function syncForm() {
  const e = chosenOpponent();
  $('budget-row').hidden = !(e && e.timeBudget);
  $('side-row').hidden = !e;
}

// The board by keyboard: the arrow keys move the focus square (as seen on
// the screen), Enter or Space acts on it as a click would.
function boardKey(ev) {
  const steps = { ArrowUp: [-1, 0], ArrowDown: [1, 0], ArrowLeft: [0, -1], ArrowRight: [0, 1] };
  if (ui.mode !== 'play') return;
  if (!ui.boardFocused) {
    ui.boardFocused = true;  // the keyboard in use after a click
    render();
  }
  if (ev.key in steps) {
    const turn = ui.flipped ? -1 : 1;
    const [dr, dc] = steps[ev.key];
    ui.focus = [Math.max(0, Math.min(5, ui.focus[0] + dr * turn)), Math.max(0, Math.min(5, ui.focus[1] + dc * turn))];
    render();
    announce(squareWords(ui.focus));
  } else if (ev.key === 'Enter' || ev.key === ' ') {
    onSquareClick(ui.focus[0], ui.focus[1], 'keyboard');
    if (ui.selected) announce(`Picked the piece on row ${ui.selected[0]} column ${ui.selected[1]}; ` +
      `${targetsOfSelected().length} moves.`);
  } else if (ev.key === 'Escape') {
    ui.selected = null;
    render();
  } else {
    return;
  }
  ev.preventDefault();
  ev.stopPropagation();
}

function squareWords([r, c]) {
  const g = ui.game;
  const cell = g ? g.boards[shownPly()][r * 6 + c] : '0';
  const what = cell === '2' ? 'black piece' : cell === '1' ? 'white piece' : 'empty';
  const target = targetsOfSelected().find((t) => t.to[0] === r && t.to[1] === c);
  return `Row ${r} column ${c}: ${what}${target ? (target.capture ? ', a capture' : ', a step') : ''}.`;
}

function bind() {
  $('board').addEventListener('keydown', boardKey);
  // The focus square shows for the keyboard only; a click that focuses the
  // board must not redraw it between the press and the release.
  $('board').addEventListener('focus', () => {
    if (!$('board').matches(':focus-visible')) return;
    ui.boardFocused = true;
    render();
  });
  $('board').addEventListener('blur', () => {
    if (!ui.boardFocused) return;
    ui.boardFocused = false;
    render();
  });
  $('rules-open').addEventListener('click', openRules);
  $('rules-close').addEventListener('click', () => $('rules-dialog').close());
  $('rules').addEventListener('change', showRulesMeaning);
  const speed = localStorage.getItem('tovrane-speed');
  const calm = matchMedia('(prefers-reduced-motion: reduce)').matches;
  $('speed').value = speed in SPEEDS ? speed : calm ? 'off' : 'normal';
  $('speed').addEventListener('change', () => localStorage.setItem('tovrane-speed', $('speed').value));
  $('budget').addEventListener('input', () => fieldError('budget', ''));
  // A page that leaves while the engine thinks for it stops the search.
  window.addEventListener('pagehide', () => {
    if (ui.busy && ui.game) navigator.sendBeacon(`/api/games/${ui.game.id}/stop`, '{}');
  });
  setInterval(watchGame, 1000);
  document.addEventListener('visibilitychange', () => { if (!document.hidden) watchGame(); });
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
  $('replay-graph').addEventListener('click', (ev) => {
    if (ui.replayGame) stepTo(graphPly($('replay-graph'), ev, ui.replayGame.plies.length));
  });
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
    if (ui.game && new URLSearchParams(location.hash.slice(1)).get('game') === ui.game.id) return;
    openFromHash().catch((e) => note(e.message, true));
  });
  window.addEventListener('resize', () => { if (ui.mode === 'play') renderGraph(); else renderReplayAnalysis(); });
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
    $('rules').appendChild(option);
  }
  showRulesMeaning();
  const { min, max } = ui.secondsRange;
  $('budget').min = min;
  $('budget').max = max;
  $('budget-range').textContent = `from ${min} to ${max}`;
  showDeviceHelp();
  syncForm();
}

async function start() {
  bind();
  try {
    const [engines, circuits] = await Promise.all([api('GET', '/api/engines'), api('GET', '/api/circuits')]);
    ui.engines = engines.engines;
    ui.rules = engines.rules;
    if (engines.seconds) ui.secondsRange = engines.seconds;
    view.circuits = circuits;
    fillForm();
    if (!(await openFromHash())) await newGame();
  } catch (e) {
    note(e.message, true);
    if (!ui.game) $('status').textContent = 'No game yet: check the settings under New game, then press New game.';
  }
}

start();
