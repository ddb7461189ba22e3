// Records and links: the game in the page's address, the shared link,
// exporting the record, and loading pasted moves, records or positions.
'use strict';

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
