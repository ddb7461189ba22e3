// Following the game: each new ply travels across the board before the
// rest of the page shows it, the live region says it in words, and the
// game is watched for moves made on another page (a second tab, a phone).
'use strict';

// The animation speed: a factor of each move's travel time (0: none). A
// reader who asks the system for less motion gets none unless they choose.
const SPEEDS = { slow: 1.7, normal: 1, fast: 0.5, off: 0 };
function speedFactor() {
  const chosen = $('speed').value;
  return SPEEDS[chosen] === undefined ? 1 : SPEEDS[chosen];
}

function announce(text) {
  // Emptied first, so that the same words twice are said twice.
  const region = $('announce');
  region.textContent = '';
  setTimeout(() => { region.textContent = text; }, 30);
}

function plyWords(g, k) {
  const m = g.moves[k];
  const who = twoPlayers() || !ui.opponent ? capital(m.side) : m.side === ui.human ? 'You' : ui.opponent.id;
  const [fr, fc, tr, tc] = m.move;
  const verb = m.capture ? 'captured from' : 'moved from';
  return `${who} ${verb} row ${fr} column ${fc} to row ${tr} column ${tc} (${m.move}).`;
}

let showQueue = Promise.resolve();

// Shows a state of the game. The plies it adds to the game on screen travel
// first, one after another (animate false: at once); states arriving
// meanwhile wait their turn, and one older than the shown is dropped.
function showGame(state, animate = true) {
  showQueue = showQueue.then(() => showGameNow(state, animate)).catch((e) => note(e.message, true));
  return showQueue;
}

async function showGameNow(state, animate) {
  const old = ui.game;
  const same = old && old.id === state.id;
  // Nothing new (an answer that crossed a newer one): the selection and the
  // hint on screen stay.
  if (same && state.version <= old.version && !(state.over && !old.over)) return;
  const added = same && state.moves.length > old.moves.length &&
    old.moves.every((m, i) => state.moves[i].move === m.move) ? state.moves.length - old.moves.length : 0;
  if (added && animate && ui.mode === 'play' && ui.view === null && speedFactor() > 0) {
    ui.animating = true;
    try {
      view.flipped = ui.flipped;
      for (let k = old.moves.length; k < state.moves.length; k++) {
        const m = state.moves[k];
        const before = k > 0 ? state.moves[k - 1] : null;
        view.render({
          board: state.boards[k],
          last: before ? moveSquares(before.move) : null,
          lastPath: before && before.capture ? before.path : null,
        });
        const move = { ...moveSquares(m.move), capture: m.capture, path: m.path };
        await view.animate(move, view.travelTime(move) * speedFactor());
      }
    } finally {
      ui.animating = false;
    }
  }
  setGame(state);
  if (added) {
    const words = [];
    for (let k = state.moves.length - added; k < state.moves.length; k++) words.push(plyWords(state, k));
    if (state.over) words.push(`${resultWords(state)}: ${state.reason}.`);
    announce(words.join(' '));
  } else if (state.over && !(same && old.over)) {
    announce(`${resultWords(state)}: ${state.reason}.`);
  }
}

// The game as the server has it now.
async function refreshGame() {
  if (!ui.game) return;
  try {
    await showGame(await api('GET', `/api/games/${ui.game.id}`));
  } catch (e) {
    note(e.message, true);
  }
}

// Watches the game on screen: a short question each second; a changed game
// is shown (another page moved, took back, resigned), and the engine asked
// when it is its turn and nobody has asked it.
let watching = false;
async function watchGame() {
  const g = ui.game;
  if (watching || !g || ui.mode !== 'play' || ui.sending || ui.animating || document.hidden) return;
  watching = true;
  try {
    const reply = await api('GET', `/api/games/${g.id}?version=${g.version}`);
    if (!reply.same && ui.game && ui.game.id === g.id && !ui.sending) {
      await showGame(reply);
      if (!ui.busy) await engineTurn();
    }
  } catch (e) {
    // The server may be restarting: the next look tells.
  } finally {
    watching = false;
  }
}
