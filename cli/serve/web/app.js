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

// The desktop graph's rows: +12 dB at row 30, 5 rows a dB, 190 rows.
const GRAPH = { rows: 190, topDb: 18, rowsPerDb: 5, steps: 395 };
const GRID_HZ = [20, 50, 100, 200, 500, 1000, 2000, 5000, 10000];

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
};

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

function takeToken() {
  const match = /(?:^#|&)token=([A-Za-z0-9_-]+)/.exec(location.hash);
  if (match) {
    sessionStorage.setItem('token', match[1]);
    history.replaceState(null, '', location.pathname);
  }
  page.token = sessionStorage.getItem('token');
}

async function call(method, path, body, type = 'application/json') {
  const headers = {};
  if (page.token) headers.Authorization = 'Bearer ' + page.token;
  if (body !== undefined) headers['Content-Type'] = type;
  if (body !== undefined && type === 'application/json') body = JSON.stringify(body);
  let response;
  try {
    response = await fetch(path, { method, headers, body, cache: 'no-store' });
  } catch (error) {
    return { ok: false, status: 0, error: 'The server cannot be reached.' };
  }
  const isJson = (response.headers.get('Content-Type') || '').startsWith('application/json');
  const data = isJson ? await response.json() : await response.arrayBuffer();
  if (response.ok) return { ok: true, status: response.status, data };
  return { ok: false, status: response.status, data, error: (isJson && data.error) || response.statusText };
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

function userValue(control, value) {
  const scale = scaleOf(control);
  control.wanted = Math.min(scale.max, Math.max(scale.min, value));
  render(control);
  if (!control.busy) send(control);
}

async function send(control) {
  const value = control.wanted;
  control.busy = true;
  const result = await call('PUT', controlPath(control), { value });
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
    if (control.kind === 'range') control.value.textContent = text;
  }
  if (control.kind === 'range') control.input.setAttribute('aria-valuetext', text);
  control.state.textContent = pending ? 'unit: ' + textOf(control, acked) : '✓';
  control.row.classList.toggle('pending', pending);
}

function renderAll() {
  for (const control of page.controls) render(control);
}

function makeControl(ch, band, [field, label, kind]) {
  const control = { ch, band, field, kind, wanted: null, busy: false };
  const id = `${ch}-${band ?? 'x'}-${field}`;
  const scale = band === null ? page.scales[field] : page.scales.peq[field];
  control.value = element('output', { class: 'value', htmlFor: id });
  control.state = element('span', { class: 'ack' });
  const head = element('div', { class: 'head' }, element('label', { htmlFor: id }, label), control.value, control.state);
  let body;
  if (kind === 'range') {
    control.input = element('input', { type: 'range', id, min: scale.min, max: scale.max, step: 1 });
    control.input.addEventListener('input', () => userValue(control, Number(control.input.value)));
    const nudge = (delta, sign) => {
      const button = element('button', { type: 'button', class: 'nudge', 'aria-label': `${label} ${sign}` }, sign);
      button.addEventListener('click', () => userValue(control, (control.wanted ?? ackedValue(control)) + delta));
      return button;
    };
    body = element('div', { class: 'slider' }, nudge(-1, '−'), control.input, nudge(1, '+'));
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
  control.row = element('div', { class: `control ${kind}` }, head, body);
  page.controls.push(control);
  return control.row;
}

function section(ch, title, fields, band = null, open = true) {
  const rows = fields.filter(([, , , only]) => !only || only === ch).map((field) => makeControl(ch, band, field));
  return element('details', { class: 'group', open }, element('summary', {}, title), ...rows);
}

function buildChannel(ch) {
  const canvas = element('canvas', { class: 'graph', width: 460, height: 190, 'aria-label': `${CHANNELS[ch]} response` });
  page.graphs[ch] = canvas;
  const view = $(`view-${ch}`);
  view.append(element('h2', {}, CHANNELS[ch]), canvas, section(ch, 'Output', OUTPUT),
    section(ch, 'High / low pass', CROSSOVER));
  for (let band = 0; band < 3; band++) view.append(section(ch, `PEQ ${band + 1}`, PEQ, band, false));
  view.append(section(ch, 'Limiter', LIMITER, null, false));
}

// ---- the response graph ----

function drawGraph(ch) {
  const canvas = page.graphs[ch];
  if (!canvas || !page.curves) return;
  const scale = window.devicePixelRatio || 1;
  const width = canvas.clientWidth || 460;
  const height = Math.round(width * GRAPH.rows / 460);
  if (canvas.width !== Math.round(width * scale)) {
    canvas.width = Math.round(width * scale);
    canvas.height = Math.round(height * scale);
  }
  const g = canvas.getContext('2d');
  g.setTransform(scale, 0, 0, scale, 0, 0);
  g.clearRect(0, 0, width, height);
  const x = (step) => (step / (GRAPH.steps - 1)) * width;
  const y = (dB) => ((GRAPH.topDb - dB) * GRAPH.rowsPerDb / GRAPH.rows) * height;
  const hz = page.curves.hz;
  g.font = '10px system-ui, sans-serif';
  g.lineWidth = 1;
  for (const dB of [12, 6, 0, -6, -12]) {
    g.strokeStyle = dB === 0 ? '#566' : '#333b40';
    g.beginPath(); g.moveTo(0, y(dB)); g.lineTo(width, y(dB)); g.stroke();
    g.fillStyle = '#8a9499'; g.fillText(`${dB > 0 ? '+' : ''}${dB} dB`, 3, y(dB) - 2);
  }
  for (const f of GRID_HZ) {
    const step = hz.findIndex((value) => value >= f);
    if (step < 0) continue;
    g.strokeStyle = '#333b40';
    g.beginPath(); g.moveTo(x(step), 0); g.lineTo(x(step), height); g.stroke();
    const label = f >= 1000 ? `${f / 1000}k` : String(f);
    const right = x(step) + 2 + g.measureText(label).width > width;
    g.fillStyle = '#8a9499';
    g.fillText(label, right ? x(step) - 2 - g.measureText(label).width : x(step) + 2, height - 3);
  }
  g.strokeStyle = ch === 'lr' ? '#4da3ff' : '#ffb347';
  g.lineWidth = 2;
  g.beginPath();
  page.curves[ch].forEach((dB, step) => (step ? g.lineTo(x(step), y(dB)) : g.moveTo(x(step), y(dB))));
  g.stroke();
}

async function refreshCurves() {
  if (page.curvesBusy) { page.curvesDirty = true; return; }
  page.curvesBusy = true;
  do {
    page.curvesDirty = false;
    const result = await call('GET', '/api/response');
    if (result.ok) page.curves = result.data;
  } while (page.curvesDirty);
  page.curvesBusy = false;
  drawGraph('lr');
  drawGraph('sub');
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
}

function onPush(message) {
  if (message.type === 'state') return takeState(message);
  if (!page.unit) return;
  page.seq = Math.max(page.seq, message.seq);
  if (message.type === 'channel') return takeChannel(message);
  if (message.type === 'memories') { page.unit.memories = message.memories; return renderMemories(); }
  if (message.type === 'link') { page.unit.link = message.link; return renderLink(); }
}

function renderLink(serverGone) {
  const state = serverGone ? 'server unreachable' : page.unit.link.state;
  const node = $('link');
  node.textContent = state;
  node.dataset.state = state.replace(/ /g, '-');
  const problem = $('problem');
  problem.hidden = state === 'connected';
  problem.textContent = serverGone ? 'The server cannot be reached; trying again…'
    : `${state}: ${page.unit.link.reason}`;
  document.body.classList.toggle('offline', state !== 'connected');
}

function connectPush() {
  const scheme = location.protocol === 'https:' ? 'wss:' : 'ws:';
  const query = page.token ? '?token=' + encodeURIComponent(page.token) : '';
  const socket = new WebSocket(`${scheme}//${location.host}/api/events${query}`);
  page.socket = socket;
  socket.addEventListener('message', (event) => onPush(JSON.parse(event.data)));
  socket.addEventListener('close', () => {
    if (page.unit) renderLink(true);
    setTimeout(connectPush, 1000);
  });
}

// ---- memories ----

function renderMemories() {
  const list = $('memory-list');
  const slotSelect = $('store-slot');
  const chosen = slotSelect.value;
  list.replaceChildren();
  slotSelect.replaceChildren();
  for (const memory of page.unit.memories) {
    const recall = element('button', { type: 'button', disabled: !memory.used }, 'Recall');
    recall.addEventListener('click', () => memoryAction('POST', `/api/memories/${memory.slot}/recall`,
      `Memory ${memory.slot} recalled.`));
    const erase = element('button', { type: 'button', class: 'quiet', disabled: !memory.used }, 'Delete');
    erase.addEventListener('click', () => {
      if (confirm(`Delete memory ${memory.slot} “${memory.name}”?`))
        memoryAction('DELETE', `/api/memories/${memory.slot}`, `Memory ${memory.slot} deleted.`);
    });
    list.append(element('li', { class: memory.used ? 'used' : 'empty' },
      element('span', { class: 'slot' }, String(memory.slot)),
      element('span', { class: 'name' }, memory.used ? memory.name : '(empty)'), recall, erase));
    slotSelect.append(element('option', { value: memory.slot },
      `${memory.slot}: ${memory.used ? memory.name : '(empty)'}`));
  }
  if (chosen) slotSelect.value = chosen;
}

async function memoryAction(method, path, done, body) {
  const result = await call(method, path, body);
  toast(result.ok ? done : result.error);
}

async function download() {
  const result = await call('GET', '/api/memory-file');
  if (!result.ok) return toast(result.error);
  const link = element('a', { href: URL.createObjectURL(new Blob([result.data])), download: 'unit.cmf' });
  link.click();
  setTimeout(() => URL.revokeObjectURL(link.href), 1000);
}

async function upload(file) {
  const result = await call('PUT', '/api/memory-file', await file.arrayBuffer(), 'application/octet-stream');
  toast(result.ok ? result.data.report : result.error);
}

// ---- start ----

function showView(name) {
  for (const button of document.querySelectorAll('.tabs button'))
    button.setAttribute('aria-pressed', String(button.dataset.view === name));
  for (const view of document.querySelectorAll('.view')) view.hidden = view.id !== `view-${name}`;
  if (CHANNELS[name]) drawGraph(name);
}

async function start() {
  takeToken();
  const scales = await call('GET', '/api/scales');
  if (!scales.ok) {
    $('problem').hidden = false;
    $('problem').textContent = scales.status === 401 ? 'Open the address with its token (scan the code again).'
      : `The server refused: ${scales.error}`;
    return;
  }
  page.scales = scales.data;
  buildChannel('lr');
  buildChannel('sub');
  for (const button of document.querySelectorAll('.tabs button'))
    button.addEventListener('click', () => showView(button.dataset.view));
  $('store-form').addEventListener('submit', (event) => {
    event.preventDefault();
    const slot = $('store-slot').value;
    memoryAction('PUT', `/api/memories/${slot}`, `Stored into memory ${slot}.`, { name: $('store-name').value });
  });
  $('download').addEventListener('click', download);
  $('upload').addEventListener('change', (event) => {
    if (event.target.files[0]) upload(event.target.files[0]);
    event.target.value = '';
  });
  window.addEventListener('resize', () => { drawGraph('lr'); drawGraph('sub'); });
  connectPush();
}

start();
