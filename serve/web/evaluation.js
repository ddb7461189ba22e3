// The evaluation pictures: the bar beside the board, the words under it,
// the graph over the game with its costly moves, and fetching the
// evaluations from the server.
'use strict';

// The evaluation of the shown position, or null.
function shownEval() {
  if (!ui.game) return null;
  return ui.evals[shownPly()] || null;
}

// A piece's worth in engine-pro's scores: the scale of its win-chance
// curve (kNetChanceScale in eval/net_eval.h).
const kPieceScore = 90;

function evalWords(e) {
  if (!e) return 'evaluating…';
  if (e.winIn !== null) {
    const winner = e.score > 0 ? 'black' : 'white';
    return Math.abs(e.winIn) === 0 ? `${capital(winner)} has won.` : `${capital(winner)} wins by force in ${Math.abs(e.winIn)} ${Math.abs(e.winIn) === 1 ? 'ply' : 'plies'}.`;
  }
  const black = Math.round(e.chance * 100);
  const lead = e.score === 0 ? 'even' : `${e.score > 0 ? 'black' : 'white'} +${(Math.abs(e.score) / kPieceScore).toFixed(2)}`;
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
  const g = ui.game;
  // A game ended by resignation or time: the result, not a win chance.
  const decided = g && g.over && (g.end === 'resigned' || g.end === 'time-forfeit') && shownPly() === g.moves.length;
  $('eval-text').textContent = !g ? '' : decided ? `${resultWords(g)}: ${g.reason}.` : evalWords(e);
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

// Draws black's win chance over a game on svg: chances (per position, or
// null), the shown ply, and the marked plies [{ply, cls}].
function drawChanceGraph(svg, chances, now, marks) {
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
  const plies = chances.length - 1;
  const pad = 4;
  const x = (ply) => pad + (width - 2 * pad) * (plies <= 0 ? 0 : ply / plies);
  const y = (chance) => pad + (height - 2 * pad) * (1 - chance);
  add('rect', { class: 'backdrop', x: 0, y: 0, width, height });
  // Black's share from the bottom, like the bar with black below.
  let d = `M${x(0)},${y(0)}`;
  let last = 0;
  chances.forEach((chance, i) => {
    if (chance === null || chance === undefined) return;
    d += ` L${x(i).toFixed(1)},${y(chance).toFixed(1)}`;
    last = i;
  });
  d += ` L${x(last).toFixed(1)},${y(0)} Z`;
  add('path', { class: 'area', d });
  add('line', { class: 'mid', x1: 0, x2: width, y1: y(0.5), y2: y(0.5) });
  // The words on a pale ground of their own, readable over either colour.
  for (const [words, at] of [['black ahead ↑', 14], ['white ahead ↓', height - 6]]) {
    const ground = add('rect', { class: 'words-ground', x: 3, y: at - 11, height: 14, width: 10, rx: 3 });
    const text = add('text', { x: 6, y: at });
    text.textContent = words;
    ground.setAttribute('width', (text.getComputedTextLength ? text.getComputedTextLength() : 80) + 6);
  }
  add('line', { class: 'now', x1: x(now), x2: x(now), y1: 0, y2: height });
  for (const { ply, cls } of marks) {
    if (chances[ply] === null || chances[ply] === undefined) continue;
    add('circle', { class: `bad ${cls}`, cx: x(ply), cy: y(chances[ply]), r: 5, 'data-ply': ply });
  }
  svg.dataset.points = String(chances.filter((c) => c !== null && c !== undefined).length);
}

// A graph's ply under a click or tap.
function graphPly(svg, ev, plies) {
  const box = svg.getBoundingClientRect();
  const ply = Math.round((ev.clientX - box.left - 4) / (box.width - 8) * plies);
  return Math.max(0, Math.min(plies, ply));
}

function renderGraph() {
  const g = ui.game;
  if (!g) { $('graph').textContent = ''; return; }
  // The moves the summary lists, marked where they were played.
  const marks = g.over ? worstPlies().filter((w) => costClass(w.cost)).map((w) => ({ ply: w.ply, cls: costClass(w.cost) })) : [];
  drawChanceGraph($('graph'), g.moves.map((_, i) => ui.evals[i] ? ui.evals[i].chance : null)
    .concat([ui.evals[g.moves.length] ? ui.evals[g.moves.length].chance : null]), shownPly(), marks);
}

function graphClick(ev) {
  const g = ui.game;
  if (!g || g.moves.length === 0) return;
  browse(graphPly($('graph'), ev, g.moves.length));
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
