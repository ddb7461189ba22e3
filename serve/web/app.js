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
