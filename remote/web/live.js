// The Live view: the system watched on whatever plays, through the server's
// sound card (POST /api/watch). The transfer function comes over the push
// several times a second: its coherent points drawn solid, the others faint,
// and those whose coherence is not known yet left out (never shown as
// truth); the coherence itself along the graph's foot; the stored trace
// dashed, moved to the live trace's level as the comparison finds it; the alarms and the status in the server's words; the edits made
// through Quenbar marked on a time line of the last minute. "Propose PEQ"
// asks for one output's bands fitted on the live curve (nothing on the unit
// changes), drawn as the curve they are predicted to give; "Apply" sends
// them as one step of the history. On a phone it is
// a tab; on a laptop it takes the graph's place, the editors beside it, so
// that a change is seen as it is made.
'use strict';

const LIVE_COLOUR = '#5fd35f';
const LIVE_COHERENCE_COLOUR = '#4da3ff';
const LIVE_FAINT = 0.25;             // the opacity of points whose coherence is low
const LIVE_COHERENCE_SHARE = 0.22;   // the part of the graph's height the coherence takes at its foot
const LIVE_SPAN_S = 60;              // the time line's length
const LIVE_EDITS_LISTED = 5;
const LIVE_PREDICTED_COLOUR = '#ffd24d';

const live = {
  state: null,     // the server's GET /api/watch, or its last "watchState" push
  look: null,      // the last "watch" push
  edits: [],       // {t, what}, oldest first
  looks: 0,        // looks pushed to this page since it opened
  open: false,     // on a laptop: the view in the graph's place
  proposal: null,  // the last POST /api/watch/propose answer, until applied or the watch ends
};

// The level drawn at 0 dB: the middle of the coherent points (the system's
// gain from the reference to the microphone is of no interest, its shape is).
function liveReferenceDb(look, trusted) {
  const coherent = look.db.filter((_, i) => look.known[i] && look.coherence[i] >= trusted).sort((a, b) => a - b);
  return coherent.length ? coherent[Math.floor(coherent.length / 2)] : 0;
}

// A dashed curve over the live graph, broken where a level is null;
// `toPoint` maps a frequency and a level to the canvas.
function strokeDashed(g, hz, db, toPoint, style) {
  g.strokeStyle = style.colour;
  g.lineWidth = style.width;
  g.setLineDash(style.dash);
  g.beginPath();
  hz.forEach((f, i) => {
    if (db[i] === null) return;
    const [px, py] = toPoint(f, db[i]);
    if (i && db[i - 1] !== null) g.lineTo(px, py); else g.moveTo(px, py);
  });
  g.stroke();
  g.setLineDash([]);
}

function drawLiveGraph() {
  const sheet = clearedGraph($('graph-live'), 12);
  if (!sheet || !live.look) return;
  const { g, axes, height } = sheet;
  const grid = page.curves.hz;
  const x = (hz) => axes.x(stepOfHz(grid, hz));
  const look = live.look;
  const trusted = live.state?.trustedCoherence ?? 1;
  const reference = liveReferenceDb(look, trusted);
  const stored = live.state?.stored;
  if (stored) {
    const offset = look.storedOffsetDb ?? 0;
    strokeDashed(g, stored.hz, stored.db, (hz, db) => [x(hz), axes.y(db + offset - reference)],
      { colour: MEASUREMENT_GREY, width: 1.5, dash: [6, 4] });
  }
  const foot = (coherence) => height - coherence * height * LIVE_COHERENCE_SHARE;
  for (let i = 0; i + 1 < look.hz.length; ++i) {
    if (!look.known[i] || !look.known[i + 1]) continue;
    const x0 = x(look.hz[i]);
    const x1 = x(look.hz[i + 1]);
    g.globalAlpha = 1;
    g.strokeStyle = LIVE_COHERENCE_COLOUR;
    g.lineWidth = 1;
    g.beginPath(); g.moveTo(x0, foot(look.coherence[i])); g.lineTo(x1, foot(look.coherence[i + 1])); g.stroke();
    const coherent = look.coherence[i] >= trusted && look.coherence[i + 1] >= trusted;
    g.globalAlpha = coherent ? 1 : LIVE_FAINT;
    g.strokeStyle = LIVE_COLOUR;
    g.lineWidth = 2;
    g.beginPath(); g.moveTo(x0, axes.y(look.db[i] - reference)); g.lineTo(x1, axes.y(look.db[i + 1] - reference)); g.stroke();
  }
  g.globalAlpha = 1;
  if (live.proposal)
    strokeDashed(g, live.proposal.hz, live.proposal.predicted, (hz, db) => [x(hz), axes.y(db - reference)],
      { colour: LIVE_PREDICTED_COLOUR, width: 2, dash: [2, 3] });
}

function renderLiveControls() {
  const running = Boolean(live.state?.running);
  $('live-start').disabled = running;
  $('live-stop').disabled = !running;
  $('live-keep').disabled = !running;
  $('live-propose').disabled = !running;
  $('live-apply').disabled = !running || !live.proposal;
  $('live-proposal').textContent = live.proposal?.text ?? '';
  for (const id of ['live-mic', 'live-reference', 'live-average']) $(id).disabled = running;
  if (!running) $('live-status').textContent = 'stopped';
}

// The edits of the last minute as ticks on the time line, the latest few listed.
function renderLiveEdits() {
  const now = live.look?.t ?? live.edits.at(-1)?.t ?? 0;
  const recent = live.edits.filter((edit) => edit.t > now - LIVE_SPAN_S);
  $('live-timeline').replaceChildren(element('span', { class: 'now' }, 'now'),
    element('span', { class: 'then' }, `${LIVE_SPAN_S} s ago`),
    ...recent.map((edit) => element('span', { class: 'mark', title: edit.what,
      style: `left: ${(100 * (1 - (now - edit.t) / LIVE_SPAN_S)).toFixed(2)}%` })));
  $('live-edits').replaceChildren(...live.edits.slice(-LIVE_EDITS_LISTED).reverse().map((edit) =>
    element('li', {}, element('span', { class: 'hint' }, `${Math.max(0, now - edit.t).toFixed(0)} s ago`), edit.what)));
}

function renderLook() {
  const look = live.look;
  $('live-status').textContent = look.status;
  $('live-alarms').replaceChildren(...look.alarms.map((alarm) =>
    element('li', { class: 'alarm', 'data-hz': alarm.hz }, alarm.text)));
  renderLiveEdits();
  drawLiveGraph();
}

function showLiveWarning(text) {
  $('live-warning').hidden = !text;
  $('live-warning').textContent = text || '';
}

function takeLiveState(state) {
  if (!state.running) live.proposal = null;
  live.state = state;
  live.edits = [...state.edits];
  if (state.error) showLiveWarning(state.error);
  renderLiveControls();
  renderLiveEdits();
  drawLiveGraph();
}

function onLivePush(message) {
  if (message.type === 'watchState') return takeLiveState(message);
  if (message.type === 'watchEdit') {
    live.edits.push(message);
    return renderLiveEdits();
  }
  live.looks += 1;
  live.look = message;
  renderLook();
}

async function liveCall(path, body) {
  const result = await call('POST', path, body);
  if (!result.ok) {
    showLiveWarning(result.error);
    return renderLiveControls();
  }
  takeLiveState(result.data);
}

async function proposeLive() {
  showLiveWarning('');
  $('live-propose').disabled = true;
  const result = await call('POST', '/api/watch/propose', { output: $('live-output').value });
  live.proposal = result.ok ? result.data : null;
  if (!result.ok) showLiveWarning(result.error);
  renderLiveControls();
  drawLiveGraph();
}

async function applyLive() {
  $('live-apply').disabled = true;
  const result = await call('POST', '/api/watch/apply', {});
  live.proposal = null;
  if (!result.ok) showLiveWarning(result.error);
  renderLiveControls();
  if (result.ok) $('live-proposal').textContent = `Applied as one step: ${result.data.applied}`;
  drawLiveGraph();
}

function startLive() {
  showLiveWarning('');
  live.look = null;
  $('live-start').disabled = true;
  liveCall('/api/watch', { micChannel: Number($('live-mic').value), referenceChannel: Number($('live-reference').value),
    averageS: Number($('live-average').value) });
}

// On a laptop the view takes the graph's place (a measuring tool beside it gives way).
function toggleLive() {
  live.open = !live.open;
  if (live.open && page.side?.view === 'sound') page.side = null;
  layout();
  if (live.open) $('live-panel').scrollIntoView({ block: 'nearest' });
}

async function startLiveView() {
  $('live-start').addEventListener('click', startLive);
  $('live-stop').addEventListener('click', () => liveCall('/api/watch/stop', {}));
  $('live-keep').addEventListener('click', () => liveCall('/api/watch/keep', {}));
  $('live-propose').addEventListener('click', proposeLive);
  $('live-apply').addEventListener('click', applyLive);
  $('live-open').addEventListener('click', toggleLive);
  renderLiveControls();
  const state = await call('GET', '/api/watch');
  if (!state.ok) return;
  for (const [id, key] of [['live-mic', 'micChannel'], ['live-reference', 'referenceChannel'], ['live-average', 'averageS']])
    Object.assign($(id), state.data.limits[key]);
  takeLiveState(state.data);
}
