// Replay: a record file's games, stepped through ply by ply.
'use strict';

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
      li.textContent = `${i + 1}. ${p.side} ${p.move}${p.capture ? ' ×' : ''}  ${seconds(p.seconds)}`;
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
