// Draws the 6x6 board in SVG: the squares, the two circuits with their corner
// loops (as the server lists them), coordinates, pieces and highlights. It
// knows geometry only; which moves are legal always comes from the server.
'use strict';

const BoardView = (() => {
  const NS = 'http://www.w3.org/2000/svg';
  const S = 70;        // distance between square centres
  // The loops are drawn pressed towards the board: what lies beyond its
  // edge is scaled by SQUEEZE, so that on a phone the squares stay large.
  const SQUEEZE = 0.4;
  const M = S / 2 + 2 * S * SQUEEZE - S / 2 * SQUEEZE + 8;  // margin: room for the large loops
  const SIZE = 2 * M + 5 * S;
  const LOW = M - S / 2;
  const HIGH = M + 5 * S + S / 2;
  const squeeze = (v) => (v < LOW ? LOW - (LOW - v) * SQUEEZE : v > HIGH ? HIGH + (v - HIGH) * SQUEEZE : v);

  function el(name, attrs, parent) {
    const node = document.createElementNS(NS, name);
    for (const [k, v] of Object.entries(attrs || {})) node.setAttribute(k, v);
    if (parent) parent.appendChild(node);
    return node;
  }

  function create(svg, onClick, onHover) {
    svg.setAttribute('viewBox', `0 0 ${SIZE} ${SIZE}`);
    const view = { svg, flipped: false, circuits: null, onClick, onHover };

    // (row, col) to the screen; flipped turns the board half a turn.
    view.point = (r, c) => {
      const dr = view.flipped ? 5 - r : r;
      const dc = view.flipped ? 5 - c : c;
      return [M + dc * S, M + dr * S];
    };

    // A corner loop joins a square on the top or bottom row with one on the
    // left or right column; it runs three quarters of a circle around the
    // corner square, outside the board.
    view.loopPoints = (a, b) => {
      const edgeRow = (a[0] === 0 || a[0] === 5) ? a : b;
      const edgeCol = edgeRow === a ? b : a;
      const [cx, cy] = view.point(edgeRow[0], edgeCol[1]);
      const [ax, ay] = view.point(a[0], a[1]);
      const [bx, by] = view.point(b[0], b[1]);
      const radius = Math.hypot(ax - cx, ay - cy);
      const a0 = Math.atan2(ay - cy, ax - cx);
      let turn = Math.atan2(by - cy, bx - cx) - a0;
      while (turn <= -Math.PI) turn += 2 * Math.PI;
      while (turn > Math.PI) turn -= 2 * Math.PI;
      turn = turn > 0 ? turn - 2 * Math.PI : turn + 2 * Math.PI;  // the long way round
      const points = [];
      for (let i = 1; i <= 36; i++) {
        const t = a0 + turn * i / 36;
        points.push([squeeze(cx + radius * Math.cos(t)), squeeze(cy + radius * Math.sin(t))]);
      }
      return points;
    };

    // SVG path data through squares, drawing loops where both coordinates change.
    view.pathData = (squares, closed) => {
      const list = closed ? squares.concat([squares[0]]) : squares;
      let d = '';
      list.forEach((sq, i) => {
        if (i === 0) {
          const [x, y] = view.point(sq[0], sq[1]);
          d += `M${x.toFixed(1)},${y.toFixed(1)}`;
          return;
        }
        const prev = list[i - 1];
        const pts = (prev[0] !== sq[0] && prev[1] !== sq[1]) ? view.loopPoints(prev, sq) : [view.point(sq[0], sq[1])];
        for (const [x, y] of pts) d += ` L${x.toFixed(1)},${y.toFixed(1)}`;
      });
      return d;
    };

    // The capture path under the pieces; changed on hover without redrawing.
    view.showPath = (path) => {
      if (!view.pathLayer) return;
      while (view.pathLayer.firstChild) view.pathLayer.removeChild(view.pathLayer.firstChild);
      if (path && path.length > 1) {
        el('path', { class: 'capture-path', d: view.pathData(path, false) }, view.pathLayer);
      }
    };

    // Plays a move on the board as drawn: the piece travels from its square
    // (a capture along its path, through the loops) and the taken piece
    // fades. Resolves when done; ms 0 (or a hidden page): at once.
    view.animate = (move, ms) => new Promise((resolve) => {
      const at = (sq) => svg.querySelector(`circle.piece[data-square="${sq[0]},${sq[1]}"]`);
      const piece = at(move.from);
      if (!piece || !(ms > 0) || document.hidden) { resolve(); return; }
      const squares = move.path && move.path.length > 1 ? move.path : [move.from, move.to];
      const track = el('path', { d: view.pathData(squares, false), class: 'track' }, svg);
      const length = track.getTotalLength();
      const taken = move.capture ? at(move.to) : null;
      svg.appendChild(piece);  // above the others
      const travel = ms * (taken ? 0.8 : 1);
      const start = performance.now();
      let done = false;
      const finish = () => {
        if (done) return;
        done = true;
        track.remove();
        resolve();
      };
      const frame = (now) => {
        if (done) return;
        const t = Math.min(1, (now - start) / travel);
        const eased = t < 0.5 ? 2 * t * t : 1 - (2 - 2 * t) * (2 - 2 * t) / 2;
        const p = track.getPointAtLength(eased * length);
        piece.setAttribute('cx', p.x);
        piece.setAttribute('cy', p.y);
        if (taken) taken.style.opacity = String(Math.max(0, 1 - (now - start - travel) / (ms - travel)));
        if (now - start < ms) requestAnimationFrame(frame);
        else finish();
      };
      requestAnimationFrame(frame);
      setTimeout(finish, ms + 400);  // frames stop in a hidden tab
    });

    // How long a move takes to travel at speed 1, in ms: a step is short, a
    // capture as long as its path.
    view.travelTime = (move) => {
      if (!move.capture || !move.path || move.path.length < 2) return 260;
      const track = el('path', { d: view.pathData(move.path, false) }, svg);
      const length = track.getTotalLength();
      track.remove();
      return Math.min(1500, 350 + length * 0.9);
    };

    // opts: board (36 digits), selected [r,c], targets [{to:[r,c], capture}],
    // path (squares), last {from, to}, lastPath (the last capture's squares),
    // hint {from, to} (drawn as an arrow), focus [r,c] (the keyboard's square)
    view.render = (opts) => {
      // Everything is drawn anew but the squares that take the clicks: kept,
      // so that a press and its release land on the same element even when
      // the board is redrawn between them (an evaluation arriving).
      while (svg.firstChild) svg.removeChild(svg.firstChild);
      const defs = el('defs', {}, svg);
      const head = el('marker', { id: 'arrow-head', viewBox: '0 0 10 10', refX: 5, refY: 5, markerWidth: 3.2,
        markerHeight: 3.2, orient: 'auto-start-reverse' }, defs);
      el('path', { d: 'M0,0 L10,5 L0,10 z', class: 'hint-head' }, head);
      const cells = el('g', {}, svg);
      const mark = (sq) => sq ? `${sq[0]},${sq[1]}` : '';
      const lastSquares = opts.last ? [mark(opts.last.from), mark(opts.last.to)] : [];
      const hintSquares = opts.hint ? [mark(opts.hint.from), mark(opts.hint.to)] : [];
      for (let r = 0; r < 6; r++) {
        for (let c = 0; c < 6; c++) {
          const [x, y] = view.point(r, c);
          let cls = 'cell';
          if (lastSquares.includes(`${r},${c}`)) cls += ' last';
          if (hintSquares.includes(`${r},${c}`)) cls += ' hint';
          el('rect', { class: cls, x: x - S / 2, y: y - S / 2, width: S, height: S }, cells);
        }
      }
      if (view.circuits) {
        for (const name of ['large', 'small']) {
          el('path', { class: `circuit ${name}`, d: view.pathData(view.circuits[name], true) }, svg);
        }
      }
      // Coordinates inside the edge squares: the row in the left column's
      // squares, the column in the bottom row's.
      for (let i = 0; i < 6; i++) {
        const [x, y] = view.point(i, view.flipped ? 5 : 0);
        el('text', { class: 'label', x: x - S / 2 + 4, y: y - S / 2 + 15 }, svg).textContent = i;
        const [x2, y2] = view.point(view.flipped ? 0 : 5, i);
        el('text', { class: 'label', x: x2 + S / 2 - 14, y: y2 + S / 2 - 5 }, svg).textContent = i;
      }
      if (opts.lastPath && opts.lastPath.length > 1) {
        el('path', { class: 'last-path', d: view.pathData(opts.lastPath, false) }, svg);
      }
      view.pathLayer = el('g', {}, svg);
      view.showPath(opts.path);
      const board = opts.board || '';
      for (let r = 0; r < 6; r++) {
        for (let c = 0; c < 6; c++) {
          const cell = board[r * 6 + c];
          if (cell !== '1' && cell !== '2') continue;
          const [x, y] = view.point(r, c);
          const selected = opts.selected && opts.selected[0] === r && opts.selected[1] === c;
          el('circle', {
            class: `piece ${cell === '2' ? 'black' : 'white'}${selected ? ' selected' : ''}`,
            cx: x, cy: y, r: S * 0.33, 'data-square': `${r},${c}`,
          }, svg);
        }
      }
      if (opts.hint) {
        // From the piece's centre to just short of the target's.
        const [x1, y1] = view.point(opts.hint.from[0], opts.hint.from[1]);
        const [x2, y2] = view.point(opts.hint.to[0], opts.hint.to[1]);
        const length = Math.hypot(x2 - x1, y2 - y1) || 1;
        const cut = S * 0.28 / length;
        el('line', { class: 'hint-arrow', x1, y1, x2: x2 - (x2 - x1) * cut, y2: y2 - (y2 - y1) * cut,
          'marker-end': 'url(#arrow-head)', 'data-hint': `${opts.hint.from}>${opts.hint.to}` }, svg);
      }
      for (const t of opts.targets || []) {
        const [x, y] = view.point(t.to[0], t.to[1]);
        if (t.capture) {
          el('circle', { class: 'target-capture', cx: x, cy: y, r: S * 0.42, 'data-target': `${t.to[0]},${t.to[1]}` }, svg);
        } else {
          el('circle', { class: 'target-step', cx: x, cy: y, r: S * 0.12, 'data-target': `${t.to[0]},${t.to[1]}` }, svg);
        }
      }
      if (opts.focus) {
        const [x, y] = view.point(opts.focus[0], opts.focus[1]);
        el('rect', { class: 'focus-ring', x: x - S / 2 + 3, y: y - S / 2 + 3, width: S - 6, height: S - 6,
          'data-focus': `${opts.focus[0]},${opts.focus[1]}` }, svg);
      }
      // Transparent squares on top take the clicks and the pointer.
      if (!view.hits) {
        view.hits = el('g', { class: 'hits' });
        for (let r = 0; r < 6; r++) {
          for (let c = 0; c < 6; c++) {
            const hit = el('rect', { class: 'hit', width: S, height: S, 'data-hit': `${r},${c}` }, view.hits);
            hit.addEventListener('click', () => view.onClick(r, c, view.lastPointer));
            hit.addEventListener('pointerdown', (ev) => { view.lastPointer = ev.pointerType; });
            hit.addEventListener('mouseenter', () => view.onHover(r, c));
            hit.addEventListener('mouseleave', () => view.onHover(null, null));
          }
        }
      }
      for (const hit of view.hits.children) {
        const [r, c] = hit.getAttribute('data-hit').split(',').map(Number);
        const [x, y] = view.point(r, c);
        hit.setAttribute('x', x - S / 2);
        hit.setAttribute('y', y - S / 2);
      }
      svg.appendChild(view.hits);
    };
    return view;
  }

  return { create };
})();
