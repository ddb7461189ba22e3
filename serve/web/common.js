// The page's state and the helpers every part uses: the server's API, move
// words, and the note line. The page's scripts share one global scope and
// load in order: board.js, common.js, evaluation.js, play.js, follow.js,
// links.js, rules.js, replay.js, app.js. Every rule decision (legal moves, capture paths, the
// result) and every evaluation comes from the server.
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
  secondsRange: { min: 0.01, max: 10 },  // engine-pro's seconds per move, from the server
  selected: null,
  preview: null,        // by touch: the capture tapped once, its path shown
  busy: false,          // this page waits for the engine's move
  engineToken: 0,       // which engine request an answer belongs to
  sending: false,       // a move or take-back is on its way
  animating: false,
  focus: [2, 2],        // the keyboard's square
  boardFocused: false,
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
  replayAnalysis: [],   // the analyser's plies of the game on screen
  replayToken: 0,       // which game's analysis an answer belongs to
};


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
