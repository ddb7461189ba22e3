// Records and links: the game in the page's address, the shared link,
// exporting the record, and loading pasted moves, records or positions.
'use strict';

// The game in the page's address, so that a copied link opens it: its id
// (the server's game, shared by every page that opens the link), and all
// that rebuilds it where the server no longer has it: settings, rules,
// moves, clock times and how it ended.
function gameHash() {
  const g = ui.game;
  const p = new URLSearchParams();
  p.set('game', g.id);
  p.set('vs', ui.opponent ? ui.opponent.id : TWO);
  if (ui.opponent) p.set('you', ui.human);
  if (ui.opponent && ui.opponent.timeBudget) p.set('seconds', String(ui.budget));
  p.set('rules', g.rules);
  if (!g.fromInitial) { p.set('start', g.start); p.set('side', g.startSide); }
  p.set('moves', g.moves.map((m) => m.move).join('.'));
  if (g.clock) {
    p.set('clock', `${g.clock.initial}+${g.clock.increment}`);
    p.set('left', `${g.clock.black.toFixed(1)},${g.clock.white.toFixed(1)}`);
  }
  if (g.end === 'resigned' || g.end === 'time-forfeit') p.set('end', `${g.end}.${other(g.result)}`);
  return p.toString();
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

// Opens the game in the page's address, if there is one: the server's game
// by its id, else the game rebuilt from the link under the same id.
async function openFromHash() {
  const p = new URLSearchParams(location.hash.slice(1));
  if (!p.has('moves') && !p.has('start') && !p.has('game')) return false;
  const id = p.get('game');
  if (id && /^[0-9a-f]{16}$/.test(id)) {
    try {
      const state = await api('GET', `/api/games/${id}`);
      showLinkedGame(state);
      return true;
    } catch (e) {
      if (e.status !== 404) throw e;
    }
  }
  const settings = { vs: p.get('vs') || TWO };
  if (['black', 'white'].includes(p.get('you'))) settings.you = p.get('you');
  if (p.get('seconds')) settings.seconds = Number(p.get('seconds'));
  const engine = ui.engines.find((e) => e.id === settings.vs);
  if (!engine) settings.vs = TWO;
  if (engine && engine.timeBudget) {
    // Checked here as the form checks it: the range at the field.
    $('budget').value = p.get('seconds') || '';
    $('opponent').value = engine.id;
    syncForm();
    formSettings();
  }
  const body = { id, settings, moves: (p.get('moves') || '').split('.').filter((m) => m) };
  if (ui.rules.some((r) => r.name === p.get('rules'))) body.rules = p.get('rules');
  if (engine) {
    body.black = settings.you === 'white' ? engine.id : 'you';
    body.white = settings.you === 'white' ? 'you' : engine.id;
  }
  if (p.has('start')) body.start = { board: p.get('start'), side: p.get('side') === 'white' ? 'white' : 'black' };
  const clock = (p.get('clock') || '').match(/^([\d.]+)\+([\d.]+)$/);
  if (clock) {
    body.clock = { seconds: Number(clock[1]), increment: Number(clock[2]) };
    const left = (p.get('left') || '').split(',').map(Number);
    if (left.length === 2 && left.every((x) => x >= 0)) [body.clock.black, body.clock.white] = left;
  }
  const end = (p.get('end') || '').split('.');
  if (end.length === 2) body.end = { end: end[0], side: end[1] };
  showLinkedGame(await api('POST', '/api/games', body));
  return true;
}

function showLinkedGame(state) {
  ui.game = null;
  applySettings(state.settings || {});
  if (ui.rules.some((r) => r.name === state.rules)) $('rules').value = state.rules;
  ui.flipped = ui.human !== 'white';
  ui.view = null;
  showGame(state, false).then(() => engineTurn());
}
