// The response graphs: on a phone each channel's view has its own; on a
// laptop one graph shows both channels, each in its colour with its
// measurement where one is kept, and reads out the frequency and level
// under the pointer.
'use strict';

// The desktop graph's rows: +12 dB at row 30, 5 rows a dB, 190 rows.
const GRAPH = { rows: 190, topDb: 18, rowsPerDb: 5, steps: 395 };
const GRID_HZ = [20, 50, 100, 200, 500, 1000, 2000, 5000, 10000];
const CURVE_COLOURS = { lr: '#4da3ff', sub: '#ffb347' };
const MEASUREMENT_GREY = '#9aa5ab';
const PROPOSAL_GREEN = '#5fd35f';
// The graph of both channels draws Left & Right last, over Sub where they meet.
const BOTH = ['sub', 'lr'];

// Where the pointer is over the graph of both channels, in CSS pixels; null when it is not.
let graphPointer = null;

// The canvas of each graph with the channels it shows.
function graphsShown() {
  return [[page.graphs.lr, ['lr']], [page.graphs.sub, ['sub']], [page.graphs.both, BOTH]];
}

function drawGraphs() {
  for (const [canvas, channels] of graphsShown()) drawGraph(canvas, channels);
  drawSoundGraphs();
  drawLiveGraph();
}

// The graph's axes for a canvas of `width` × `height` CSS pixels.
function graphAxes(width, height) {
  return {
    x: (step) => (step / (GRAPH.steps - 1)) * width,
    y: (dB) => ((GRAPH.topDb - dB) * GRAPH.rowsPerDb / GRAPH.rows) * height,
    stepAt: (px) => Math.min(GRAPH.steps - 1, Math.max(0, Math.round((px / width) * (GRAPH.steps - 1)))),
    dbAt: (py) => GRAPH.topDb - (py / height) * GRAPH.rows / GRAPH.rowsPerDb,
  };
}

// The canvas cleared at its size on the screen, with the grid drawn; null
// for a graph not shown (another view, the other layout), drawn when it is.
function clearedGraph(canvas, fontPx) {
  if (!canvas || !page.curves || canvas.clientWidth === 0) return null;
  const scale = window.devicePixelRatio || 1;
  const width = canvas.clientWidth;
  const height = canvas.clientHeight;
  if (canvas.width !== Math.round(width * scale) || canvas.height !== Math.round(height * scale)) {
    canvas.width = Math.round(width * scale);
    canvas.height = Math.round(height * scale);
  }
  const g = canvas.getContext('2d');
  g.setTransform(scale, 0, 0, scale, 0, 0);
  g.clearRect(0, 0, width, height);
  const axes = graphAxes(width, height);
  drawGrid(g, axes, width, height, fontPx);
  return { g, axes, width, height };
}

function drawGraph(canvas, channels) {
  const sheet = clearedGraph(canvas, channels.length > 1 ? 12 : 10);
  if (!sheet) return;
  const { g, axes, height } = sheet;
  const both = channels.length > 1;
  for (const ch of channels) {
    drawCurve(g, axes, page.curves[ch], 0, CURVE_COLOURS[ch], 2);
    drawTuning(g, ch, axes, both ? CURVE_COLOURS[ch] : MEASUREMENT_GREY, both);
  }
  if (both && graphPointer) drawPointer(g, axes, height);
}

function drawGrid(g, { x, y }, width, height, fontPx) {
  const hz = page.curves.hz;
  g.font = `${fontPx}px system-ui, sans-serif`;
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
}

// A curve of levels from step `first` on; null levels leave a gap.
function drawCurve(g, { x, y }, levels, first, colour, lineWidth, dashed = false) {
  g.strokeStyle = colour;
  g.lineWidth = lineWidth;
  g.setLineDash(dashed ? [6, 4] : []);
  g.beginPath();
  let pen = false;
  levels.forEach((dB, i) => {
    if (dB === null) { pen = false; return; }
    if (pen) g.lineTo(x(first + i), y(dB)); else g.moveTo(x(first + i), y(dB));
    pen = true;
  });
  g.stroke();
  g.setLineDash([]);
}

// The measurement (grey on a channel's own graph, dashed in the channel's
// colour beside the other channel) and the proposal's predicted curve
// (green), the latter with its target at 0 dB.
function drawTuning(g, ch, axes, measurementColour, dashed) {
  if (page.measurements[ch]) drawCurve(g, axes, page.measurements[ch], 0, measurementColour, 1.5, dashed);
  const proposal = page.proposals[ch];
  if (!proposal) return;
  const target = proposal.curve.target.filter((dB) => dB !== null);
  const level = target.reduce((sum, dB) => sum + dB, 0) / (target.length || 1);
  drawCurve(g, axes, proposal.curve.predicted.map((dB) => (dB === null ? null : dB - level)),
    proposal.curve.firstStep, PROPOSAL_GREEN, 1.5);
}

function drawPointer(g, axes, height) {
  const px = axes.x(axes.stepAt(graphPointer.x));
  g.strokeStyle = '#c8d2d6';
  g.lineWidth = 1;
  g.beginPath(); g.moveTo(px, 0); g.lineTo(px, height); g.stroke();
}

const hzText = (hz) => (hz >= 1000 ? `${(hz / 1000).toFixed(hz >= 10000 ? 1 : 2)} kHz` : `${hz.toFixed(hz < 100 ? 1 : 0)} Hz`);
const dbText = (dB) => `${dB < 0 ? '−' : dB > 0 ? '+' : ''}${Math.abs(dB).toFixed(1)} dB`;

// The frequency and level under the pointer and each channel's level
// there; without the pointer, which colour is which.
function renderReadout() {
  const node = $('graph-readout');
  const swatch = (ch, text) => element('span', { class: `swatch ${ch}` }, text);
  if (!graphPointer || !page.curves) {
    node.replaceChildren(swatch('lr', CHANNELS.lr), swatch('sub', CHANNELS.sub),
      element('span', { class: 'hint' }, 'Point at the graph to read a frequency and level.'));
    return;
  }
  const canvas = page.graphs.both;
  const axes = graphAxes(canvas.clientWidth, canvas.clientHeight);
  const step = axes.stepAt(graphPointer.x);
  node.replaceChildren(element('strong', {}, `${hzText(page.curves.hz[step])}, ${dbText(axes.dbAt(graphPointer.y))}`),
    swatch('lr', `${CHANNELS.lr} ${dbText(page.curves.lr[step])}`),
    swatch('sub', `${CHANNELS.sub} ${dbText(page.curves.sub[step])}`));
}

function followPointer(canvas) {
  canvas.addEventListener('pointermove', (event) => {
    const box = canvas.getBoundingClientRect();
    graphPointer = { x: event.clientX - box.left, y: event.clientY - box.top };
    drawGraph(canvas, BOTH);
    renderReadout();
  });
  canvas.addEventListener('pointerleave', () => {
    graphPointer = null;
    drawGraph(canvas, BOTH);
    renderReadout();
  });
}

function buildBothGraph() {
  page.graphs.both = $('graph-both');
  followPointer(page.graphs.both);
  renderReadout();
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
  drawGraphs();
}
