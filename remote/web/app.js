// The RX7.4 remote page. The server's push channel tells the state the unit
// acknowledged; controls send while they move, one request per control at a
// time (the latest value wins), and show what the unit holds.
'use strict';

const CHANNELS = { lr: 'Left & Right', sub: 'Sub' };

// [field, label, kind, only on this channel]
const OUTPUT = [['gain', 'Level', 'range'], ['mute', 'Mute', 'toggle'], ['polarity', 'Polarity 180°', 'toggle'],
  ['delay', 'Delay', 'range']];
const CROSSOVER = [['hpfType', 'High-pass type', 'select'], ['hpfFreq', 'High-pass', 'range'],
  ['lpfType', 'Low-pass type', 'select'], ['lpfFreq', 'Low-pass', 'range'], ['xoverOn', 'Crossover', 'toggle', 'lr']];
const PEQ = [['freq', 'Frequency', 'range'], ['gain', 'Gain', 'range'], ['bandwidth', 'Bandwidth', 'range'],
  ['flat', 'Flat', 'toggle'], ['hiShelf', 'High shelf', 'toggle'], ['loShelf', 'Low shelf', 'toggle']];
const LIMITER = [['limThreshold', 'Threshold', 'range'], ['limAttack', 'Attack', 'range'], ['limHold', 'Hold', 'range'],
  ['limDecay', 'Decay', 'range']];

const page = {
  token: null,
  scales: null,
  unit: null,   // the last state announced: link, memories, settings, values
  seq: -1,
  controls: [],
  graphs: {},   // channel -> canvas
  curves: null, // the last /api/response
  curvesBusy: false,
  curvesDirty: false,
  socket: null,
  storePicked: false, // the user chose the memory to store into
  history: null,       // what Undo and Redo would do: {undo, redo} (labels or null)
  gestures: 0,         // counts this page's gestures; with `tab`, names each for the server
  tab: Math.random().toString(36).slice(2),
  measurements: {},   // channel -> the kept measurement's levels per step
  proposals: {},      // channel -> the fit's proposal on preview
  units: [],          // the server's units: {index, name, device, link, memoriesUsed}
  current: null,      // the name of the unit shown; null while the server has one unit
  missedSeq: null,    // while a switch fetches the new unit's state: the last of its pushes not taken, else -1
  linked: new Set(),  // the names of other units that take this page's field edits too
  phoneView: 'lr',    // the view a phone shows
  side: null,         // what a laptop shows beside the graph: {view, block, opener}, or nothing
};

// A − / + button held down moves its slider on after this, then at every repeat.
const HOLD_DELAY_MS = 400;
const HOLD_REPEAT_MS = 100;

const $ = (id) => document.getElementById(id);

function element(tag, props = {}, ...children) {
  const node = document.createElement(tag);
  for (const [key, value] of Object.entries(props)) {
    if (key === 'class') node.className = value;
    else if (key in node) node[key] = value;
    else node.setAttribute(key, value);
  }
  node.append(...children);
  return node;
}

// ---- requests ----

// Takes the token from the address (then out of it, so that it is not shared
// by a screenshot); true when the address held one.
function takeToken() {
  const match = /(?:^#|&)token=([A-Za-z0-9_-]+)/.exec(location.hash);
  if (match) {
    sessionStorage.setItem('token', match[1]);
    history.replaceState(null, '', location.pathname);
  }
  page.token = sessionStorage.getItem('token');
  return Boolean(match);
}

async function call(method, path, body, type = 'application/json') {
  const headers = {};
  if (page.token) headers.Authorization = 'Bearer ' + page.token;
  if (body !== undefined) headers['Content-Type'] = type;
  if (body !== undefined && type === 'application/json') body = JSON.stringify(body);
  let response;
  try {
    response = await fetch(unitPath(path), { method, headers, body, cache: 'no-store' });
  } catch (error) {
    return { ok: false, status: 0, error: 'The server cannot be reached.' };
  }
  if (response.status === 401) renderLink('refused');
  const isJson = (response.headers.get('Content-Type') || '').startsWith('application/json');
  const data = isJson ? await response.json() : await response.arrayBuffer();
  if (response.ok) return { ok: true, status: response.status, data };
  const text = isJson ? data.error : new TextDecoder().decode(data).trim();
  return { ok: false, status: response.status, data, error: text || response.statusText };
}

let toastTimer = 0;
function toast(text) {
  const node = $('toast');
  node.textContent = text;
  node.hidden = false;
  clearTimeout(toastTimer);
  toastTimer = setTimeout(() => { node.hidden = true; }, 4000);
}

// ---- controls ----

function scaleOf(control) {
  return control.band === null ? page.scales[control.field] : page.scales.peq[control.field];
}

function textOf(control, value) {
  const scale = scaleOf(control);
  return scale.texts[value - scale.min] ?? String(value);
}

function ackedValue(control) {
  const channel = page.unit.settings[control.ch];
  return control.band === null ? channel[control.field] : channel.peq[control.band][control.field];
}

function controlPath(control) {
  const field = control.band === null ? control.field : `peq/${control.band}/${control.field}`;
  return `/api/settings/${control.ch}/${field}`;
}

// A gesture of a control (a drag from press to release, a − / + button or an
// arrow key from press to release) is one step of the server's history
// however long it lasts: its values go out under one id. A value set
// outside one (a tap, a typed value, a choice) is a step of its own.
function beginGesture(control) {
  control.gesture = `${page.tab}-${++page.gestures}`;
}

function endGesture(control) {
  control.gesture = null;
}

function userValue(control, value) {
  const scale = scaleOf(control);
  control.wanted = Math.min(scale.max, Math.max(scale.min, value));
  control.wantedGesture = control.gesture;
  render(control);
  if (!control.busy) send(control);
}

async function send(control) {
  const value = control.wanted;
  const gesture = control.wantedGesture;
  control.busy = true;
  const body = gesture ? { value, gesture } : { value };
  for (const name of page.linked) sendLinked(name, controlPath(control), body);
  const result = await call('PUT', controlPath(control), body);
  control.busy = false;
  if (result.ok) takeChannel(result.data);
  else toast(result.error);
  if (result.ok && control.wanted !== value) return send(control);
  control.wanted = null;
  render(control);
}

function render(control) {
  if (!page.unit || !page.scales) return;
  const acked = ackedValue(control);
  const shown = control.wanted ?? acked;
  const pending = control.wanted !== null && control.wanted !== acked;
  const text = textOf(control, shown);
  if (control.kind === 'toggle') {
    control.input.setAttribute('aria-pressed', String(shown !== 0));
    control.input.textContent = text;
  } else {
    control.input.value = String(shown);
  }
  if (control.kind === 'range') {
    control.input.setAttribute('aria-valuetext', text);
    const share = (shown - control.input.min) / (control.input.max - control.input.min);
    control.input.style.setProperty('--fill', `${100 * share}%`);
    if (document.activeElement !== control.value) control.value.value = text;
  }
  control.state.textContent = pending ? 'unit: ' + textOf(control, acked) : '✓';
  control.row.classList.toggle('pending', pending);
}

function renderAll() {
  for (const control of page.controls) render(control);
  renderChain();
}

function makeControl(ch, band, [field, label, kind]) {
  const control = { ch, band, field, label, kind, wanted: null, busy: false };
  const id = `${ch}-${band ?? 'x'}-${field}`;
  const scale = band === null ? page.scales[field] : page.scales.peq[field];
  control.state = element('span', { class: 'ack' });
  const head = element('div', { class: 'head' }, element('label', { htmlFor: id }, label));
  let body;
  if (kind === 'range') {
    control.value = element('input', { class: 'value', id: `${id}-value`, autocomplete: 'off', spellcheck: false,
      enterKeyHint: 'done', 'aria-label': `${label}, typed` });
    listenForTyping(control);
    head.append(control.value);
    control.input = element('input', { type: 'range', id, min: scale.min, max: scale.max, step: 1 });
    control.input.addEventListener('input', () => userValue(control, Number(control.input.value)));
    listenForStepKeys(control, control.input, ['ArrowRight', 'ArrowUp', 'ArrowLeft', 'ArrowDown', 'PageUp', 'PageDown']);
    listenForStepKeys(control, control.value, ['ArrowUp', 'ArrowDown', 'PageUp', 'PageDown']);
    const track = element('div', { class: 'track' }, control.input);
    followThumb(track, control);
    body = element('div', { class: 'slider' }, nudgeButton(control, -1, '−'), track, nudgeButton(control, 1, '+'));
  } else if (kind === 'select') {
    control.input = element('select', { id });
    scale.texts.forEach((text, index) => control.input.append(element('option', { value: scale.min + index }, text)));
    control.input.addEventListener('change', () => userValue(control, Number(control.input.value)));
    body = control.input;
  } else {
    control.input = element('button', { type: 'button', id, class: 'toggle' });
    control.input.addEventListener('click', () => userValue(control, (control.wanted ?? ackedValue(control)) ? 0 : 1));
    body = control.input;
  }
  head.append(control.state);
  control.row = element('div', { class: `control ${kind}` }, head, body);
  page.controls.push(control);
  return control.row;
}

// The block of the laptop's signal chain that each output field belongs to;
// the other groups belong to one block each.
const OUTPUT_BLOCKS = { gain: 'gain', mute: 'gain', polarity: 'phase', delay: 'delay' };

// A group of controls; `blockOf` names the chain block of each field.
function section(ch, title, fields, blockOf, band = null, open = true) {
  const rows = fields.filter(([, , , only]) => !only || only === ch).map((field) => {
    const row = makeControl(ch, band, field);
    row.dataset.blocks = blockOf(field[0]);
    return row;
  });
  const blocks = [...new Set(rows.map((row) => row.dataset.blocks))].join(' ');
  return element('details', { class: 'group', open, 'data-blocks': blocks }, element('summary', {}, title), ...rows);
}

function buildChannel(ch) {
  const canvas = element('canvas', { class: 'graph', width: 460, height: 190, 'aria-label': `${CHANNELS[ch]} response` });
  page.graphs[ch] = canvas;
  const view = $(`view-${ch}`);
  view.append(element('h2', {}, CHANNELS[ch]), canvas, buildTuning(ch),
    section(ch, 'Output', OUTPUT, (field) => OUTPUT_BLOCKS[field]), section(ch, 'High / low pass', CROSSOVER, () => 'xover'));
  for (let band = 0; band < 3; band++) view.append(section(ch, `PEQ ${band + 1}`, PEQ, () => 'peq', band, false));
  view.append(section(ch, 'Limiter', LIMITER, () => 'limit', null, false));
}

// ---- sliders: the thumb, keys and typed values ----

// The keys that move a slider, as on the desktop: one step, or ten with
// Page Up / Down. A key held down, with its repeats, is one gesture.
const STEP_KEYS = { ArrowRight: 1, ArrowUp: 1, ArrowLeft: -1, ArrowDown: -1, PageUp: 10, PageDown: -10 };

function listenForStepKeys(control, node, keys) {
  node.addEventListener('keydown', (event) => {
    if (!keys.includes(event.key) || event.altKey || event.ctrlKey || event.metaKey) return;
    event.preventDefault();
    if (!event.repeat) beginGesture(control);
    const scale = scaleOf(control);
    const from = control.wanted ?? ackedValue(control);
    const to = Math.min(scale.max, Math.max(scale.min, from + STEP_KEYS[event.key]));
    if (to !== from) userValue(control, to);
    if (node === control.value) {
      node.value = textOf(control, to);  // render() leaves a focused box alone
      node.select();
    }
  });
  for (const end of ['keyup', 'blur']) node.addEventListener(end, () => endGesture(control));
}

// A finger that lands on a slider's track, or scrolls the page from it, must
// not change what the room hears. So the range input takes no pointer (it
// keeps the keyboard); its track follows only a press on the thumb that then
// moves sideways.
const THUMB_PX = 28;       // the thumb's width in style.css
const THUMB_SLOP_PX = 10;  // a finger's miss beside it
const DRAG_START_PX = 6;   // movement that tells a drag from a tap, sideways from a scroll

function thumbCentre(input) {
  const box = input.getBoundingClientRect();
  const share = (input.value - input.min) / (input.max - input.min);
  return box.left + THUMB_PX / 2 + share * (box.width - THUMB_PX);
}

function followThumb(track, control) {
  const input = control.input;
  let drag = null;
  const release = () => {
    drag = null;
    endGesture(control);
  };
  track.addEventListener('pointerdown', (event) => {
    if (event.button !== 0 || Math.abs(event.clientX - thumbCentre(input)) > THUMB_PX / 2 + THUMB_SLOP_PX) return;
    beginGesture(control);
    drag = { pointer: event.pointerId, x: event.clientX, y: event.clientY, from: Number(input.value), sideways: false };
    track.setPointerCapture(event.pointerId);
    if (event.pointerType === 'mouse') event.preventDefault();  // no text selection while dragging
    input.focus({ preventScroll: true });
  });
  track.addEventListener('pointermove', (event) => {
    if (!drag || event.pointerId !== drag.pointer) return;
    const dx = event.clientX - drag.x;
    const dy = event.clientY - drag.y;
    if (!drag.sideways) {
      if (Math.hypot(dx, dy) < DRAG_START_PX) return;
      if (Math.abs(dy) >= Math.abs(dx)) return release();  // a scroll, not a drag
      drag.sideways = true;
    }
    const stepsPerPx = (input.max - input.min) / (input.getBoundingClientRect().width - THUMB_PX);
    userValue(control, drag.from + Math.round(dx * stepsPerPx));
  });
  track.addEventListener('pointerup', release);
  track.addEventListener('pointercancel', release);
}

// A − / + button: a tap moves its slider one step; held, it moves on after
// HOLD_DELAY_MS at every HOLD_REPEAT_MS until released, one gesture from
// press to release. A finger that scrolls the page from it moves nothing.
function nudgeButton(control, delta, sign) {
  const button = element('button', { type: 'button', class: 'nudge', 'aria-label': `${control.label} ${sign}` }, sign);
  const step = () => userValue(control, (control.wanted ?? ackedValue(control)) + delta);
  let hold = null;
  const repeat = () => {
    hold.repeated = true;
    step();
    hold.timer = setTimeout(repeat, HOLD_REPEAT_MS);
  };
  const stop = () => {
    if (!hold) return;
    clearTimeout(hold.timer);
    hold = null;
    endGesture(control);
  };
  button.addEventListener('pointerdown', (event) => {
    if (event.button !== 0) return;
    stop();
    beginGesture(control);
    hold = { pointer: event.pointerId, repeated: false, timer: setTimeout(repeat, HOLD_DELAY_MS) };
  });
  button.addEventListener('pointerup', (event) => {
    if (!hold || event.pointerId !== hold.pointer) return;
    if (!hold.repeated) step();  // a tap
    stop();
  });
  button.addEventListener('pointercancel', stop);  // the page scrolls
  button.addEventListener('pointerleave', stop);
  // Enter or Space: a click with no pointer behind it.
  button.addEventListener('click', (event) => { if (event.detail === 0) step(); });
  button.addEventListener('contextmenu', (event) => event.preventDefault());  // a long press is a hold
  return button;
}

// The number a text gives in the field's unit (`unit` or k`unit`, which may
// be left out: "-3", "1.2k", "1.2kHz"); NaN when it is not one.
function amountIn(text, unit) {
  const match = /^([+-]?(?:\d+\.?\d*|\.\d+))\s*(k?)([a-z]*)$/i.exec(text.trim().replace('−', '-'));
  if (!match || (match[3] && match[3].toLowerCase() !== unit.toLowerCase())) return NaN;
  return Number(match[1]) * (match[2] ? 1000 : 1);
}

// The step a typed text names: one of the field's texts ("off"), or the step
// nearest to its amount (halfway: the larger one), as `set` reads values in
// units. Null for anything else, or an amount outside the field's range.
function stepOfTyped(scale, typed) {
  const exact = scale.texts.findIndex((text) => text.toLowerCase() === typed.trim().toLowerCase());
  if (exact >= 0) return scale.min + exact;
  const unit = /k?([a-z]*)$/i.exec(scale.texts.at(-1))[1];
  const wanted = amountIn(typed, unit);
  const amounts = scale.texts.map((text) => amountIn(text, unit));
  const known = amounts.filter((amount) => !Number.isNaN(amount));
  if (Number.isNaN(wanted) || wanted < Math.min(...known) || wanted > Math.max(...known)) return null;
  let best = null;
  amounts.forEach((amount, index) => {
    const distance = Math.abs(amount - wanted);
    const bestDistance = best === null ? Infinity : Math.abs(amounts[best] - wanted);
    if (distance < bestDistance || (distance === bestDistance && amount > amounts[best])) best = index;
  });
  return scale.min + best;
}

function rangeText(scale) {
  const numbered = scale.texts.filter((text) => /\d/.test(text));
  const others = scale.texts.filter((text) => !/\d/.test(text));
  return [...others, `${numbered[0]} .. ${numbered.at(-1)}`].join(', ');
}

function listenForTyping(control) {
  const box = control.value;
  box.addEventListener('focus', () => box.select());
  box.addEventListener('keydown', (event) => {
    if (event.key === 'Escape') box.value = textOf(control, control.wanted ?? ackedValue(control));
    if (event.key === 'Enter' || event.key === 'Escape') box.blur();
  });
  box.addEventListener('change', () => {
    const step = stepOfTyped(scaleOf(control), box.value);
    if (step === (control.wanted ?? ackedValue(control))) return render(control);  // moved by its keys already
    if (step !== null) return userValue(control, step);
    toast(`${control.label} takes ${rangeText(scaleOf(control))}.`);
    render(control);
  });
  box.addEventListener('blur', () => render(control));
}

// ---- state from the server ----

function takeChannel(message) {
  if (!page.unit || message.seq < page.seq) return;
  page.unit.settings[message.channel] = message.settings;
  page.unit.values[message.channel] = message.values;
  renderAll();
  refreshCurves();
}

function takeState(message) {
  page.unit = message;
  page.seq = message.seq;
  renderAll();
  renderMemories();
  renderLink();
  refreshCurves();
  if (!page.history) refreshHistory();
}

async function refreshHistory() {
  const result = await call('GET', '/api/history');
  if (result.ok) takeHistory(result.data);
}

// A link message carries the link as its "link", or as its own "state" and "reason".
const linkOf = (message) => message.link ?? { state: message.state, reason: message.reason };

function onPush(message) {
  if (message.units) takeUnits(message.units);
  if (message.type === 'log') return onLogPush(message);
  if (message.type === 'measure' || message.type === 'level') return onSoundPush(message);
  if (message.type === 'watch' || message.type === 'watchEdit' || message.type === 'watchState') return onLivePush(message);
  if (message.unit !== undefined) noteUnit(message);
  if (page.current !== null && message.unit !== page.current) return;
  if (page.missedSeq !== null) { page.missedSeq = Math.max(page.missedSeq, message.seq); return; }
  if (message.type === 'state') return takeState(message);
  if (!page.unit) return;
  page.seq = Math.max(page.seq, message.seq);
  if (message.type === 'channel') return takeChannel(message);
  if (message.type === 'memories') { page.unit.memories = message.memories; return renderMemories(); }
  if (message.type === 'link') { page.unit.link = linkOf(message); return renderLink(); }
  if (message.type === 'measurement') return takeMeasurement(message.channel, message.measurement);
  if (message.type === 'history') return takeHistory(message);
}

// ---- undo and redo: one history for every client ----

function takeHistory(history) {
  page.history = history;
  for (const which of ['undo', 'redo']) {
    const button = $(which);
    const label = history[which];
    button.disabled = label === null;
    button.title = label === null ? '' : `${which === 'undo' ? 'Undo' : 'Redo'} ${label}`;
  }
  if (history.restarted) toast(history.restarted);
  renderAb(history.ab);
}

// One button switches over: to the side not active, or to the one side kept.
function renderAb(ab) {
  const other = ab.active === 'A' ? 'B' : 'A';
  const target = ab[other] ? other : (ab.active && ab[ab.active] ? ab.active : null);
  const button = $('switch-ab');
  button.disabled = target === null;
  button.dataset.target = target ?? '';
  button.textContent = target ? `Switch to ${target}` : 'Switch';
  $('ab-state').textContent = ab.active
    ? `${ab.active} is active${ab.drifted ? ', and the setting has changed since' : ''}.` : 'Nothing kept yet.';
}

async function keepAb(side) {
  const result = await call('PUT', `/api/ab/${side}`);
  if (!result.ok) return toast(result.error);
  takeHistory(result.data);
  toast(`The setting is kept as ${side}.`);
}

async function switchAb() {
  const result = await call('POST', `/api/ab/${$('switch-ab').dataset.target}/apply`);
  if (!result.ok) return toast(result.error);
  takeState(result.data);
  takeHistory(result.data.history);
}

async function undoOrRedo(which) {
  const result = await call('POST', `/api/${which}`);
  if (!result.ok) return toast(result.error);
  takeState(result.data);
  takeHistory(result.data.history);
}

// Ctrl+Z undoes, Ctrl+Shift+Z and Ctrl+Y redo, as on the desktop; in a box
// for a name, a logo line or an address they undo the typing.
function undoKey(event) {
  if (!(event.ctrlKey || event.metaKey) || event.altKey || $('ask').open) return;
  const key = event.key.toLowerCase();
  const which = key === 'y' || (key === 'z' && event.shiftKey) ? 'redo' : key === 'z' ? 'undo' : null;
  const target = event.target;
  const typing = target.matches?.('input:not([type]), input[type="text"]') && !target.classList.contains('value');
  if (!which || typing) return;
  event.preventDefault();
  if (!$(which).disabled) undoOrRedo(which);
}

// What the page itself knows to be wrong, before anything the unit's link says.
const PAGE_PROBLEMS = {
  unreachable: ['server unreachable', 'The server cannot be reached; trying again…'],
  none: ['no unit', 'No unit is served yet: choose its port under “Find the unit”.'],
  refused: ['token refused', 'The server refused this page’s token: a new one is made each time quenbar-cli serve '
    + 'starts. Open the address it printed at start (with #token=…) or scan its QR code again.'],
};

function renderLink(pageProblem) {
  const [state, text] = PAGE_PROBLEMS[pageProblem]
    ?? [page.unit.link.state, `${page.unit.link.state}: ${page.unit.link.reason}`];
  const node = $('link');
  node.textContent = state;
  node.dataset.state = state.replace(/ /g, '-');
  const problem = $('problem');
  problem.hidden = state === 'connected';
  problem.textContent = text;
  document.body.classList.toggle('offline', state !== 'connected');
}

function connectPush() {
  const scheme = location.protocol === 'https:' ? 'wss:' : 'ws:';
  const query = page.token ? '?token=' + encodeURIComponent(page.token) : '';
  const socket = new WebSocket(`${scheme}//${location.host}/api/events${query}`);
  page.socket = socket;
  socket.addEventListener('message', (event) => onPush(JSON.parse(event.data)));
  socket.addEventListener('open', () => { if (tools.log.following) subscribeLog(true); });
  socket.addEventListener('close', reconnectPush);
}

// A browser does not tell why a WebSocket was declined: a request does, so
// that a page left with an old token says so instead of waiting forever.
async function reconnectPush() {
  const probe = await call('GET', '/api/state');
  if (probe.status === 0) renderLink('unreachable');
  setTimeout(connectPush, 1000);
}

// ---- several units ----

// With more than one unit, the list above the views switches the whole page
// between them, and the units ticked "link" take its field edits as well.

// The path for the unit named `name`: its own under /api/units, or today's
// path while the server has one unit.
function unitPath(path, name = page.current) {
  if (name === null || !path.startsWith('/api/') || path === '/api/scales' || path.startsWith('/api/units')) return path;
  return `/api/units/${encodeURIComponent(name)}/${path.slice('/api/'.length)}`;
}

function takeUnits(units) {
  page.units = units;
  const names = units.map((unit) => unit.name);
  if (units.length < 2) page.current = null;
  else if (!names.includes(page.current)) page.current = names[0];
  for (const name of page.linked) if (!names.includes(name) || name === page.current) page.linked.delete(name);
  renderUnits();
  if (!units.length) renderLink('none');
}

// What a push message tells of its unit's link and memories, for the list.
function noteUnit(message) {
  const unit = page.units.find((entry) => entry.name === message.unit);
  if (!unit) return;
  if (message.type === 'link' || message.type === 'state') unit.link = linkOf(message);
  if (message.memories) unit.memoriesUsed = message.memories.filter((memory) => memory.used).length;
  renderUnits();
}

function renderUnits() {
  const list = $('units');
  list.hidden = page.units.length < 2;
  list.replaceChildren(...page.units.map(unitRow));
  renderFindTarget();
}

function unitRow(unit) {
  const shown = unit.name === page.current;
  const pick = element('button', { type: 'button', class: 'pick', 'aria-pressed': String(shown) }, unit.name);
  pick.addEventListener('click', () => showUnit(unit.name));
  const state = element('span', { class: 'link', 'data-state': unit.link.state.replace(/ /g, '-') }, unit.link.state);
  const used = element('span', { class: 'used' }, `${unit.memoriesUsed} of 6 memories used`);
  const link = element('input', { type: 'checkbox', checked: shown || page.linked.has(unit.name), disabled: shown,
    'aria-label': `Link ${unit.name}` });
  link.addEventListener('change', () => {
    if (link.checked) page.linked.add(unit.name);
    else page.linked.delete(unit.name);
  });
  return element('li', { class: 'unit' }, pick, state, used, element('label', { class: 'several' }, link, 'link'));
}

async function showUnit(name) {
  if (name === page.current) return;
  page.current = name;
  page.linked.delete(name);
  page.history = null;
  page.measurements = {};
  page.proposals = {};
  renderUnits();
  toolsShown();  // the log follows the unit shown
  // page.unit still holds the other unit until this one's state is in: its
  // pushes meanwhile are not taken, and one newer than the state fetches again.
  let state;
  do {
    page.missedSeq = -1;
    state = await call('GET', '/api/state');
    if (page.current !== name) return;
  } while (state.ok && page.missedSeq > state.data.seq);
  page.missedSeq = null;
  if (state.ok) takeState(state.data);
  else toast(`${name}: ${state.error}`);
}

// A field edit for a linked unit: one request at a time for each unit and
// field, the latest value winning; a unit that refuses is named.
const linkedSends = new Map();
function sendLinked(name, path, body) {
  const key = `${name} ${path}`;
  const waiting = linkedSends.get(key);
  if (waiting) { waiting.body = body; return; }
  const entry = { body };
  linkedSends.set(key, entry);
  (async () => {
    let sent;
    do {
      sent = entry.body;
      const result = await call('PUT', unitPath(path, name), sent);
      if (!result.ok) toast(`${name}: ${result.error}`);
    } while (entry.body !== sent);
    linkedSends.delete(key);
  })();
}

// ---- memories ----

// Asks before an action that replaces what the unit holds; resolves true
// when the user confirms. Cancel has the focus, so a stray Enter keeps all.
function ask(question, action) {
  const dialog = $('ask');
  $('ask-text').textContent = question;
  $('ask-yes').textContent = action;
  dialog.returnValue = '';
  dialog.showModal();
  $('ask-cancel').focus();
  return new Promise((resolve) => {
    dialog.addEventListener('close', () => resolve(dialog.returnValue === 'yes'), { once: true });
  });
}

const memoryText = (memory) => `${memory.slot} “${memory.name}”`;

function memoriesText(memories) {
  const names = memories.map(memoryText);
  const list = names.length > 1 ? `${names.slice(0, -1).join(', ')} and ${names.at(-1)}` : names[0];
  return `${names.length > 1 ? 'Memories' : 'Memory'} ${list}`;
}

function memoryRow(memory) {
  const recall = element('button', { type: 'button', disabled: !memory.used }, 'Recall');
  recall.addEventListener('click', async () => {
    if (await ask(`Recall memory ${memoryText(memory)}? The current setting will be replaced.`, 'Recall'))
      memoryAction('POST', `/api/memories/${memory.slot}/recall`, `Memory ${memory.slot} recalled.`);
  });
  const erase = element('button', { type: 'button', class: 'quiet', disabled: !memory.used }, 'Delete');
  erase.addEventListener('click', async () => {
    if (await ask(`Delete memory ${memoryText(memory)}? Its setting will be lost.`, 'Delete'))
      memoryAction('DELETE', `/api/memories/${memory.slot}`, `Memory ${memory.slot} deleted.`);
  });
  return element('li', { class: memory.used ? 'used' : 'empty' },
    element('span', { class: 'slot' }, String(memory.slot)),
    element('span', { class: 'name' }, memory.used ? memory.name : '(empty)'), recall, erase);
}

// Store offers the first empty memory, never silently a used one: when all
// are used, the user picks the one to replace.
function renderStoreSlot() {
  const select = $('store-slot');
  const firstEmpty = page.unit.memories.find((memory) => !memory.used);
  const kept = page.storePicked ? select.value : '';
  select.replaceChildren(element('option', { value: '', disabled: true, hidden: Boolean(firstEmpty) }, 'Choose…'),
    ...page.unit.memories.map((memory) => element('option', { value: memory.slot },
      `${memory.slot}: ${memory.used ? memory.name : '(empty)'}`)));
  select.value = kept || (firstEmpty ? String(firstEmpty.slot) : '');
  $('store-hint').textContent = storeHint(page.unit.memories.find((memory) => String(memory.slot) === select.value));
}

function storeHint(chosen) {
  if (!chosen) return 'Every memory is used: choose the one to replace.';
  if (chosen.used) return `Storing replaces memory ${memoryText(chosen)}.`;
  return page.storePicked ? '' : `Memory ${chosen.slot} is the first empty one.`;
}

function renderMemories() {
  $('memory-list').replaceChildren(...page.unit.memories.map(memoryRow));
  renderStoreSlot();
}

async function store() {
  const slot = $('store-slot').value;
  const memory = page.unit.memories.find((each) => String(each.slot) === slot);
  if (memory.used && !await ask(`Store the current setting into memory ${slot}? `
    + `Memory ${memoryText(memory)} will be replaced.`, 'Store')) return;
  const name = $('store-name').value;
  if (await memoryAction('PUT', `/api/memories/${slot}`, `Stored into memory ${slot}.`, { name })) {
    page.storePicked = false;
    renderStoreSlot();
  }
}

async function memoryAction(method, path, done, body) {
  const result = await call(method, path, body);
  toast(result.ok ? done : result.error);
  return result.ok;
}

// Hands the browser a file to save as `name`.
function saveFile(blob, name) {
  const link = element('a', { href: URL.createObjectURL(blob), download: name });
  link.click();
  setTimeout(() => URL.revokeObjectURL(link.href), 1000);
}

async function download() {
  const result = await call('GET', '/api/memory-file');
  if (!result.ok) return toast(result.error);
  saveFile(new Blob([result.data]), 'unit.cmf');
}

// The memories a memory file stores: its records whose used byte is 1, as
// the unit's load reads them; null when it is no memory file (the server
// refuses it, storing nothing).
const MEMORY_FILE = { magic: 'VNB1.00M', trailerAt: 688, recordsAt: 16, recordSize: 112, usedAt: 1 };

function slotsInFile(bytes) {
  const text = (at, length) => new TextDecoder().decode(bytes.subarray(at, at + length));
  const magicAt = (at) => text(at, MEMORY_FILE.magic.length) === MEMORY_FILE.magic;
  if (!magicAt(0) || !magicAt(MEMORY_FILE.trailerAt)) return null;
  return [1, 2, 3, 4, 5, 6].filter((slot) =>
    bytes[MEMORY_FILE.recordsAt + MEMORY_FILE.recordSize * (slot - 1) + MEMORY_FILE.usedAt] === 1);
}

async function upload(file) {
  const bytes = new Uint8Array(await file.arrayBuffer());
  const slots = slotsInFile(bytes);
  if (slots?.length === 0) return toast(`“${file.name}” holds no memory; nothing was sent.`);
  const replaced = page.unit.memories.filter((memory) => memory.used && slots?.includes(memory.slot));
  if (replaced.length && !await ask(`Load “${file.name}” into the unit? ${memoriesText(replaced)} will be replaced.`,
    'Load')) return;
  const result = await call('PUT', '/api/memory-file', bytes, 'application/octet-stream');
  toast(result.ok ? result.data.report : result.error);
}

// ---- start ----

async function start() {
  takeToken();
  // A new token opened in this tab (a restarted server's) starts the page afresh.
  window.addEventListener('hashchange', () => { if (takeToken()) location.reload(); });
  const scales = await call('GET', '/api/scales');
  if (!scales.ok) {
    if (scales.status === 401) return;
    $('problem').hidden = false;
    $('problem').textContent = `The server refused: ${scales.error}`;
    return;
  }
  page.scales = scales.data;
  const units = await call('GET', '/api/units');
  if (units.ok) takeUnits(units.data.units);
  buildChannel('lr');
  buildChannel('sub');
  startLayout();
  startTools();
  startSound();
  startLiveView();
  $('store-form').addEventListener('submit', (event) => {
    event.preventDefault();
    store();
  });
  $('store-slot').addEventListener('change', () => {
    page.storePicked = true;
    renderStoreSlot();
  });
  $('download').addEventListener('click', download);
  for (const which of ['undo', 'redo']) $(which).addEventListener('click', () => undoOrRedo(which));
  document.addEventListener('keydown', undoKey);
  for (const side of ['A', 'B']) $(`keep-${side}`).addEventListener('click', () => keepAb(side));
  $('switch-ab').addEventListener('click', switchAb);
  $('upload').addEventListener('change', (event) => {
    if (event.target.files[0]) upload(event.target.files[0]);
    event.target.value = '';
  });
  window.addEventListener('resize', drawGraphs);
  connectPush();
}

// ---- measurements and the PEQ fit ----

// Per channel: a measurement uploaded and drawn on the channel's graph, a fit
// of the three bands previewed with its predicted curve, and Apply, which
// sets the proposal's three bands in one request.
function buildTuning(ch) {
  const file = element('input', { type: 'file', accept: '.txt,.frd,.csv,text/plain', id: `measurement-${ch}` });
  file.addEventListener('change', () => {
    if (file.files[0]) uploadMeasurement(ch, file.files[0]);
    file.value = '';
  });
  const remove = element('button', { type: 'button', class: 'quiet', id: `remove-measurement-${ch}`, disabled: true },
    'Remove');
  remove.addEventListener('click', () => call('DELETE', `/api/measurements/${ch}`));
  const fit = element('button', { type: 'button', id: `fit-${ch}`, disabled: true }, 'Fit PEQ');
  fit.addEventListener('click', () => fitPeq(ch));
  const apply = element('button', { type: 'button', id: `apply-${ch}`, hidden: true }, 'Apply');
  apply.addEventListener('click', () => applyProposal(ch));
  const preview = element('div', { class: 'proposal', id: `proposal-${ch}` });
  return element('details', { class: 'group tuning', 'data-blocks': 'peq' }, element('summary', {}, 'Measurement & PEQ fit'),
    element('div', { class: 'row' }, element('label', { class: 'button' }, 'Upload measurement…', file), remove, fit),
    preview, element('div', { class: 'row' }, apply));
}

async function uploadMeasurement(ch, file) {
  const result = await call('PUT', `/api/measurements/${ch}`, await file.text(), 'text/plain');
  if (!result.ok) return toast(`${file.name}: ${result.error}`);
  takeMeasurement(ch, result.data);
}

function takeMeasurement(ch, measurement) {
  page.measurements[ch] = measurement ? measurement.levels : null;
  page.proposals[ch] = null;
  $(`remove-measurement-${ch}`).disabled = !measurement;
  $(`fit-${ch}`).disabled = !measurement;
  renderProposal(ch);
}

async function fitPeq(ch) {
  const result = await call('POST', `/api/fit/${ch}`, {});
  if (!result.ok) return toast(`Fit: ${result.error}`);
  page.proposals[ch] = result.data;
  renderProposal(ch);
}

async function applyProposal(ch) {
  const proposal = page.proposals[ch];
  if (!proposal) return;
  const result = await call('PUT', `/api/settings/${ch}/peq`, { peq: proposal.peq });
  if (!result.ok) return toast(`Apply: ${result.error}`);
  page.proposals[ch] = null;
  renderProposal(ch);
  toast('The fitted PEQ bands are set.');
}

function renderProposal(ch) {
  const proposal = page.proposals[ch];
  const node = $(`proposal-${ch}`);
  node.replaceChildren();
  $(`apply-${ch}`).hidden = !proposal;
  if (proposal) {
    const cell = (tag, text) => element(tag, {}, text);
    const text = (field, step) => page.scales.peq[field].texts[step - page.scales.peq[field].min];
    const type = (band) => (band.flat ? 'flat' : band.loShelf ? 'low shelf' : band.hiShelf ? 'high shelf' : 'peak');
    const rows = proposal.peq.map((band, i) => element('tr', {}, cell('th', String(i + 1)), cell('td', type(band)),
      cell('td', text('freq', band.freq)), cell('td', text('gain', band.gain)),
      cell('td', text('bandwidth', band.bandwidth))));
    node.append(element('table', {}, element('tr', {}, ...['PEQ', 'Type', 'Frequency', 'Gain', 'Bandwidth']
      .map((text) => cell('th', text))), ...rows),
    element('p', {}, `RMS deviation: ${proposal.rmsBeforeDb.toFixed(2)} dB before, ${proposal.rmsAfterDb.toFixed(2)} dB after`));
  }
  drawGraphs();
}

start();
