// Which views are shown. On a phone one view at a time, from the tabs at the
// bottom. On a laptop (from 1000 px wide, as in style.css) the signal chain of
// both channels sits at the top, the graph of both below it and the memories
// under that; a block of the chain, or a tool of the bar, opens its editor in
// the panel beside the graph: the channel's own groups of controls, those of
// the block only.
'use strict';

const LAPTOP = matchMedia('(min-width: 1000px)');

// A filter type's text, short enough for a block ("24dB-link-riley" -> "24dB L-R").
const shortType = (text) => text.replace(/^(\d+dB)-/, '$1 ').replace('link-riley', 'L-R').replace('butterworth', 'BW')
  .replace('bessel', 'Bessel').replace(/ q(\d)/, ' Q$1');
// A value's text as the chain shows it: "-3.0dB" -> "−3.0 dB".
const spaced = (text) => text.replace(/^-/, '−').replace(/(\d)([a-zA-Z°])/g, '$1 $2');

function fieldText(field, step) {
  const scale = page.scales[field];
  return scale.texts[step - scale.min] ?? String(step);
}

function filterText(settings, side) {
  const type = fieldText(`${side}Type`, settings[`${side}Type`]);
  if (type.startsWith('flat')) return 'off';
  return spaced(`${shortType(type)} ${fieldText(`${side}Freq`, settings[`${side}Freq`])}`);
}

function peqText(settings) {
  const bands = settings.peq.filter((band) => !band.flat).length;
  return bands === 0 ? 'flat' : `${bands} band${bands > 1 ? 's' : ''}`;
}

function crossoverText(settings) {
  if (settings.xoverOn === 0) return 'off';
  return `HP ${filterText(settings, 'hpf')}\nLP ${filterText(settings, 'lpf')}`;
}

// The blocks of a row: the control an opened block focuses first (the
// control ids of app.js's makeControl) and the text of its value.
const BLOCKS = [
  { name: 'gain', label: 'Gain', focus: 'x-gain',
    text: (s) => spaced(fieldText('gain', s.gain)) + (s.mute ? ', muted' : '') },
  { name: 'peq', label: 'PEQ', focus: '0-freq', text: peqText },
  { name: 'xover', label: 'Xover', focus: 'x-hpfType', text: crossoverText },
  { name: 'phase', label: 'Phase', focus: 'x-polarity', text: (s) => (s.polarity ? '180°' : '0°') },
  { name: 'delay', label: 'Delay', focus: 'x-delay', text: (s) => spaced(fieldText('delay', s.delay)) },
  { name: 'limit', label: 'Limit', focus: 'x-limThreshold', text: (s) => spaced(fieldText('limThreshold', s.limThreshold)) },
];

function buildChain() {
  const rows = Object.entries(CHANNELS).map(([ch, title]) => element('div', { class: 'chain-row' },
    element('span', { class: 'chain-name' }, title),
    ...BLOCKS.map((block) => {
      const button = element('button', { type: 'button', class: 'block', id: `block-${ch}-${block.name}`,
        'aria-pressed': 'false' }, element('span', { class: 'block-name' }, block.label),
      element('span', { class: 'block-value' }));
      button.addEventListener('click', () => openBlock(ch, block.name));
      return button;
    })));
  $('chain').replaceChildren(...rows);
}

function renderChain() {
  if (!page.unit) return;
  for (const ch of Object.keys(CHANNELS)) {
    const settings = page.unit.settings[ch];
    for (const block of BLOCKS) {
      const button = $(`block-${ch}-${block.name}`);
      button.querySelector('.block-value').textContent = block.text(settings);
      button.setAttribute('aria-label', `${CHANNELS[ch]} ${block.label}: ${block.text(settings)}`);
    }
    $(`block-${ch}-gain`).classList.toggle('muted', settings.mute !== 0);
  }
}

// ---- the views shown ----

function showTab(name) {
  page.phoneView = name;
  layout();
}

function openBlock(ch, name) {
  page.side = { view: ch, block: name, opener: $(`block-${ch}-${name}`) };
  layout();
  const view = $(`view-${ch}`);
  for (const group of view.querySelectorAll('details.group:not(.off-block, .tuning)')) group.open = true;
  $(`${ch}-${BLOCKS.find((block) => block.name === name).focus}`).focus();
}

// The tools that measure: on a laptop in the graph's place, a graph of their own.
const SOUND_TOOLS = ['measure', 'tune'];

// A tool of the bar (Measure, Tune, Find the unit, the log, the service
// functions): beside the graph on a laptop (the measuring ones in its
// place), the Measure or the Unit tab on a phone.
function openTool(name) {
  const view = SOUND_TOOLS.includes(name) ? 'sound' : 'unit';
  if (LAPTOP.matches && view === 'sound') live.open = false;  // both would take the graph's place
  if (LAPTOP.matches) page.side = { view, block: name, opener: document.querySelector(`[data-tool="${name}"]`) };
  else page.phoneView = view;
  layout();
  $(`${name}-panel`).scrollIntoView({ block: 'nearest' });
}

function closeSide() {
  const opener = page.side?.opener;
  page.side = null;
  layout();
  opener?.focus();
}

function viewShown(name, side) {
  if (!LAPTOP.matches) return name === page.phoneView;
  return name === 'memories' || side?.view === name || (name === 'live' && live.open);
}

function layout() {
  const side = LAPTOP.matches ? page.side : null;
  for (const view of document.querySelectorAll('.view')) {
    view.hidden = !viewShown(view.dataset.view, side);
    for (const part of view.querySelectorAll('[data-blocks]'))
      part.classList.toggle('off-block', side?.view === view.dataset.view && !part.dataset.blocks.split(' ').includes(side.block));
  }
  document.querySelector('main').classList.toggle('side-open', Boolean(side));
  document.querySelector('main').classList.toggle('sound-open', side?.view === 'sound');
  document.querySelector('main').classList.toggle('live-open', LAPTOP.matches && live.open);
  $('live-open').setAttribute('aria-pressed', String(live.open));
  for (const button of document.querySelectorAll('.tabs button'))
    button.setAttribute('aria-pressed', String(button.dataset.view === page.phoneView));
  for (const button of document.querySelectorAll('.chain .block'))
    button.setAttribute('aria-pressed', String(button === side?.opener));
  for (const button of document.querySelectorAll('.tools [data-tool]'))
    button.setAttribute('aria-pressed', String(button === side?.opener));
  drawGraphs();
  toolsShown();
}

// Escape closes the editor beside the graph; a dialog and a typed value take
// their own Escape first.
function closeOnEscape(event) {
  if (event.key !== 'Escape' || event.defaultPrevented || !page.side || $('ask').open) return;
  if (event.target.classList?.contains('value')) return;
  closeSide();
}

function startLayout() {
  buildChain();
  buildBothGraph();
  for (const button of document.querySelectorAll('.tabs button'))
    button.addEventListener('click', () => showTab(button.dataset.view));
  for (const button of document.querySelectorAll('.tools [data-tool]'))
    button.addEventListener('click', () => openTool(button.dataset.tool));
  // Each editor's heading gets a button that closes it (on a laptop).
  for (const heading of document.querySelectorAll('#view-lr > h2, #view-sub > h2, #view-unit .panel > h2:first-child, #view-sound .panel > h2:first-child')) {
    const close = element('button', { type: 'button', class: 'close quiet', 'aria-label': 'Close' }, '×');
    close.addEventListener('click', closeSide);
    const head = element('div', { class: 'side-head' });
    heading.replaceWith(head);
    head.append(heading, close);
  }
  document.addEventListener('keydown', closeOnEscape);
  LAPTOP.addEventListener('change', layout);
  layout();
}
