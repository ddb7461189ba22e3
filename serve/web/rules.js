// The rules panel: the game's rules in words, two small boards drawn by
// board.js (the circuits with the corners that lie on neither, and a
// capture through a loop), and what ends a game under each preset.
'use strict';

// Black on row 1, white on column 1: black travels west along row 1,
// through the top left loop, down column 1 onto the white piece.
const RULES_EXAMPLE = {
  board: '000000000200000000010000000000000000',
  path: [[1, 3], [1, 2], [1, 1], [1, 0], [0, 1], [1, 1], [2, 1], [3, 1]],
};

function drawRulesBoards() {
  const noop = () => {};
  const circuits = BoardView.create($('rules-circuits'), noop, noop);
  circuits.circuits = view.circuits;
  circuits.render({ board: '' });
  const svg = $('rules-circuits');
  for (const [r, c] of [[0, 0], [0, 5], [5, 0], [5, 5]]) {
    const [x, y] = circuits.point(r, c);
    const mark = document.createElementNS('http://www.w3.org/2000/svg', 'text');
    mark.setAttribute('class', 'corner-mark');
    mark.setAttribute('x', x);
    mark.setAttribute('y', y);
    mark.textContent = '×';
    svg.appendChild(mark);
  }
  const capture = BoardView.create($('rules-capture'), noop, noop);
  capture.circuits = view.circuits;
  capture.render({ board: RULES_EXAMPLE.board, path: RULES_EXAMPLE.path, last: { from: [1, 3], to: [3, 1] } });
}

function fillRulesPresets() {
  const list = $('rules-presets');
  list.textContent = '';
  for (const r of ui.rules) {
    const li = document.createElement('li');
    const name = document.createElement('b');
    name.textContent = r.name;
    li.append(name, `: ${r.meaning}.`);
    list.appendChild(li);
  }
}

function openRules() {
  if (!$('rules-circuits').firstChild) drawRulesBoards();
  fillRulesPresets();
  $('rules-dialog').showModal();
}

// The chosen preset in words beside its menu (no tooltip on a phone).
function showRulesMeaning() {
  const preset = ui.rules.find((r) => r.name === $('rules').value);
  $('rules-meaning').textContent = preset ? `${capital(preset.meaning)}.` : '';
}

// The help says what works with the pointer in use.
function showDeviceHelp() {
  const touch = matchMedia('(hover: none)').matches;
  $('help-device').textContent = touch
    ? 'Tap one of your pieces: its moves light up. A green dot is a step to a free neighbouring square; ' +
      'a red ring is a capture. Tap a red ring once to see the path the capture travels, and again to ' +
      'capture. Tap a dot to step. The engine answers.'
    : 'Click one of your pieces: its moves light up. A green dot is a step to a free neighbouring square; ' +
      'a red ring is a capture: point at it to see the path the capture travels, click to capture. ' +
      'With the keyboard: Tab to the board, the arrow keys move the focus square, Enter picks a piece ' +
      'and Enter again plays to the focused square. The engine answers.';
}
