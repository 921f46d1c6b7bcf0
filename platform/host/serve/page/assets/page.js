'use strict';
// The live page of `tolvex-widget serve`. Every text that comes from a payload is set as text,
// never as markup. The drawings are our renderer's SVG, which holds the payload's text only as
// glyph outlines; they are placed in the page after keeping only drawing elements and
// attributes, under a policy that runs no script but the page's own.

const presentationLabels = {
  'lockscreen': 'Lock Screen',
  'expanded': 'Expanded island',
  'compact-leading': 'Compact leading',
  'compact-trailing': 'Compact trailing',
  'minimal': 'Minimal',
  'standby': 'StandBy',
  'standby-night': 'StandBy at night',
  'always-on': 'Always-On',
  'smart-stack': 'Smart Stack',
  'carplay': 'CarPlay',
};
// The verdicts, one closed set; the marks tell them apart without colour.
const verdictWords = {
  'applied': '✓ applied',
  'ended': '■ ended',
  'stored': '⧗ stored',
  'delivered-late': '✓ delivered late',
  'ignored': '○ ignored',
  'dropped': '✕ dropped',
  'not-started': '✕ not started',
  'throttled': '✕ throttled',
  'expired': '✕ expired',
  'rejected': '✕ rejected',
};
// What a sender wants to hear about: the pushes an activity did not apply.
const notApplied = ['dropped', 'ignored', 'throttled', 'not-started', 'expired', 'rejected'];
const rowsAtFirst = 20;
const logAtFirst = 100;
const keptPushes = 1000;

const state = {
  info: null,
  device: 'iphone-15-pro',
  textSize: 'Large',
  surface: 'phone',
  activities: new Map(),  // id -> entry: {record, tally, steps, step, following, open, row, detail}
  pushes: [],             // newest first, at most keptPushes
  showAllRows: false,
  logShown: logAtFirst,
  clock: null,            // the devices' clock, when the endpoint has one
  // Pushes answered but not yet on screen, by activity; their paint time is measured.
  waiting: new Map(),
};
// Push-to-paint times, read by the browser tests: [{apnsId, at}] in ms since 1970.
window.tolvexPaints = [];

const $ = (id) => document.getElementById(id);

function element(tag, attributes, ...children) {
  const node = document.createElement(tag);
  for (const [name, value] of Object.entries(attributes || {})) {
    if (value === undefined || value === null || value === false) continue;
    if (name === 'class') node.className = value;
    else if (name.startsWith('on')) node.addEventListener(name.slice(2), value);
    else node.setAttribute(name, value === true ? '' : String(value));
  }
  for (const child of children.flat()) {
    if (child === undefined || child === null || child === false) continue;
    node.append(child instanceof Node ? child : String(child));
  }
  return node;
}

class ApiError extends Error {
  constructor(status, message) {
    super(message);
    this.status = status;
  }
}

async function api(path, options) {
  const response = await fetch(path, options);
  const text = await response.text();
  let body = null;
  try { body = text ? JSON.parse(text) : null; } catch { body = text; }
  if (!response.ok) {
    const why = body && body.error ? body.error : `${response.status} ${response.statusText}`;
    throw new ApiError(response.status, why);
  }
  return body;
}

function json(method, body) {
  return {method, headers: {'content-type': 'application/json'}, body: JSON.stringify(body)};
}

// A line that says how something went: as an error when it failed.
function say(node, text, failed) {
  node.textContent = text;
  node.classList.toggle('error', Boolean(failed));
  node.classList.toggle('ok', !failed && Boolean(text));
}

function localTime(value) {
  const date = typeof value === 'number' ? new Date(value * 1000) : new Date(value);
  return isNaN(date) ? String(value) : date.toLocaleString();
}

// A word for bash or zsh that no character of `text` can end: single quotes, each ' written
// '\''; a text with control characters goes in $'…' with each of them escaped instead.
function shellQuote(text) {
  text = String(text);
  if (!/[\x00-\x1f\x7f]/.test(text)) return "'" + text.replace(/'/g, "'\\''") + "'";
  return "$'" + text.replace(/[\\'\x00-\x1f\x7f]/g, (c) => c === '\\' || c === "'"
    ? '\\' + c : '\\x' + c.charCodeAt(0).toString(16).padStart(2, '0')) + "'";
}

// A printf that writes `text` as UTF-8, byte for byte (NULs and line breaks too). ASCII and C1
// controls, the three characters printf or the quote would read (% \ '), and a leading - (an
// option to printf) are octal escapes, so no stored byte can end the quote.
function printfCommand(text) {
  const utf8 = new TextEncoder();
  let format = '';
  for (const c of String(text)) {
    const code = c.codePointAt(0);
    const plain = (code >= 0x20 && code < 0x7f && !'%\\\''.includes(c)) || code >= 0xa0;
    if (plain && !(format === '' && c === '-')) {
      format += c;
      continue;
    }
    for (const byte of utf8.encode(c)) format += '\\' + byte.toString(8).padStart(3, '0');
  }
  return `printf '${format}'`;
}

function payloadText(payload) {
  return typeof payload === 'string' ? payload : JSON.stringify(payload);
}

async function copy(text, button) {
  try {
    await navigator.clipboard.writeText(text);
    button.textContent = 'copied';
  } catch {
    button.textContent = 'select and copy';
  }
  setTimeout(() => { button.textContent = button.dataset.label; }, 1500);
}

function copyButton(label, text) {
  const button = element('button', {type: 'button', 'data-label': label}, label);
  button.addEventListener('click', () => copy(typeof text === 'function' ? text() : text, button));
  return button;
}

// --- names ------------------------------------------------------------------------------------

function shortType(type) {
  return String(type).replace(/LiveActivityAttributes$|Attributes$/, '') || String(type);
}

// The name a person knows an activity by: the app it signs, the file it downloads; a member
// called `name` or ending in `Name`, from its attributes, then its state.
function activityName(record) {
  for (const source of [record.attributes, record.state]) {
    if (!source || typeof source !== 'object') continue;
    for (const [member, value] of Object.entries(source)) {
      if (typeof value === 'string' && value.trim() && (member === 'name' || /Name$/.test(member))) {
        return value;
      }
    }
  }
  return `${shortType(record.type)} ${record.id.slice(0, 8)}`;
}

function activityLabel(record) {
  return `${activityName(record)} · ${shortType(record.type)} · ${record.id.slice(0, 8)}`;
}

// live, stale, ended or removed: the endpoint's word on the devices' clock, else this machine's.
function phaseOf(record) {
  if (record.phase) return record.phase;
  const now = Date.now() / 1000;
  if (record.ended) return 'ended';
  if (record.staleDate !== null && record.staleDate < now) return 'stale';
  return 'live';
}

function phaseWords(record) {
  const phase = phaseOf(record);
  if (phase === 'ended' && record.dismissalDate !== null) {
    return `ended, dismissed ${localTime(record.dismissalDate)}`;
  }
  if (phase === 'stale' && record.staleDate !== null) return `stale since ${localTime(record.staleDate)}`;
  return phase;
}

// --- drawings ---------------------------------------------------------------------------------

// Cleaned drawings by their key: an update changes some presentations and leaves others as they
// were, and the server sends only the drawings the page lacks.
const drawings = new Map();
const shownDrawings = new WeakSet();
const keptDrawings = 400;
let drawingCount = 0;
const drawingElements = new Set([
  'svg', 'g', 'defs', 'symbol', 'use', 'path', 'rect', 'circle', 'ellipse', 'line', 'polyline',
  'polygon', 'image', 'clipPath', 'mask', 'pattern', 'linearGradient', 'radialGradient', 'stop',
  'filter', 'feGaussianBlur', 'feOffset', 'feFlood', 'feComposite', 'feMerge', 'feMergeNode',
  'feColorMatrix', 'feBlend']);

// Keeps drawing elements and attributes only, and gives the ids a prefix of their own: every
// drawing names its glyphs alike, and one page holds many.
function cleanDrawing(root, prefix) {
  for (const node of [root, ...root.querySelectorAll('*')]) {
    if (!drawingElements.has(node.localName)) {
      node.remove();
      continue;
    }
    for (const attribute of [...node.attributes]) {
      const name = attribute.localName.toLowerCase();
      // Path data names nothing and runs nothing; it is most of a drawing's text.
      if (name === 'd') continue;
      const value = attribute.value;
      if (name.startsWith('on')) {
        node.removeAttributeNode(attribute);
      } else if (name === 'id') {
        attribute.value = prefix + value;
      } else if (name === 'href') {
        if (value.startsWith('#')) attribute.value = '#' + prefix + value.slice(1);
        else if (!value.startsWith('data:image/png;') && !value.startsWith('data:image/jpeg;')) {
          node.removeAttributeNode(attribute);
        }
      } else if (value.includes('url(')) {
        attribute.value = value.replace(/url\(\s*#/g, 'url(#' + prefix);
        if (/url\((?!#)/.test(attribute.value)) node.removeAttributeNode(attribute);
      }
    }
  }
}

// Read by the HTML parser into an inert template: several times faster than the XML parser, and
// what the drawing becomes is the same elements, cleaned alike.
function remember(key, svg) {
  if (drawings.has(key)) return;
  const holder = document.createElement('template');
  holder.innerHTML = svg;
  const template = holder.content.querySelector('svg');
  if (!template) return;
  cleanDrawing(template, `d${++drawingCount}-`);
  drawings.set(key, template);
  if (drawings.size > keptDrawings) drawings.delete(drawings.keys().next().value);
}

// A drawing at one CSS pixel per point (the page's scale on wide screens, 3 in the zoom).
function drawing(key, label) {
  const template = drawings.get(key);
  if (!template) return element('p', {class: 'error'}, `${label}: cannot be shown`);
  // The parsed drawing itself is shown first; it is copied only when shown again.
  const node = shownDrawings.has(template) ? template.cloneNode(true) : template;
  shownDrawings.add(template);
  const points = node.viewBox && node.viewBox.baseVal && node.viewBox.baseVal.width ||
                 parseFloat(node.getAttribute('width')) || 300;
  node.removeAttribute('width');
  node.removeAttribute('height');
  node.style.setProperty('--points', `${points}px`);
  node.setAttribute('role', 'img');
  node.setAttribute('aria-label', label);
  node.dataset.key = key;
  return node;
}

function previewQuery(type, have) {
  const query = new URLSearchParams({device: state.device, textSize: state.textSize,
                                     surface: state.surface});
  if (type) query.set('type', type);
  if (have && have.length) query.set('have', have.join(','));
  return query;
}

// Asks for the drawings of an input; those the page holds come back as keys alone. A key the
// page no longer holds is asked for again, whole.
async function preview(text, type, have) {
  const ask = (keys) => api('/api/preview?' + previewQuery(type, keys), {method: 'POST', body: text});
  let answer = await ask(have);
  const missing = (p) => (p.light === null && !drawings.has(p.lightKey)) ||
                         (p.dark === null && !drawings.has(p.darkKey));
  if (answer.presentations.some(missing)) answer = await ask([]);
  for (const p of answer.presentations) {
    if (p.light !== null) remember(p.lightKey, p.light);
    if (p.dark !== null) remember(p.darkKey, p.dark);
  }
  return answer;
}

function openZoom(label, p) {
  $('zoom-title').textContent = `${label}, three times its size`;
  $('zoom-pair').replaceChildren(drawing(p.lightKey, `${label}, light`),
                                 drawing(p.darkKey, `${label}, dark`));
  $('zoom').showModal();
}

function findingsView(label, p) {
  const box = element('div', {class: 'fit'});
  box.append(p.findings.length
    ? element('ul', {class: 'findings', 'aria-label': `${label}: what does not fit`},
              ...p.findings.map((finding) => element('li', {}, finding)))
    : element('p', {class: 'fits'}, 'Fits: nothing truncated, shrunk, clipped or faint.'));
  if (p.advice && p.advice.length) {
    box.append(element('details', {class: 'advice'},
      element('summary', {}, `${p.advice.length} ${p.advice.length === 1 ? 'line' : 'lines'} of ` +
                             "advice on the platform's own text colours"),
      element('ul', {}, ...p.advice.map((line) => element('li', {}, line)))));
  }
  return box;
}

// Draws a preview answer into `box`, changing only the presentations whose drawing or findings
// changed: a figure per presentation, light and dark side by side.
function showPresentations(box, answer) {
  const figures = new Map([...box.children].map((f) => [f.dataset.presentation, f]));
  const seen = new Set();
  let before = null;
  for (const p of answer.presentations) {
    seen.add(p.presentation);
    const label = presentationLabels[p.presentation] || p.presentation;
    let figure = figures.get(p.presentation);
    const findingsKey = JSON.stringify([p.findings, p.advice]);
    if (!figure) {
      figure = element('figure', {class: 'presentation', 'data-presentation': p.presentation},
                       element('figcaption', {}, label));
      figure.append(element('button', {type: 'button', class: 'zoom',
                                       'aria-label': `${label}: open at full size`}));
      figure.append(element('div'));
    }
    const button = figure.children[1];
    if (figure.dataset.light !== p.lightKey || figure.dataset.dark !== p.darkKey) {
      const pair = element('div', {class: 'pair'}, drawing(p.lightKey, `${label}, light`),
                           drawing(p.darkKey, `${label}, dark`));
      button.replaceChildren(pair);
      button.onclick = () => openZoom(label, p);
      figure.dataset.light = p.lightKey;
      figure.dataset.dark = p.darkKey;
    }
    if (figure.dataset.findings !== findingsKey) {
      figure.children[2].replaceWith(findingsView(label, p));
      figure.dataset.findings = findingsKey;
    }
    const place = before ? before.nextSibling : box.firstChild;
    if (figure !== place) box.insertBefore(figure, place);
    before = figure;
  }
  for (const [name, figure] of figures) if (!seen.has(name)) figure.remove();
}

function drawingKeys(box) {
  return [...box.querySelectorAll('figure')].flatMap((f) => [f.dataset.light, f.dataset.dark])
    .filter(Boolean);
}

// --- activities -------------------------------------------------------------------------------

function contentStateOf(payload) {
  if (!payload || typeof payload !== 'object') return null;
  if (payload.aps && typeof payload.aps === 'object') return payload.aps['content-state'] ?? null;
  return payload['content-state'] ?? null;
}

// The input that shows an activity at one step of its timeline.
function stepInput(record, contentState) {
  if (record.attributes === null) {
    return {text: JSON.stringify(contentState), type: record.type + '.ContentState'};
  }
  return {text: JSON.stringify({
    'attributes-type': record.type, 'attributes': record.attributes,
    'content-state': contentState}), type: ''};
}

// Whether the activity shows a push it was given (its timeline holds it), as the endpoint says;
// a push after the end is `ended` too, and not shown.
function shows(push) {
  if (typeof push.shown === 'boolean') return push.shown;
  return push.verdict === 'applied' || push.verdict === 'ended' || push.verdict === 'delivered-late';
}

function emptyTally() {
  return {pushes: 0, verdicts: {}, last: null};
}

function countTally(tally, push, verdict) {
  tally.pushes += 1;
  tally.verdicts[verdict] = (tally.verdicts[verdict] || 0) + 1;
  tally.last = {apnsId: push.apnsId, time: push.time, verdict};
}

function lastTime(entry) {
  return entry.tally.last ? entry.tally.last.time : entry.record.created;
}

function notAppliedWords(tally) {
  const parts = notApplied.filter((v) => tally.verdicts[v])
    .map((v) => `${tally.verdicts[v]} ${v.replace('-', ' ')}`);
  return parts.length ? parts.join(', ') : 'none';
}

function summaryCells(entry) {
  const record = entry.record;
  const tally = entry.tally;
  const phase = phaseOf(record);
  const last = tally.last;
  const counted = notAppliedWords(tally);
  return [
    element('td', {class: 'name'},
      element('button', {type: 'button', class: 'open-button', 'aria-expanded': String(entry.open),
                         onclick: () => toggle(entry)}, activityName(record)),
      element('code', {class: 'id'}, record.id.slice(0, 8))),
    element('td', {class: 'type', title: record.type}, shortType(record.type)),
    element('td', {class: 'phase'}, element('span', {class: `badge ${phase}`, title: phaseWords(record)}, phase)),
    element('td', {class: 'island island-column'},
            record.holdsIsland === true ? '◆ holds it' : record.holdsIsland === false ? '—' : ''),
    element('td', {class: 'last', 'data-verdict': last ? last.verdict : ''}, last
      ? [element('span', {class: `verdict ${last.verdict}`}, verdictWords[last.verdict] || last.verdict),
         ' ', element('span', {class: 'muted'}, localTime(last.time))]
      : element('span', {class: 'muted'}, 'none yet')),
    element('td', {class: `counts${counted === 'none' ? '' : ' some'}`}, counted),
  ];
}

function updateRow(entry) {
  if (!entry.row) {
    entry.row = element('tr', {class: 'activity-row', 'data-activity-id': entry.record.id});
  }
  entry.row.classList.toggle('open', entry.open);
  // The row is drawn anew; a user on its button keeps the focus there.
  const focused = entry.row.contains(document.activeElement);
  entry.row.replaceChildren(...summaryCells(entry));
  if (focused) entry.row.querySelector('.open-button').focus();
}

function matchesFilter(entry, text) {
  if (!text) return true;
  const r = entry.record;
  return [activityName(r), r.type, r.id, r.deviceToken, r.updateToken, r.channel]
    .some((value) => value && String(value).toLowerCase().includes(text));
}

function orderedEntries() {
  return [...state.activities.values()].sort((a, b) => {
    const byTime = String(lastTime(b)).localeCompare(String(lastTime(a)));
    return byTime || String(b.record.created).localeCompare(String(a.record.created));
  });
}

// The summary rows, newest push first; the first few unless all are asked for, and always a
// word on how many are not shown.
function renderRows() {
  const body = $('activities');
  const filter = $('activities-filter').value.trim().toLowerCase();
  const matching = orderedEntries().filter((entry) => matchesFilter(entry, filter));
  const shown = state.showAllRows ? matching : matching.slice(0, rowsAtFirst);
  const rows = [];
  for (const entry of shown) {
    if (!entry.row) updateRow(entry);
    rows.push(entry.row);
    if (entry.open && entry.detail) rows.push(entry.detail);
  }
  // Rows that stay keep their nodes (and the focus inside them).
  let place = body.firstChild;
  for (const row of rows) {
    if (row !== place) body.insertBefore(row, place);
    else place = place.nextSibling;
  }
  while (place) {
    const next = place.nextSibling;
    place.remove();
    place = next;
  }
  const total = state.activities.size;
  $('activities-empty').hidden = total > 0;
  $('activities-table').hidden = total === 0;
  $('activities-table').classList.toggle('no-island',
    ![...state.activities.values()].some((e) => typeof e.record.holdsIsland === 'boolean'));
  $('activities-count').textContent = total ? `(${total})` : '';
  const hidden = matching.length - shown.length;
  $('activities-more').hidden = hidden === 0 && !(state.showAllRows && matching.length > rowsAtFirst);
  $('activities-shown').textContent = hidden > 0
    ? `${shown.length} of ${matching.length} shown${filter ? ' (matching the search)' : ''}`
    : `all ${matching.length} shown`;
  $('activities-all').textContent = hidden > 0 ? `show all ${matching.length}` : `show the first ${rowsAtFirst}`;
}

function tokenRow(name, value) {
  if (!value) return [];
  return [element('dt', {}, name),
          element('dd', {}, element('code', {}, value), ' ', copyButton('copy', value))];
}

// The detail under an open row, built once: what changes is updated in place, so the control
// a user pressed keeps the focus.
function buildDetail(entry) {
  const id = entry.record.id;
  const meta = element('dl', {class: 'meta'});
  const earlier = element('button', {type: 'button', class: 'earlier'}, '◀ earlier');
  const later = element('button', {type: 'button', class: 'later'}, 'later ▶');
  const slider = element('input', {type: 'range', min: 0, max: 0, value: 0,
                                   'aria-label': 'Step of the timeline'});
  const position = element('span', {class: 'muted position'});
  const go = (step) => {
    if (!entry.steps.length) return;
    entry.step = Math.max(0, Math.min(entry.steps.length - 1, step));
    entry.following = entry.step === entry.steps.length - 1;
    updateTimeline(entry);
    drawActivity(entry);
  };
  earlier.addEventListener('click', () => { if (earlier.getAttribute('aria-disabled') !== 'true') go(entry.step - 1); });
  later.addEventListener('click', () => { if (later.getAttribute('aria-disabled') !== 'true') go(entry.step + 1); });
  slider.addEventListener('input', () => go(Number(slider.value)));
  const cell = element('td', {colspan: 6},
    meta,
    element('div', {class: 'timeline'}, earlier, slider, later, position,
      element('a', {href: `/api/activities/${id}/timeline`, download: ''}, 'export timeline (.jsonl)'),
      element('button', {type: 'button', onclick: () => showInLog(id)}, 'its pushes in the log')),
    element('div', {class: 'presentations'}),
    element('h3', {}, 'Pushes'),
    element('ol', {class: 'activity-pushes'}));
  entry.detail = element('tr', {class: 'activity-detail', 'data-activity-id': id}, cell);
  entry.parts = {meta, earlier, later, slider, position,
                 drawings: cell.querySelector('.presentations'),
                 pushes: cell.querySelector('.activity-pushes')};
  updateMeta(entry);
}

function updateMeta(entry) {
  const r = entry.record;
  entry.parts.meta.replaceChildren(
    element('dt', {}, 'activity'), element('dd', {}, element('code', {}, r.id), ' ', copyButton('copy', r.id)),
    element('dt', {}, 'state'), element('dd', {}, phaseWords(r)),
    ...tokenRow('device token', r.deviceToken),
    ...tokenRow('update token', r.updateToken),
    ...tokenRow('channel', r.channel),
    element('dt', {}, 'attributes'),
    element('dd', {}, element('code', {}, r.attributes === null ? '(default)' : JSON.stringify(r.attributes))),
    element('dt', {}, 'started'), element('dd', {}, localTime(r.created)));
}

function updateTimeline(entry) {
  const {earlier, later, slider, position} = entry.parts;
  const steps = entry.steps;
  slider.max = Math.max(steps.length - 1, 0);
  slider.value = entry.step;
  earlier.setAttribute('aria-disabled', String(entry.step <= 0));
  later.setAttribute('aria-disabled', String(entry.step >= steps.length - 1));
  const step = steps[entry.step];
  position.textContent = steps.length
    ? `update ${entry.step + 1} of ${steps.length}` + (step ? `, ${localTime(step.time)}` : '')
    : 'no update shown yet';
}

function activityPushLine(push) {
  const verdict = push.verdict || 'rejected';
  return element('li', {'data-apns-id': push.apnsId},
    element('span', {class: `verdict ${verdict}`}, verdictWords[verdict] || verdict), ' ',
    element('span', {class: 'muted'}, localTime(push.time)), ' ',
    element('a', {href: `#push-${push.apnsId}`, onclick: (event) => {
      event.preventDefault();
      showPushInLog(push.apnsId);
    }}, push.apnsId.slice(0, 8)),
    push.error ? element('span', {class: 'error'}, push.error) : null);
}

// A push the activity showed becomes the last step of its timeline; an end without a content
// state shows the one before.
function addStep(entry, push) {
  const last = entry.steps.length ? entry.steps[entry.steps.length - 1].contentState : null;
  const contentState = contentStateOf(push.payload) ?? last;
  if (contentState === null) return;
  entry.steps.push({time: push.time, apnsId: push.apnsId, contentState});
  if (entry.following) entry.step = entry.steps.length - 1;
}

async function loadActivityPushes(entry) {
  entry.loading = true;
  let pushes;
  try {
    pushes = await api(`/api/activities/${entry.record.id}/pushes`);
  } finally {
    entry.loading = false;
  }
  entry.steps = [];
  for (const push of pushes) if (shows(push)) addStep(entry, push);
  if (entry.following || entry.step >= entry.steps.length) {
    entry.step = Math.max(entry.steps.length - 1, 0);
  }
  entry.parts.pushes.replaceChildren(...pushes.slice(-50).reverse().map(activityPushLine));
  entry.loaded = true;
}

// Draws the step shown; a drawing already there stays.
async function drawActivity(entry) {
  if (entry.busy) { entry.again = true; return; }
  entry.busy = true;
  const covered = state.waiting.get(entry.record.id) || [];
  state.waiting.delete(entry.record.id);
  try {
    // A push that came while the pushes loaded may or may not be among them: load them again.
    if (!entry.loaded || entry.stale) {
      entry.stale = false;
      await loadActivityPushes(entry);
    }
    updateTimeline(entry);
    const step = entry.steps[entry.step];
    const contentState = step ? step.contentState : entry.record.state;
    if (contentState !== null && contentState !== undefined) {
      const input = stepInput(entry.record, contentState);
      const answer = await preview(input.text, input.type, drawingKeys(entry.parts.drawings));
      showPresentations(entry.parts.drawings, answer);
    }
  } catch (error) {
    say($('connection'), `cannot draw ${activityName(entry.record)}: ${error.message}`, true);
  } finally {
    entry.busy = false;
  }
  painted(covered);
  if (entry.again) {
    entry.again = false;
    drawActivity(entry);
  }
}

function toggle(entry, open = !entry.open) {
  entry.open = open;
  if (open && !entry.detail) buildDetail(entry);
  updateRow(entry);
  entry.row.querySelector('.open-button').focus();
  renderRows();
  if (open) drawActivity(entry);
}

function trackActivity(record, tally) {
  let entry = state.activities.get(record.id);
  if (!entry) {
    entry = {record, tally: tally || emptyTally(), steps: [], step: 0, following: true,
             open: false, row: null, detail: null, loaded: false};
    state.activities.set(record.id, entry);
  }
  return entry;
}

function painted(apnsIds) {
  if (!apnsIds.length) return;
  requestAnimationFrame(() => {
    const at = Date.now();
    for (const apnsId of apnsIds) window.tolvexPaints.push({apnsId, at});
  });
}

function updateTargets() {
  const entries = orderedEntries();
  for (const [id, keepAny] of [['editor-target', false], ['log-activity', true]]) {
    const select = $(id);
    const chosen = select.value;
    select.replaceChildren(...(keepAny ? [element('option', {value: ''}, 'any')] : []),
      ...entries.map((e) => element('option', {value: e.record.id}, activityLabel(e.record))));
    if (chosen) select.value = chosen;
  }
  $('editor-send').disabled = entries.length === 0;
}

let targetsQueued = false;
function queueTargets() {
  if (targetsQueued) return;
  targetsQueued = true;
  setTimeout(() => { targetsQueued = false; updateTargets(); }, 200);
}

// --- the push log -----------------------------------------------------------------------------

// The headers a push was sent with that belong to it (apns-…), as its sender gave them.
function ownHeaders(push) {
  return Object.entries(push.headers || {}).filter(([name]) =>
    /^apns-[a-z0-9-]+$/i.test(name));
}

// The key and team of the push's provider token, which the history keeps without its signature;
// words to replace where it had none.
function providerOf(push) {
  const words = {keyId: 'KEYID', teamId: 'TEAMID'};
  const authorization = (push.headers || {}).authorization;
  const parts = typeof authorization === 'string' ? authorization.replace(/^bearer /i, '').split('.') : [];
  const read = (part) => {
    try {
      return JSON.parse(atob(part.replace(/-/g, '+').replace(/_/g, '/')));
    } catch {
      return {};
    }
  };
  const id = (value) => typeof value === 'string' && /^[A-Z0-9]{10}$/.test(value);
  if (parts.length < 2) return words;
  const {kid} = read(parts[0]);
  const {iss} = read(parts[1]);
  return {keyId: id(kid) ? kid : words.keyId, teamId: id(iss) ? iss : words.teamId};
}

// The payload as sent, or with its timestamp made now, as the service would refuse an old one.
function curlPayload(push, keepTime) {
  if (keepTime || typeof push.payload !== 'object' || push.payload === null) return payloadText(push.payload);
  const aps = push.payload.aps;
  if (!aps || typeof aps !== 'object' || typeof aps.timestamp !== 'number') return payloadText(push.payload);
  return JSON.stringify({...push.payload, aps: {...aps, timestamp: Math.floor(Date.now() / 1000)}});
}

// The body comes from printf through a pipe: no here-document whose end a stored line could
// fake, and no @file that curl would read.
function curlCommand(push, real, keepTime) {
  const body = printfCommand(curlPayload(push, keepTime)) + ' |\n';
  if (push.path === '/api/activities') {
    return body + `curl -H 'content-type: application/json' --data-binary @- ` +
           shellQuote(location.origin + '/api/activities');
  }
  const lines = ['curl --http2'];
  let url;
  if (real) {
    const service = 'https://api.sandbox.push.apple.com';
    url = push.path.startsWith('/3/device/') ? shellQuote(service + '/3/device/') + '"$TOKEN"'
                                             : shellQuote(service + push.path);
  } else {
    lines.push(`--cacert ${shellQuote(state.info.certificate)}`);
    url = shellQuote(state.info.pushUrl + push.path);
  }
  for (const [name, value] of ownHeaders(push)) lines.push(`-H ${shellQuote(`${name}: ${value}`)}`);
  lines.push('-H "authorization: bearer $JWT"');
  lines.push(`--data-binary @- ${url}`);
  // A provider token made here, with the sender's own key, unless one is at hand.
  const {keyId, teamId} = providerOf(push);
  const token = `[ -n "$JWT" ] || JWT=$(tolvex-widget token --key ${shellQuote(`AuthKey_${keyId}.p8`)} ` +
                `--key-id ${shellQuote(keyId)} --team-id ${shellQuote(teamId)})\n`;
  return token + body + lines.join(' \\\n  ');
}

function showInLog(activityId) {
  $('log-activity').value = activityId;
  renderLog();
  $('log-section').scrollIntoView();
}

function showPushInLog(apnsId) {
  for (const id of ['log-verdict', 'log-activity', 'log-token']) $(id).value = '';
  $('log-text').value = apnsId;
  renderLog();
  const entry = document.getElementById(`push-${apnsId}`);
  if (entry) entry.scrollIntoView();
}

function openActivity(id) {
  const entry = state.activities.get(id);
  if (!entry) return;
  $('activities-filter').value = '';
  if (orderedEntries().indexOf(entry) >= rowsAtFirst) state.showAllRows = true;
  if (!entry.open) toggle(entry, true); else renderRows();
  entry.row.scrollIntoView({block: 'center'});
  entry.row.querySelector('.open-button').focus();
}

function activityLink(id) {
  const entry = state.activities.get(id);
  return element('a', {href: `#activity-${id}`, class: 'activity-link', onclick: (event) => {
    event.preventDefault();
    openActivity(id);
  }}, entry ? activityLabel(entry.record) : id.slice(0, 8));
}

function pushEntry(push) {
  const verdict = push.verdict || 'rejected';
  // Status 0: a fault rule closed the connection (GOAWAY with its reason) or reset the stream.
  const status = push.status ? push.status + (push.reason ? ` ${push.reason}` : '')
                             : (push.reason ? `GOAWAY ${push.reason}` : 'stream reset');
  const entry = element('li', {class: `push ${verdict}`, id: `push-${push.apnsId}`,
                               'data-apns-id': push.apnsId, 'data-verdict': verdict});
  entry.append(element('div', {class: 'summary'},
    element('span', {class: `verdict ${verdict}`}, verdictWords[verdict] || verdict),
    element('span', {}, localTime(push.time)),
    element('span', {}, 'status ', element('code', {}, status)),
    element('span', {}, 'apns-id ', element('code', {}, push.apnsId)),
    push.token ? element('span', {}, 'token ', element('code', {title: push.token},
                                                            push.token.slice(0, 16) + '…'))
               : null,
    push.activityId && push.deliveries.length <= 1 ? element('span', {}, 'to ', activityLink(push.activityId)) : null));
  if (push.error) entry.append(element('p', {class: 'error'}, `why: ${push.error}`));
  if (push.deliveries.length > 1) {
    entry.append(element('ul', {class: 'deliveries', 'aria-label': 'deliveries'},
      ...push.deliveries.map((d) => element('li', {},
        activityLink(d.activityId), ': ',
        element('span', {class: `verdict ${d.verdict}`}, verdictWords[d.verdict] || d.verdict),
        d.error ? element('span', {class: 'error'}, d.error) : null))));
  }
  if (push.warnings && push.warnings.length) {
    entry.append(element('ul', {class: 'warnings', 'aria-label': 'sender warnings'},
      ...push.warnings.map((warning) => element('li', {}, 'warning: ' + warning))));
  }
  const formatted = typeof push.payload === 'string' || push.payload === null
    ? String(push.payload ?? '(no body)') : JSON.stringify(push.payload, null, 2);
  const command = () => curlCommand(push, $('curl-real').checked, $('curl-keep-time').checked);
  const shown = element('pre', {class: 'curl'});
  entry.append(element('details', {ontoggle: () => { shown.textContent = command(); }},
    element('summary', {}, 'payload and curl'),
    element('pre', {class: 'payload'}, formatted), shown));
  entry.append(element('p', {}, copyButton('copy as curl', command),
    push.payload !== null ? ' ' : null,
    push.payload !== null ? element('button', {type: 'button', class: 'edit', onclick: () => {
      $('editor').value = formatted;
      $('editor-type').value = '';
      if (push.activityId) {
        updateTargets();
        $('editor-target').value = push.activityId;
      }
      runPreview();
      $('editor').focus();
      $('editor-section').scrollIntoView();
    }}, 'edit') : null));
  return entry;
}

function logMatches(push, filter) {
  const reached = push.deliveries.length ? push.deliveries : [{activityId: push.activityId, verdict: push.verdict}];
  if (filter.verdict && !reached.some((d) => d.verdict === filter.verdict) && push.verdict !== filter.verdict) return false;
  if (filter.activity && !reached.some((d) => d.activityId === filter.activity)) return false;
  if (filter.token && !(push.token || '').toLowerCase().includes(filter.token)) return false;
  if (filter.text) {
    const haystack = [push.apnsId, push.error, push.reason, push.path, payloadText(push.payload),
                      ...push.deliveries.map((d) => d.error)].join('\n').toLowerCase();
    if (!haystack.includes(filter.text)) return false;
  }
  return true;
}

// Log entries are built once per push and kept, so filtering only moves them.
const logEntries = new Map();

function renderLog() {
  const filter = {verdict: $('log-verdict').value, activity: $('log-activity').value,
                  token: $('log-token').value.trim().toLowerCase(),
                  text: $('log-text').value.trim().toLowerCase()};
  const matching = state.pushes.filter((push) => logMatches(push, filter));
  const shown = matching.slice(0, state.logShown);
  const nodes = shown.map((push) => {
    let node = logEntries.get(push.apnsId + push.time);
    if (!node) {
      node = pushEntry(push);
      logEntries.set(push.apnsId + push.time, node);
    }
    return node;
  });
  const log = $('log');
  let place = log.firstChild;
  for (const node of nodes) {
    if (node !== place) log.insertBefore(node, place);
    else place = place.nextSibling;
  }
  while (place) {
    const next = place.nextSibling;
    place.remove();
    place = next;
  }
  const filtered = Object.values(filter).some(Boolean);
  $('log-count').textContent = state.pushes.length
    ? `(${filtered ? `${matching.length} of ` : ''}${state.pushes.length}${
      state.pushes.length >= keptPushes ? ' newest' : ''})` : '';
  $('log-more').hidden = matching.length <= shown.length;
  $('log-shown').textContent = `${shown.length} of ${matching.length} shown`;
}

let logQueued = false;
function queueLog() {
  if (logQueued) return;
  logQueued = true;
  requestAnimationFrame(() => { logQueued = false; renderLog(); });
}

function addPush(push) {
  state.pushes.unshift(push);
  if (state.pushes.length > keptPushes) {
    const gone = state.pushes.pop();
    logEntries.delete(gone.apnsId + gone.time);
  }
}

// How long the page's other changes wait for the drawings of a push before they show anyway.
const drawingWait = 250;
let pageWrites = Promise.resolve();

// A push as it is answered, with each activity it reached as the push left it.
function pushArrived({push, activities}) {
  addPush(push);
  if (!activities.length || push.status >= 300) {
    queueLog();
    painted([push.apnsId]);
    return;
  }
  let added = false;
  const drawn = [];
  const writes = [];  // changes to the page, made once the drawings are in
  for (const activity of activities) {
    const delivery = push.deliveries.find((d) => d.activityId === activity.id);
    const verdict = delivery ? delivery.verdict : push.verdict;
    const known = state.activities.has(activity.id);
    const entry = trackActivity(activity);
    added = added || !known;
    entry.record = {...entry.record, ...activity};
    countTally(entry.tally, push, verdict);
    writes.push(() => updateRow(entry));
    if (entry.open) {
      // Pushes loaded again bring this one with them.
      const reloads = entry.loading || !entry.loaded;
      if (reloads) entry.stale = true;
      else if (shows(delivery || push)) addStep(entry, push);
      writes.push(() => {
        updateMeta(entry);
        if (reloads) return;
        entry.parts.pushes.prepend(activityPushLine({...push, verdict, error: delivery ? delivery.error : push.error}));
      });
      const waiting = state.waiting.get(activity.id) || [];
      waiting.push(push.apnsId);
      state.waiting.set(activity.id, waiting);
      drawn.push(entry);
    }
  }
  // A first activity opens by itself: the page shows what it is there for at once.
  if (added && state.activities.size === 1) {
    const entry = state.activities.values().next().value;
    entry.open = true;
    buildDetail(entry);
    updateRow(entry);
    state.waiting.set(entry.record.id, [push.apnsId]);
    drawn.push(entry);
  }
  const write = () => {
    for (const change of writes) change();
    renderRows();
    queueLog();
    if (added) queueTargets();
    if (state.devices) queueDevices();
  };
  // The rest of the page changes with the drawings, in one frame: a frame of its own before them
  // would hold up their answer. Pushes change the page in the order they came.
  if (!drawn.length) {
    pageWrites = pageWrites.then(() => {
      write();
      painted([push.apnsId]);
    }).catch(cannotShow);
    return;
  }
  const drawings = Promise.allSettled(drawn.map(drawActivity));
  const ready = Promise.race([drawings, new Promise((done) => setTimeout(done, drawingWait))]);
  pageWrites = pageWrites.then(() => ready).then(write).catch(cannotShow);
}

function cannotShow(error) {
  say($('connection'), `cannot show a push: ${error.message}`, true);
}

// --- the editor -------------------------------------------------------------------------------

let previewTimer = 0;
let previewSeq = 0;
let editorInferred = '';

function schedulePreview() {
  clearTimeout(previewTimer);
  previewTimer = setTimeout(runPreview, 150);
}

// The input's line with the faulty member or token marked, at the place the server found. It
// counts the input's UTF-8 bytes; the editor's text counts UTF-16 units.
function showMark(text, error) {
  const mark = $('editor-mark');
  if (error.start == null) { mark.hidden = true; return; }
  const bytes = new TextEncoder().encode(text);
  const unit = (offset) => new TextDecoder().decode(bytes.subarray(0, offset)).length;
  const start = unit(error.start);
  const lineStart = text.lastIndexOf('\n', start - 1) + 1;
  let lineEnd = text.indexOf('\n', start);
  if (lineEnd < 0) lineEnd = text.length;
  const end = Math.min(Math.max(unit(error.end), start + 1), lineEnd);
  mark.replaceChildren(`line ${error.line}: `, text.slice(lineStart, start),
    element('mark', {}, text.slice(start, end)), text.slice(end, lineEnd));
  mark.hidden = false;
}

// The type the input is read as: the one chosen, else for a push payload the type of the activity
// it would be sent to, as an update names no type of its own.
function editorType(text) {
  const chosen = $('editor-type').value;
  if (chosen) return chosen;
  try {
    const value = JSON.parse(text);
    const target = state.activities.get($('editor-target').value);
    if (value && typeof value === 'object' && value.aps && target) return target.record.type;
  } catch {
    // A text that is no JSON yet is read as it is, to be told where it breaks.
  }
  return '';
}

async function runPreview() {
  const text = $('editor').value;
  const result = $('editor-result');
  const seq = ++previewSeq;
  if (!text.trim()) {
    result.textContent = '';
    result.className = '';
    $('editor-mark').hidden = true;
    $('editor-preview').replaceChildren();
    $('editor').removeAttribute('aria-invalid');
    return;
  }
  let answer;
  try {
    answer = await preview(text, editorType(text), drawingKeys($('editor-preview')));
  } catch (error) {
    if (seq !== previewSeq) return;
    result.className = 'refused';
    result.textContent = `cannot preview: ${error.message}`;
    return;
  }
  if (seq !== previewSeq) return;
  editorInferred = answer.type || '';
  const warnings = answer.warnings.map((w) => element('li', {}, 'warning: ' + w));
  if (answer.accepted) {
    result.className = 'accepted';
    result.replaceChildren('✓ accepted' +
                           (answer.type ? ` as ${answer.type}, the one type that reads it` : '') +
                           (answer.presentations.length ? '' : ': it holds no content state to draw'),
                           warnings.length ? element('ul', {class: 'warnings'}, ...warnings) : '');
    $('editor').setAttribute('aria-invalid', 'false');
    $('editor-mark').hidden = true;
  } else {
    result.className = 'refused';
    result.replaceChildren('✕ refused: ' + answer.error.description,
                           warnings.length ? element('ul', {class: 'warnings'}, ...warnings) : '');
    $('editor').setAttribute('aria-invalid', 'true');
    showMark(text, answer.error);
  }
  showPresentations($('editor-preview'), answer);
}

async function sendFromEditor() {
  const sent = $('editor-sent');
  const id = $('editor-target').value;
  if (!id) { say(sent, 'no activity to send to: start one first', true); return; }
  try {
    const push = await api(`/api/activities/${id}/pushes`, {method: 'POST', body: $('editor').value});
    say(sent, `${push.status}${push.reason ? ' ' + push.reason : ''}, ${push.verdict}` +
              (push.error ? `: ${push.error}` : ''), push.status >= 300 || !shows(push));
  } catch (error) {
    say(sent, `not sent: ${error.message}`, true);
  }
}

async function startFromEditor() {
  const sent = $('editor-sent');
  // A content state on its own starts with its type's default attributes.
  const type = $('editor-type').value || editorInferred;
  try {
    const record = await api('/api/activities' + (type ? '?type=' + encodeURIComponent(type) : ''),
                             {method: 'POST', body: $('editor').value});
    say(sent, `started ${activityLabel(record)}` +
              (record.attributes !== null ? ` with attributes ${JSON.stringify(record.attributes)}` : ''));
    trackActivity(record);
    updateTargets();
    $('editor-target').value = record.id;
  } catch (error) {
    say(sent, `not started: ${error.message}`, true);
  }
}

async function importFile(file) {
  const sent = $('editor-sent');
  if (file.size > 1 << 20) { say(sent, `${file.name} is larger than 1 MB`, true); return; }
  const text = await file.text();
  if (!file.name.endsWith('.jsonl')) {
    $('editor').value = text;
    runPreview();
    say(sent, `${file.name} is in the editor`);
    return;
  }
  try {
    // The Type menu is for lines that name no type; the server keeps those that do.
    const type = $('editor-type').value;
    const results = await api('/api/timelines' + (type ? '?type=' + encodeURIComponent(type) : ''),
                              {method: 'POST', body: text});
    const failed = results.filter((r) => r.error || (r.push && !shows(r.push))).length;
    say(sent, `${file.name}: replayed ${results.length} lines` +
              (failed ? `, ${failed} not applied (see the push log)` : ''), failed > 0);
  } catch (error) {
    say(sent, `${file.name} not replayed: ${error.message}`, true);
  }
}

// --- the simulated phone ----------------------------------------------------------------------

function redrawAll() {
  for (const entry of state.activities.values()) if (entry.open) drawActivity(entry);
  runPreview();
}

// "90m", "2h", "1d", "-30m", "45s" or seconds.
function durationSeconds(text) {
  const match = /^\s*(-?\d+(?:\.\d+)?)\s*([smhd]?)\s*$/i.exec(text);
  if (!match) return null;
  const unit = {'': 1, s: 1, m: 60, h: 3600, d: 86400}[match[2].toLowerCase()];
  return Math.round(Number(match[1]) * unit);
}

function offsetWords(seconds) {
  if (!seconds) return 'now (no offset)';
  const sign = seconds < 0 ? '−' : '+';
  let rest = Math.abs(seconds);
  const parts = [];
  for (const [unit, size] of [['d', 86400], ['h', 3600], ['min', 60], ['s', 1]]) {
    if (rest >= size) { parts.push(`${Math.floor(rest / size)} ${unit}`); rest %= size; }
  }
  return sign + parts.join(' ');
}

function showClock(clock) {
  state.clock = clock;
  $('clock').hidden = false;
  $('clock-offset').textContent = offsetWords(clock.offsetSeconds);
  $('clock-offset').title = new Date(clock.nowMs).toLocaleString();
}

async function loadClock() {
  try {
    showClock(await api('/api/clock'));
  } catch (error) {
    $('clock').hidden = true;
    if (!(error instanceof ApiError && error.status === 404)) throw error;
  }
}

async function moveClock(body) {
  try {
    showClock(await api('/api/clock', json('POST', body)));
    say($('clock-said'), '');
    // Stale dates, dismissals and budgets are judged on the devices' clock.
    await loadAll();
    if (state.devices) await loadDevices();
  } catch (error) {
    say($('clock-said'), error.message, true);
  }
}

// Each device as a small form: a change is sent at once, and what the endpoint keeps is shown.
function deviceView(device) {
  const said = element('span', {role: 'status', 'aria-live': 'polite'});
  const patch = async (member, value, control) => {
    try {
      const changed = await api(`/api/devices/${device.token}`, json('PATCH', {[member]: value}));
      const view = deviceView(changed);
      box.replaceWith(view);
      const again = view.querySelector(`[name="${member}"]`);
      if (again && control === document.activeElement) again.focus();
      else if (again) again.focus();
    } catch (error) {
      say(said, `${member}: ${error.message}`, true);
    }
  };
  const field = (label, member, control, read) => {
    control.name = member;
    control.addEventListener('change', () => patch(member, read(control), control));
    return element('label', {}, label, ' ', control);
  };
  const b = device.budgets || {};
  // An empty limit is serve's default.
  const budget = (c) => c.value.trim() === '' ? null : Number(c.value);
  const box = element('article', {class: 'device', 'data-token': device.token},
    element('h3', {}, 'Device ', element('code', {title: device.token}, device.token.slice(0, 16) + '…'), ' ',
      element('span', {class: `badge ${device.online ? 'live' : 'stale'}`}, device.online ? 'online' : 'offline')),
    element('div', {class: 'controls'},
      field('environment', 'environment',
        element('select', {}, ...['development', 'production'].map((e) =>
          element('option', {value: e, selected: e === device.environment}, e))), (c) => c.value),
      field('system version', 'systemVersion',
        element('input', {value: device.systemVersion, size: 6}), (c) => c.value),
      field('frequent updates', 'frequentUpdates',
        element('input', {type: 'checkbox', checked: device.frequentUpdates}), (c) => c.checked),
      field('online', 'online', element('input', {type: 'checkbox', checked: device.online}),
        (c) => c.checked)),
    element('div', {class: 'controls'},
      element('span', {}, `priority 10 budget: ${b.priority10Left ?? '?'} of ${b.priority10Limit ?? '?'} left`),
      field('limit', 'priority10Budget', element('input', {type: 'number', min: 0, value: b.priority10Limit ?? ''}),
        budget),
      element('span', {}, `push-to-start budget: ${b.pushToStartLeft ?? '?'} of ${b.pushToStartLimit ?? '?'} left`),
      field('limit', 'pushToStartBudget', element('input', {type: 'number', min: 0, value: b.pushToStartLimit ?? ''}),
        budget)),
    element('p', {}, 'activities: ',
      ...(device.activities.length ? device.activities.flatMap((id, i) => [i ? ', ' : '', activityLink(id),
        id === device.islandHolder ? ' (holds the island)' : '']) : ['none'])),
    said);
  return box;
}

async function loadDevices() {
  let answer;
  try {
    answer = await api('/api/devices');
  } catch (error) {
    $('devices-section').hidden = true;
    $('nav-devices').hidden = true;
    if (!(error instanceof ApiError && error.status === 404)) throw error;
    return;
  }
  state.devices = answer.devices;
  $('devices-section').hidden = false;
  $('nav-devices').hidden = false;
  const list = $('devices');
  // A form being typed in stays as it is.
  if (list.contains(document.activeElement) && document.activeElement !== document.body) return;
  list.replaceChildren(...(answer.devices.length ? answer.devices.map(deviceView)
    : [element('p', {class: 'muted'}, 'No device yet: a push to a device token makes one.')]));
}

let devicesTimer = 0;
function queueDevices() {
  clearTimeout(devicesTimer);
  devicesTimer = setTimeout(() => loadDevices().catch(() => {}), 300);
}

function ruleWords(rule) {
  const m = rule.match || {};
  const match = Object.entries(m).filter(([, v]) => v !== undefined && v !== null && v !== '')
    .map(([k, v]) => `${k} ${v}`).join(', ') || 'every push';
  const action = rule.action === 'goaway' ? 'close the connection'
    : rule.action === 'reset' ? 'reset the stream'
    : `answer ${rule.status ?? ''}${rule.reason ? ' ' + rule.reason : ''}`;
  const extra = [rule.delaySeconds ? `after ${rule.delaySeconds} s` : '',
                 rule.retryAfterSeconds ? `retry after ${rule.retryAfterSeconds} s` : '',
                 rule.times === undefined || rule.times === null ? 'always'
                   : `${rule.left ?? rule.times} of ${rule.times} left`].filter(Boolean).join(', ');
  return `${match}: ${action} (${extra})`;
}

async function loadFaults() {
  let answer;
  try {
    answer = await api('/api/faults');
  } catch (error) {
    $('faults-section').hidden = true;
    $('nav-faults').hidden = true;
    if (!(error instanceof ApiError && error.status === 404)) throw error;
    return;
  }
  $('faults-section').hidden = false;
  $('nav-faults').hidden = false;
  $('faults').replaceChildren(...(answer.faults.length ? answer.faults.map((rule) =>
    element('li', {'data-fault-id': rule.id}, ruleWords(rule), ' ',
      element('button', {type: 'button', onclick: async () => {
        try {
          await api(`/api/faults/${encodeURIComponent(rule.id)}`, {method: 'DELETE'});
          say($('fault-said'), 'removed');
        } catch (error) {
          say($('fault-said'), `not removed: ${error.message}`, true);
        }
        await loadFaults();
      }}, 'remove')))
    : [element('li', {class: 'muted'}, 'No rule: the endpoint answers by its own rules alone.')]));
}

async function addFault(event) {
  event.preventDefault();
  const form = $('fault-form');
  const value = (name) => form.elements[name].value.trim();
  const number = (name) => value(name) === '' ? undefined : Number(value(name));
  const match = {};
  for (const name of ['token', 'tokenPrefix', 'path', 'pushType', 'environment']) {
    if (value(name)) match[name] = value(name);
  }
  const rule = {match, action: value('action')};
  if (rule.action === 'answer') {
    rule.status = number('status');
    if (value('reason')) rule.reason = value('reason');
    if (number('retryAfterSeconds') !== undefined) rule.retryAfterSeconds = number('retryAfterSeconds');
  }
  if (number('delaySeconds') !== undefined) rule.delaySeconds = number('delaySeconds');
  if (number('times') !== undefined) rule.times = number('times');
  try {
    const added = await api('/api/faults', json('POST', rule));
    say($('fault-said'), `added rule ${added.id}`);
    await loadFaults();
  } catch (error) {
    say($('fault-said'), `not added: ${error.message}`, true);
  }
}

// --- start ------------------------------------------------------------------------------------

async function loadAll() {
  const [activities, tallies, pushes] = await Promise.all([
    api('/api/activities?limit=10000'), api('/api/tallies?limit=10000'),
    api('/api/pushes?limit=' + keptPushes)]);
  state.pushes = pushes;
  const open = new Set([...state.activities.values()].filter((e) => e.open).map((e) => e.record.id));
  const first = state.activities.size === 0;
  state.activities.clear();
  $('activities').replaceChildren();
  for (const record of activities) trackActivity(record, tallies[record.id]);
  // At first the newest activity is open: the page shows what it is there for at once.
  if (first && activities.length) open.add(orderedEntries()[0].record.id);
  for (const id of open) {
    const entry = state.activities.get(id);
    if (!entry) continue;
    entry.open = true;
    buildDetail(entry);
  }
  for (const entry of state.activities.values()) updateRow(entry);
  renderRows();
  updateTargets();
  renderLog();
  await Promise.all([...state.activities.values()].filter((e) => e.open).map(drawActivity));
}

let listenDelay = 500;

// The page listens for as long as it is open. The browser retries a stream that ended at its own
// pace but gives up for good after a refusal (a 503 while other pages hold every slot): the page
// takes over either way, waiting longer each time, and reloads what it missed meanwhile.
function listen(again = false) {
  const events = new EventSource('/api/events');
  events.addEventListener('open', () => {
    say($('connection'), 'live');
    listenDelay = 500;
    if (again) loadAll().catch(() => {});
  });
  events.addEventListener('error', () => {
    events.close();
    say($('connection'), 'reconnecting…', true);
    setTimeout(() => listen(true), listenDelay);
    listenDelay = Math.min(2 * listenDelay, 30000);
  });
  events.addEventListener('push', (event) => pushArrived(JSON.parse(event.data)));
  events.addEventListener('reset', () => loadAll());
}

function fillChoices(select, values, chosen, words = (v) => v) {
  for (const value of values) select.append(element('option', {value}, words(value)));
  if (values.includes(chosen)) select.value = chosen;
}

async function start() {
  state.info = await api('/api/info');
  $('push-url').textContent = state.info.pushUrl;
  $('certificate').textContent = state.info.certificate;
  if (state.info.endpoints && state.info.endpoints.production !== null) {
    $('production-port').textContent = String(state.info.endpoints.production);
    $('production').hidden = false;
  }
  $('unsigned').hidden = state.info.signatureChecked !== false;
  const kept = state.info.history;
  $('log-kept').textContent = `The history keeps ${kept.keepDays ? `the last ${kept.keepDays} days` : 'every day'}` +
    `${kept.keepPushes ? `, at most ${kept.keepPushes.toLocaleString()} pushes` : ''}` +
    (kept.dropped ? `; ${kept.dropped.toLocaleString()} older pushes were dropped.` : '.');
  fillChoices($('device'), state.info.devices, state.device);
  fillChoices($('text-size'), state.info.textSizes || ['Large'], state.textSize);
  fillChoices($('surface'), state.info.surfaces || ['phone'], state.surface, (s) =>
    s === 'phone' ? "the phone's five" : s === 'everything' ? 'every surface' : presentationLabels[s] || s);
  for (const type of state.info.types) $('editor-type').append(element('option', {value: type}, type));
  fillChoices($('log-verdict'), Object.keys(verdictWords), '', (v) => verdictWords[v]);
  for (const [id, key] of [['device', 'device'], ['text-size', 'textSize'], ['surface', 'surface']]) {
    $(id).addEventListener('change', () => {
      state[key] = $(id).value;
      redrawAll();
    });
  }
  $('activities-filter').addEventListener('input', renderRows);
  $('activities-all').addEventListener('click', () => {
    state.showAllRows = !state.showAllRows;
    renderRows();
  });
  for (const id of ['log-verdict', 'log-activity']) $(id).addEventListener('change', renderLog);
  for (const id of ['log-token', 'log-text']) $(id).addEventListener('input', renderLog);
  $('log-all').addEventListener('click', () => {
    state.logShown += 200;
    renderLog();
  });
  $('editor').addEventListener('input', schedulePreview);
  $('editor-type').addEventListener('change', runPreview);
  $('editor-target').addEventListener('change', runPreview);
  $('editor-send').addEventListener('click', sendFromEditor);
  $('editor-start').addEventListener('click', startFromEditor);
  $('import-file').addEventListener('change', () => {
    const file = $('import-file').files[0];
    if (file) importFile(file);
  });
  const section = $('editor-section');
  section.addEventListener('dragover', (event) => event.preventDefault());
  section.addEventListener('drop', (event) => {
    event.preventDefault();
    const file = event.dataTransfer.files[0];
    if (file) importFile(file);
  });
  $('zoom-close').addEventListener('click', () => $('zoom').close());
  $('clock-hour').addEventListener('click', () => moveClock({advanceSeconds: 3600}));
  $('clock-eight').addEventListener('click', () => moveClock({advanceSeconds: 8 * 3600}));
  $('clock-now').addEventListener('click', () => moveClock({offsetSeconds: 0}));
  $('clock-go').addEventListener('click', () => {
    const seconds = durationSeconds($('clock-free').value);
    if (seconds === null) {
      say($('clock-said'), 'say how far: 90m, 2h, 1d, or seconds', true);
      return;
    }
    moveClock({advanceSeconds: seconds});
  });
  $('fault-form').addEventListener('submit', addFault);
  listen();
  await Promise.all([loadAll(), loadClock(), loadDevices(), loadFaults()]);
}

start().catch((error) => { say($('connection'), `cannot load: ${error.message}`, true); });
