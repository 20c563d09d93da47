// Measuring and tuning through the server's sound card: the Measure view
// (outputs, level, Start and Cancel, the microphone's level and the
// progress pushed while it plays, the measured curves of all outputs on one
// graph and each output's verdict; the channels' measurements feed the PEQ
// fit) and the Tune view (the proposal as a table with a tick per part and
// its predicted effect, Apply, and the system's curves before, predicted
// and after). One job at a time runs on the server, for every page.
// A measurement or a tuning pass at several microphone positions waits
// between them for "Measure position K" (the engineer walks with the phone
// to the microphone), a tuning's verification before its first position
// too; the view's graph shows the positions so far, thin, their average and
// the spread between the loudest and the quietest.
'use strict';

const OUTPUTS = { left: 'Left', right: 'Right', sub: 'Sub', system: 'System' };
const OUTPUT_COLOURS = { left: '#4da3ff', right: '#b48cff', sub: '#ffb347', system: '#e8eef0' };
const TUNE_CURVES = { before: ['Before', MEASUREMENT_GREY, true], predicted: ['Predicted', PROPOSAL_GREEN, true],
  after: ['After', '#4da3ff', false] };

const sound = {
  running: null,     // the job under way on the server: 'measure' or 'tune', or null
  measured: null,    // the last measurement's answer
  proposal: null,    // the last tune proposal's answer
  verified: null,    // the last apply's answer
  waiting: null,     // between positions: the push that said so
  adopted: false,    // the job under way was running when the page opened: its answer is the server's last
  sofar: [],         // the positions measured so far, each as a measurement's answer
};

const dbfsText = (dbfs) => `${dbText(dbfs).replace(' dB', '')} dBFS`;

// ---- the graphs ----

// The step of the graph's frequency grid at `hz`, fractional (log spacing).
function stepOfHz(grid, hz) {
  if (hz <= grid[0]) return 0;
  const next = grid.findIndex((value) => value >= hz);
  if (next < 0) return grid.length - 1;
  const low = Math.log(grid[next - 1]);
  return next - 1 + (Math.log(hz) - low) / (Math.log(grid[next]) - low);
}

// Curves of {hz, db, colour, dashed, thin, band} on a canvas in the
// response graph's style; a band ({low, high}) is filled between its two.
function drawCurvesGraph(canvas, curves) {
  const sheet = clearedGraph(canvas, 12);
  if (!sheet) return;
  const { g, axes } = sheet;
  const grid = page.curves.hz;
  const points = (hz, db) => hz.map((f, i) => [f, db[i]]).filter(([f]) => f >= grid[0] && f <= grid.at(-1))
    .map(([f, dB]) => [axes.x(stepOfHz(grid, f)), axes.y(dB)]);
  for (const curve of curves.filter((c) => c.band)) {
    const outline = [...points(curve.hz, curve.band.high), ...points(curve.hz, curve.band.low).reverse()];
    g.fillStyle = curve.colour;
    g.globalAlpha = 0.18;
    g.beginPath();
    outline.forEach(([x, y], i) => (i ? g.lineTo(x, y) : g.moveTo(x, y)));
    g.fill();
    g.globalAlpha = 1;
  }
  for (const curve of curves.filter((c) => !c.band)) {
    const inRange = curve.hz.map((hz, i) => [hz, curve.db[i]]).filter(([hz]) => hz >= grid[0] && hz <= grid.at(-1));
    g.strokeStyle = curve.colour;
    g.lineWidth = curve.thin ? 1 : curve.dashed ? 1.5 : 2;
    g.setLineDash(curve.dashed ? [6, 4] : []);
    g.beginPath();
    inRange.forEach(([hz, dB], i) => {
      const x = axes.x(stepOfHz(grid, hz));
      if (i) g.lineTo(x, axes.y(dB)); else g.moveTo(x, axes.y(dB));
    });
    g.stroke();
    g.setLineDash([]);
  }
}

// The level all curves are drawn against: the loudest output's typical
// level in its own band (its points within 30 dB of its peak) at 0 dB, so
// that the outputs keep their levels to one another.
function referenceDb(outputs) {
  const typical = outputs.filter((output) => output.db.length).map((output) => {
    const peak = Math.max(...output.db);
    const band = output.db.filter((dB) => dB > peak - 30).sort((a, b) => a - b);
    return band[Math.floor(band.length / 2)];
  });
  return typical.length ? Math.max(...typical) : 0;
}

const shifted = (db, reference) => db.map((dB) => dB - reference);

// Power-averaged over 1/6 octave around each point, as the verification
// judges the system: the comb of two tops heard together is evened out.
function sixthOctave(hz, db) {
  const power = db.map((dB) => 10 ** (dB / 10));
  const half = 2 ** (1 / 12);
  let low = 0;
  let high = 0;
  let sum = 0;
  return hz.map((centre) => {
    while (high < hz.length && hz[high] <= centre * half) sum += power[high++];
    while (hz[low] < centre / half) sum -= power[low++];
    return 10 * Math.log10(Math.max(sum, 1e-30) / (high - low));
  });
}

// Positions' curves of one output, thin, and the band from the quietest to
// the loudest of them (the spread).
function spreadCurves(hz, each, colour) {
  const band = { low: hz.map((_, i) => Math.min(...each.map((db) => db[i]))),
    high: hz.map((_, i) => Math.max(...each.map((db) => db[i]))) };
  return [{ hz, colour, band }, ...each.map((db) => ({ hz, db, colour, thin: true }))];
}

// Per output the positions' curves with their spread, and their average.
function positionsCurves(averages, positions) {
  const reference = referenceDb(averages);
  return averages.flatMap((average, index) => {
    if (!average.db.length) return [];
    const colour = OUTPUT_COLOURS[average.output];
    const each = positions.map((db) => db(index)).filter((db) => db.length === average.hz.length)
      .map((db) => shifted(db, reference));
    return [...spreadCurves(average.hz, each, colour), { hz: average.hz, db: shifted(average.db, reference), colour }];
  });
}

// Between positions of `job`: the positions measured so far and their average.
function waitingCurves(job) {
  if (sound.waiting?.job !== job || !sound.waiting.position) return null;
  return positionsCurves(sound.waiting.average,
    sound.sofar.filter(Boolean).map((position) => (index) => position.outputs[index].db));
}

function measureCurves() {
  const waiting = waitingCurves('measure');
  if (waiting) return waiting;
  const outputs = sound.measured?.outputs ?? [];
  if (sound.measured?.positions > 1) {
    return positionsCurves(outputs, outputs[0].positions.map((_, k) => (index) => outputs[index].positions[k].db));
  }
  const reference = referenceDb(outputs);
  return outputs.map((output) => ({ hz: output.hz, db: shifted(output.db, reference),
    colour: OUTPUT_COLOURS[output.output], dashed: false }));
}

// The system as measured before, as the proposal predicts it and as measured
// after; of several positions the average, each position thin before the
// verification (after it) with their spread.
function tuneCurves() {
  const waiting = waitingCurves('tune');
  if (waiting) return waiting;
  const system = (outputs) => outputs?.find((output) => output.output === 'system');
  const before = system(sound.proposal?.measured?.outputs);
  if (!before) return [];
  const reference = referenceDb([before]);
  const smoothed = (output, db) => shifted(sixthOctave(output.hz, db), reference);
  const predicted = sound.proposal.predicted;
  const curves = [['before', before], ['predicted', system(predicted.average ?? predicted.outputs)],
    ['after', system(sound.verified?.after?.outputs)]].filter(([, output]) => output);
  const [name, last] = curves.filter(([key]) => key !== 'predicted').at(-1);
  const spread = last.positions ? spreadCurves(last.hz, last.positions.map((position) => smoothed(last, position.db)),
    TUNE_CURVES[name][1]) : [];
  return [...spread, ...curves.map(([key, output]) => ({ hz: output.hz, db: smoothed(output, output.db),
    colour: TUNE_CURVES[key][1], dashed: TUNE_CURVES[key][2] }))];
}

function drawSoundGraphs() {
  drawCurvesGraph($('graph-measure'), measureCurves());
  drawCurvesGraph($('graph-tune'), tuneCurves());
}

// ---- measuring ----

function measureBody() {
  const outputs = [...document.querySelectorAll('#measure-outputs input:checked')].map((box) => box.value);
  return { outputs, levelDbfs: Number($('measure-level-dbfs').value), lengthS: Number($('measure-length').value),
    micChannel: Number($('measure-mic').value) };
}

function positionsWanted(where) { return Number($(`${where}-positions`).value); }

function renderRunning() {
  const busy = sound.running !== null;
  $('measure-start').disabled = busy;
  $('tune-start').disabled = busy;
  $('tune-apply').disabled = busy || !sound.proposal;
  $('measure-cancel').disabled = sound.running !== 'measure';
  $('tune-cancel').disabled = sound.running !== 'tune';
}

// A job's failure said where it was asked for, the mutes it could not put back loudly.
function showFailure(where, result) {
  const node = $(`${where}-warning`);
  node.hidden = false;
  node.textContent = result.error;
  $(`${where}-phase`).textContent = result.data?.kind === 'cancelled' ? 'cancelled' : 'failed';
}

function showWarning(where, warning) {
  $(`${where}-warning`).hidden = !warning;
  $(`${where}-warning`).textContent = warning || '';
}

async function startMeasuring() {
  const body = measureBody();
  if (!body.outputs.length) return toast('Tick an output to measure.');
  showWarning('measure', '');
  sound.running = 'measure';
  sound.sofar = [];
  renderRunning();
  const result = await call('POST', '/api/measure', { ...body, positions: positionsWanted('measure') });
  sound.running = null;
  showBetween(null);
  renderRunning();
  if (!result.ok) return showFailure('measure', result);
  takeMeasured(result.data);
}

// The box a view shows between positions, after its row of buttons: what
// was measured, the button for the next position and the one that measures
// the last again.
function betweenBox(where) {
  const button = (id, text, again) => {
    const node = element('button', { type: 'button', id: `${where}-${id}`, class: again ? 'quiet' : '' }, text);
    node.addEventListener('click', () => nextPosition(again));
    return node;
  };
  $(`${where}-start`).parentElement.after(element('div', { id: `${where}-between`, class: 'row between', hidden: true },
    element('p', { id: `${where}-where`, class: 'hint', 'aria-live': 'polite' }),
    button('next', 'Measure position 2', false), button('again', 'Measure this position again', true)));
}

// What the box says after position `position` of a measurement or tuning
// pass (0: before a tuning's verification, back at the first).
function whereText(waiting) {
  if (!waiting.position) {
    return `Take the microphone back to position 1 of ${waiting.positions}: the ticked parts are applied`
      + ' once it is there, then every position is measured again.';
  }
  const done = `Position ${waiting.position} of ${waiting.positions} measured`
    + (waiting.measured.allOk ? '.' : ', not every output is ok.');
  return waiting.next ? `${done} Take the microphone to position ${waiting.next}.` : done;
}

// Between positions: which one was measured, the button for the next (or,
// after the last, for keeping it) and the one that measures it again.
function showBetween(waiting) {
  sound.waiting = waiting;
  for (const where of ['measure', 'tune']) $(`${where}-between`).hidden = waiting?.job !== where;
  if (!waiting) return;
  const where = waiting.job;
  if (waiting.position) sound.sofar[waiting.position - 1] = waiting.measured;
  else sound.sofar = [];
  $(`${where}-where`).textContent = whereText(waiting);
  $(`${where}-next`).textContent = waiting.next ? `Measure position ${waiting.next}` : 'Keep it and finish';
  $(`${where}-again`).hidden = !waiting.position;
  $(`${where}-phase`).textContent = waiting.next ? `waiting for position ${waiting.next}` : 'waiting';
  drawSoundGraphs();
}

async function nextPosition(again) {
  for (const where of ['measure', 'tune']) $(`${where}-between`).hidden = true;
  const result = await call('POST', '/api/measure/next', again ? { again: true } : {});
  if (!result.ok) toast(result.error);
}

function takeMeasured(measured) {
  sound.measured = measured;
  $('measure-phase').textContent = measured.allOk ? 'done' : 'done, not every output is ok';
  $('measure-progress').value = 1;
  showWarning('measure', measured.warning);
  $('measure-use').disabled = !measured.kept?.length;
  const verdict = (output) => {
    const figures = output.hz.length
      ? `arrival ${(Math.abs(output.arrivalMs) < 0.005 ? 0 : output.arrivalMs).toFixed(2)} ms · peak ${dbfsText(output.peakDbfs)}`
        + (output.snrDb === null ? '' : ` · SNR ${output.snrDb.toFixed(0)} dB`)
        + (output.spreadDb ? ` · spread up to ${Math.max(...output.spreadDb).toFixed(1)} dB` : '') : '';
    return element('li', { class: `verdict ${output.verdict}`, 'data-output': output.output },
      element('span', { class: `swatch ${output.output}` }, OUTPUTS[output.output]),
      element('strong', {}, output.verdictText), element('span', { class: 'hint' }, figures));
  };
  $('measure-verdicts').replaceChildren(...measured.outputs.map(verdict));
  $('measure-legend').replaceChildren(...measured.outputs.map((output) =>
    element('span', { class: `swatch ${output.output}` }, OUTPUTS[output.output])),
  element('span', { class: 'hint' }, measured.positions > 1
    ? `the average of ${measured.positions} positions, each thin, the band their spread; levels relative to the loudest output`
    : 'levels relative to the loudest output'));
  drawSoundGraphs();
}

// The channels' measurements are kept on the server: each channel's fit
// starts from them, and the editor of Left & Right opens on its fit.
async function useForFit() {
  for (const ch of sound.measured.kept) await fitPeq(ch);
  if (LAPTOP.matches) openBlock('lr', 'peq'); else showTab('lr');
  const group = document.querySelector('#view-lr details.tuning');
  group.open = true;
  group.scrollIntoView({ block: 'nearest' });
}

async function cancelJob() {
  const result = await call('POST', '/api/measure/cancel', {});
  if (!result.ok) toast(result.error);
}

function onSoundPush(message) {
  if (message.type === 'level') {
    $('measure-input').value = Math.max(-60, message.dbfs);
    $('measure-input-text').textContent = dbfsText(message.dbfs);
    return;
  }
  const where = message.job === 'tune' ? 'tune' : 'measure';
  if (message.phase === 'done') {
    sound.running = null;
    showBetween(null);
    renderRunning();
    if (sound.adopted) takeAdoptedOutcome();
    return;
  }
  if (message.phase === 'waiting') return showBetween(message);
  if (sound.waiting) showBetween(null);
  sound.running = message.job;
  renderRunning();
  $(`${where}-progress`).value = message.fraction;
  $(`${where}-phase`).textContent = [message.stage, message.output && OUTPUTS[message.output], message.phase]
    .filter(Boolean).join(': ');
}

// ---- tuning ----

function renderProposalTable() {
  const table = $('tune-table');
  if (!sound.proposal) return table.replaceChildren();
  const head = element('tr', {}, ...['Apply', 'Part', 'Proposed', 'Predicted effect'].map((text) => element('th', {}, text)));
  table.replaceChildren(head, ...sound.proposal.texts.map((text) => {
    const tick = element('input', { type: 'checkbox', checked: text.applicable, disabled: !text.applicable,
      value: text.part, 'aria-label': `Apply ${text.name}` });
    return element('tr', { 'data-part': text.part }, element('td', {}, tick), element('th', {}, text.name),
      element('td', {}, text.proposal), element('td', {}, text.effect, text.note && element('div', { class: 'hint' }, text.note)));
  }));
}

function renderTuneLegend() {
  $('tune-legend').replaceChildren(...Object.entries(TUNE_CURVES)
    .filter(([name]) => name !== 'after' || sound.verified)
    .map(([name, [label]]) => element('span', { class: `swatch tune-${name}` }, `System ${label.toLowerCase()}`)),
  element('span', { class: 'hint' }, '1/6 octave'));
}

async function startTuning() {
  showWarning('tune', '');
  sound.running = 'tune';
  renderRunning();
  const { outputs, ...body } = measureBody();  // a pass measures all four
  sound.sofar = [];
  const result = await call('POST', '/api/tune', { ...body, positions: positionsWanted('tune') });
  sound.running = null;
  if (!result.ok) { renderRunning(); return showFailure('tune', result); }
  takeProposal(result.data);
}

function takeProposal(proposal) {
  sound.proposal = proposal;
  sound.verified = null;
  renderRunning();
  $('tune-phase').textContent = 'proposed: tick the parts to apply';
  $('tune-verify').replaceChildren();
  $('tune-sums').replaceChildren(...proposal.positionSums.map((sum) => element('li', {}, sum)));
  renderProposalTable();
  renderTuneLegend();
  drawSoundGraphs();
}

async function applyTuning() {
  const parts = {};
  for (const box of document.querySelectorAll('#tune-table input[type="checkbox"]')) parts[box.value] = box.checked;
  showWarning('tune', '');
  sound.running = 'tune';
  sound.sofar = [];
  renderRunning();
  const result = await call('POST', '/api/tune/apply', { parts });
  sound.running = null;
  renderRunning();
  if (!result.ok) return showFailure('tune', result);
  takeVerified(result.data);
}

function takeVerified(verified) {
  sound.verified = verified;
  renderRunning();
  $('tune-phase').textContent = 'applied and measured again';
  const { checksAt, checks, findings } = verified;
  $('tune-verify').replaceChildren(...(checksAt ? [element('li', { class: 'hint' }, checksAt)] : []), ...checks.map((check) => element('li', { 'data-output': check.output.toLowerCase() },
    element('span', { class: `swatch ${check.output.toLowerCase()}` }, check.output),
    element('span', {}, `RMS from the target ${check.rmsBefore} → ${check.rmsAfter}`),
    element('span', { class: 'hint' }, `off the prediction by ${check.miss}`))),
  ...[...findings, ...verified.positionFindings].map((finding) => element('li', {}, finding)));
  showWarning('tune', (verified.shortfalls ?? []).join('\n'));
  renderTuneLegend();
  drawSoundGraphs();
}

// ---- start ----

// The controls' ranges and defaults are the server's. A job under way as
// the page opens (the phone's page reloaded while the person walked, say)
// is taken up: its wait for a position shown, its answer taken at its end.
async function takeSoundState() {
  const state = await call('GET', '/api/measure');
  if (!state.ok) return;
  for (const [id, key] of [['measure-length', 'lengthS'], ['measure-level-dbfs', 'levelDbfs'],
    ['measure-positions', 'positions'], ['tune-positions', 'positions']])
    Object.assign($(id), state.data.limits[key]);
  const { running, job, progress } = state.data;
  if (!running) return;
  sound.running = job;
  sound.adopted = true;
  renderRunning();
  if (progress?.phase === 'waiting') showBetween(progress);
}

// The answer of a job this page took up, as the server kept it.
async function takeAdoptedOutcome() {
  sound.adopted = false;
  const state = await call('GET', '/api/measure');
  const last = state.ok ? state.data.last : null;
  if (!last) return;
  const take = { measured: takeMeasured, proposed: takeProposal, verified: takeVerified }[last.outcome];
  if (take) take(last); else showFailure(last.job, { error: last.error, data: last });
}

function startSound() {
  takeSoundState();
  $('measure-outputs').append(...Object.entries(OUTPUTS).map(([name, label]) =>
    element('label', { class: 'tick' }, element('input', { type: 'checkbox', value: name, checked: true }), label)));
  $('measure-start').addEventListener('click', startMeasuring);
  $('measure-use').addEventListener('click', useForFit);
  betweenBox('measure');
  betweenBox('tune');
  $('tune-start').addEventListener('click', startTuning);
  $('tune-apply').addEventListener('click', applyTuning);
  for (const id of ['measure-cancel', 'tune-cancel']) $(id).addEventListener('click', cancelJob);
  renderRunning();
}
