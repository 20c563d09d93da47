// The tools beside the editor: finding the unit (a port or a network
// address, for a first unit, another one, or the unit shown), the
// communication log followed live, the settings report, and the unit's
// service functions, each behind a confirmation that names what happens.
'use strict';

// What a probe of a port found, as the command line's probe says it.
const PORT_STATUS = {
  answered: 'a unit answered',
  silent: 'nothing answered',
  held: 'held by another program',
  'no-permission': 'no permission',
  'no-device': 'no such device',
  'not-serial': 'not a serial device',
  error: 'could not be tried',
  served: 'served here',
};

// The latest lines the log view keeps.
const LOG_LINES_KEPT = 2000;

const tools = {
  searching: false,
  listed: false,      // the ports were listed once the view was first shown
  targetPicked: false, // the user chose which unit a port is for
  connecting: false,
  log: { seq: 0, lines: [], following: false, unit: undefined },
};

// The name of the unit shown, also while the server serves one (whose paths need no name).
const shownUnitName = () => page.current ?? page.units[0]?.name ?? null;

// ---- find the unit ----

function renderFindTarget() {
  const name = shownUnitName();
  const select = $('find-target');
  const kept = tools.targetPicked ? select.value : null;
  select.replaceChildren(...(name === null ? [] : [element('option', { value: name }, `${name} (moves it to the port)`)]),
    element('option', { value: '' }, page.units.length ? 'another unit' : 'the unit'));
  // The unit shown, unless the user chose otherwise.
  select.value = [...select.options].some((option) => option.value === kept) ? kept : select.options[0].value;
  $('find-target-row').hidden = page.units.length === 0;
  $('find-intro').textContent = page.units.length === 0
    ? 'No unit is served yet. Choose the port the unit is on, or type its network address.'
    : 'Choose a port, or type a network address, for the unit shown or for another unit.';
}

function portRow(port, lastServed) {
  const connect = element('button', { type: 'button', disabled: port.status === 'served' || tools.connecting },
    'Connect');
  connect.addEventListener('click', () => connectTo(port.device));
  return element('li', { class: 'port', 'data-status': port.status, 'data-device': port.device },
    element('div', { class: 'port-name' }, element('strong', {}, port.label || port.device),
      element('span', { class: 'hint' }, [port.device !== port.label ? port.device : '', port.description,
        port.device === lastServed ? 'served last' : ''].filter(Boolean).join(' · '))),
    element('span', { class: 'port-status' }, PORT_STATUS[port.status] ?? port.status,
      element('span', { class: 'hint' }, port.status === 'served' ? `as ${port.unit}` : port.detail || '')), connect);
}

async function searchPorts() {
  if (tools.searching) return;
  tools.searching = true;
  $('search-again').disabled = true;
  $('ports-status').textContent = 'Searching the ports…';
  const result = await call('GET', '/api/ports');
  tools.searching = false;
  $('search-again').disabled = false;
  if (!result.ok) {
    $('ports-status').textContent = `The ports could not be listed: ${result.error}`;
    return;
  }
  const { ports, lastServed } = result.data;
  $('port-list').replaceChildren(...ports.map((port) => portRow(port, lastServed)));
  $('ports-status').textContent = ports.length ? '' : 'The system has no serial port; type a network address.';
}

async function connectTo(device) {
  const name = $('find-target').value;
  tools.connecting = true;
  for (const button of document.querySelectorAll('#find-panel button')) button.disabled = true;
  $('find-status').textContent = `Connecting to ${device}…`;
  const result = name
    ? await call('PUT', `/api/units/${encodeURIComponent(name)}/port`, { device })
    : await call('POST', '/api/units', { device });
  tools.connecting = false;
  for (const button of document.querySelectorAll('#find-panel button')) button.disabled = false;
  $('find-status').textContent = result.ok ? `Connected: ${result.data.name ?? name} on ${device}.`
    : `${device}: ${result.error}`;
  if (!result.ok) return;
  const units = await call('GET', '/api/units');
  if (units.ok) takeUnits(units.data.units);
  searchPorts();  // the port is served now
}

// ---- the communication log ----

function takeLogLines(lines) {
  const log = tools.log;
  const fresh = lines.filter((line) => line.seq > log.seq);
  if (!fresh.length) return;
  log.seq = fresh.at(-1).seq;
  log.lines.push(...fresh.map((line) => line.text));  // each led by its time
  log.lines.splice(0, Math.max(0, log.lines.length - LOG_LINES_KEPT));
  const view = $('log-lines');
  const atEnd = view.scrollTop + view.clientHeight >= view.scrollHeight - 4;
  view.textContent = log.lines.join('\n');
  if (atEnd) view.scrollTop = view.scrollHeight;
}

// The window the server keeps, from the line after the last one shown; then
// the push channel's log messages while the view is open.
async function followLog() {
  const log = tools.log;
  if (log.unit !== shownUnitName()) Object.assign(log, { seq: 0, lines: [], unit: shownUnitName() });
  log.following = true;
  const result = await call('GET', `/api/log?after=${log.seq}`);
  if (!result.ok) {
    $('log-state').textContent = `The log could not be read: ${result.error}`;
    return;
  }
  $('log-state').textContent = result.data.dropped
    ? `${result.data.dropped} earlier lines are no longer kept by the server.` : '';
  takeLogLines(result.data.lines);
  subscribeLog(true);
}

function stopLog() {
  if (!tools.log.following) return;
  tools.log.following = false;
  subscribeLog(false);
}

// Tells the server whether this page wants the units' log lines pushed.
function subscribeLog(on) {
  if (page.socket?.readyState === WebSocket.OPEN) page.socket.send(JSON.stringify({ type: 'subscribe', log: on }));
}

function onLogPush(message) {
  if (tools.log.following && message.unit === tools.log.unit) takeLogLines(message.lines);
}

function clearLog() {
  tools.log.lines = [];
  $('log-lines').textContent = '';
  $('log-state').textContent = 'Cleared; new exchanges follow.';
}

async function downloadLog() {
  const result = await call('GET', '/api/log.txt');
  if (!result.ok) return toast(`Log: ${result.error}`);
  saveFile(new Blob([result.data], { type: 'text/plain' }), 'communication-log.txt');
}

// ---- the settings report ----

const fetchReport = () => call('GET', '/api/report.pdf');

async function downloadReport() {
  toast('Making the settings report…');
  const result = await fetchReport();
  if (!result.ok) return toast(`Settings report: ${result.error}`);
  saveFile(new Blob([result.data], { type: 'application/pdf' }), 'settings-report.pdf');
}

// ---- service functions ----

// Asked without "confirm", the server says what would happen (428, its
// "confirm") and does nothing; that is the question, and only a yes sends
// the request again with "confirm". The answer says what was done.
async function serviceAction(method, path, body, action) {
  const asked = await call(method, path, body);
  if (asked.status !== 428) return toast(asked.ok ? asked.data.done : asked.error);
  if (!await ask(asked.data.confirm ?? asked.error, action)) return;
  const result = await call(method, path, { ...body, confirm: true });
  toast(result.ok ? result.data.done : result.error);
}

function factoryReset() {
  serviceAction('POST', '/api/service/reset', {}, 'Reset');
}

function sendLogo(event) {
  event.preventDefault();
  serviceAction('PUT', '/api/service/logo', { line1: $('logo-1').value, line2: $('logo-2').value }, 'Send the logo');
}

// ---- start ----

// Called whenever the views shown change: the log follows only while shown.
function toolsShown() {
  const shown = (id) => !$(id).closest('.view').hidden && !$(id).classList.contains('off-block');
  if (!shown('log-panel')) stopLog();
  else if (!tools.log.following || tools.log.unit !== shownUnitName()) followLog();
  if (shown('find-panel') && !tools.listed) {
    tools.listed = true;
    searchPorts();
  }
}

function startTools() {
  $('search-again').addEventListener('click', searchPorts);
  $('find-target').addEventListener('change', () => { tools.targetPicked = true; });
  $('address-form').addEventListener('submit', (event) => {
    event.preventDefault();
    connectTo($('address').value.trim());
  });
  $('log-clear').addEventListener('click', clearLog);
  $('log-download').addEventListener('click', downloadLog);
  for (const id of ['report', 'report-top']) $(id).addEventListener('click', downloadReport);
  $('factory-reset').addEventListener('click', factoryReset);
  $('logo-form').addEventListener('submit', sendLogo);
  renderFindTarget();
  if (page.units.length === 0) openTool('find');
}
