// Replay: a record file's games, stepped through ply by ply, with a graph
// of the game and its mistakes and blunders as the game analyser marks
// them (asked of the server, shown as the plies come).
'use strict';

async function openRecord(file) {
  note('');
  try {
    const text = await file.text();
    const data = await api('POST', '/api/records', text, 'text/plain');
    ui.games = data.games;
    ui.recordRules = data.rules;
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
      if (p.thinking) li.title = p.thinking;
      li.addEventListener('click', () => stepTo(i + 1));
      list.appendChild(li);
    });
  }
  render();
  analyseReplay(ui.replayGame);
}

const pause = (ms) => new Promise((r) => setTimeout(r, ms));
const chanceOf = (blackScore) => 1 / (1 + Math.exp(-blackScore / 120));

// Asks the server to analyse the game and follows its progress while this
// game stays on screen.
async function analyseReplay(game) {
  const token = ++ui.replayToken;
  ui.replayAnalysis = [];
  renderReplayAnalysis();
  if (!game || game.plies.length === 0) return;
  const mine = () => token === ui.replayToken;
  try {
    let job = null;
    while (!job && mine()) {
      try {
        job = await api('POST', '/api/analyses', { moves: game.plies.map((p) => p.move), rules: ui.recordRules });
      } catch (e) {
        if (e.status !== 503) throw e;
        await pause(1000);  // the engines are busy: ask again
      }
    }
    while (job && mine()) {
      const reply = await api('GET', `/api/analyses/${job.id}`);
      if (!mine()) return;
      ui.replayAnalysis = reply.plies;
      renderReplayAnalysis();
      if (reply.error) note(`analysis: ${reply.error}`, true);
      if (reply.done) return;
      await pause(700);
    }
  } catch (e) {
    if (mine()) note(`analysis: ${e.message}`, true);
  }
}

// The graph (black's chance after each ply analysed) and the marks in the
// move list.
function renderReplayAnalysis() {
  const g = ui.replayGame;
  const plies = ui.replayAnalysis || [];
  // The scores the engines gave their moves, when the record kept them;
  // else the analyser's.
  const recorded = !!g && g.plies.some((p) => p.score !== null && p.score !== undefined);
  const chances = !g ? [0.5] : [0.5].concat(g.plies.map((p, i) => recorded
    ? (p.score === null || p.score === undefined ? null : chanceOf(p.score))
    : plies[i] ? chanceOf(plies[i].black) : null));
  $('replay-graph').dataset.source = recorded ? 'record' : 'analysis';
  $('replay-graph-source').textContent = recorded ? 'the scores the engines gave their moves' : "engine-pro's analysis";
  const marks = plies.filter((p) => p.mark).map((p) => ({ ply: p.ply, cls: p.mark }));
  drawChanceGraph($('replay-graph'), chances, ui.replayPly, marks);
  $('replay-moves').querySelectorAll('li').forEach((li, i) => {
    const p = plies[i];
    li.classList.toggle('blunder', !!p && p.mark === 'blunder');
    li.classList.toggle('mistake', !!p && p.mark === 'mistake');
    li.dataset.mark = p ? p.mark : '';
    const text = li.textContent.replace(/ \?\??$/, '');
    li.textContent = text + (p && p.mark === 'blunder' ? ' ??' : p && p.mark === 'mistake' ? ' ?' : '');
  });
  const done = g ? plies.length : 0;
  const count = g ? g.plies.length : 0;
  $('replay-analysis').textContent = !g || count === 0 ? ''
    : done < count ? `Analysing with engine-pro… ${done} of ${count} plies`
    : `engine-pro's analysis: ${marks.filter((m) => m.cls === 'mistake').length} mistakes (?), ` +
      `${marks.filter((m) => m.cls === 'blunder').length} blunders (??)`;
}

function stepTo(ply) {
  const g = ui.replayGame;
  if (!g) return;
  ui.replayPly = Math.max(0, Math.min(g.plies.length, ply));
  render();
  renderReplayAnalysis();
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
