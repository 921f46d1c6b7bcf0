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
};
const verdictWords = {
  applied: '✓ applied',
  ended: '■ ended',
  ignored: '○ ignored',
  dropped: '✕ dropped',
  rejected: '✕ rejected',
  'not-started': '✕ not started',
  throttled: '◌ throttled',
  stored: '… stored',
  'delivered-late': '✓ delivered late',
  expired: '✕ expired',
};
const shownActivities = 20;
const shownPushes = 200;

const state = {
  info: null,
  device: 'iphone-15-pro',
  activities: new Map(),  // id -> {record, steps, step, following, card}
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
  for (const child of children) {
    if (child === undefined || child === null || child === false) continue;
    node.append(child instanceof Node ? child : String(child));
  }
  return node;
}

async function api(path, options) {
  const response = await fetch(path, options);
  const text = await response.text();
  let body = null;
  try { body = text ? JSON.parse(text) : null; } catch { body = text; }
  if (!response.ok) {
    const why = body && body.error ? body.error : `${response.status} ${response.statusText}`;
    throw new Error(why);
  }
  return body;
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

// --- drawings ---------------------------------------------------------------------------------

// Drawings by their text: an update changes some presentations and leaves others as they were,
// and a drawing already cleaned is only copied. An SVG document per image costs the browser
// several milliseconds each; drawings in the page cost next to nothing.
const drawings = new Map();
const keptDrawings = 200;
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

function drawing(svg, label) {
  let template = drawings.get(svg);
  if (template) {
    drawings.delete(svg);
  } else {
    template = new DOMParser().parseFromString(svg, 'image/svg+xml').documentElement;
    if (template.localName !== 'svg') return element('p', {}, `${label}: cannot be shown`);
    cleanDrawing(template, `d${++drawingCount}-`);
  }
  drawings.set(svg, template);
  if (drawings.size > keptDrawings) drawings.delete(drawings.keys().next().value);
  const node = document.importNode(template, true);
  node.setAttribute('role', 'img');
  node.setAttribute('aria-label', label);
  return node;
}

// Every presentation of a preview answer, light and dark side by side, with its fit report.
function presentationsView(preview) {
  const box = element('div', {class: 'presentations'});
  for (const p of preview.presentations) {
    const label = presentationLabels[p.presentation] || p.presentation;
    const findings = p.findings.length
      ? element('ul', {class: 'findings', 'aria-label': `${label}: what does not fit`},
                ...p.findings.map((finding) => element('li', {}, finding)))
      : element('p', {class: 'fits'}, 'Fits: nothing truncated, shrunk, clipped or faint.');
    box.append(element('figure', {class: 'presentation', 'data-presentation': p.presentation},
      element('figcaption', {}, label),
      element('div', {class: 'pair'}, drawing(p.light, `${label}, light`),
              drawing(p.dark, `${label}, dark`)),
      findings));
  }
  return box;
}

function preview(text, type) {
  const query = new URLSearchParams({device: state.device});
  if (type) query.set('type', type);
  return api('/api/preview?' + query, {method: 'POST', body: text});
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

function statusOf(record) {
  const now = Date.now() / 1000;
  if (record.ended) {
    if (record.dismissalDate !== null && record.dismissalDate > now) {
      return ['ended', `ended: waiting for dismissal until ${localTime(record.dismissalDate)}`];
    }
    if (record.dismissalDate !== null) return ['ended', 'ended and dismissed'];
    return ['ended', 'ended: the Lock Screen keeps it for up to four hours'];
  }
  if (record.staleDate !== null && record.staleDate < now) {
    return ['stale', `stale since ${localTime(record.staleDate)}`];
  }
  return ['live', 'live'];
}

function tokenRow(name, value) {
  if (!value) return [];
  return [element('dt', {}, name),
          element('dd', {}, element('code', {}, value), ' ', copyButton('copy', value))];
}

function activityCard(entry) {
  const record = entry.record;
  const [kind, words] = statusOf(record);
  const steps = entry.steps;
  const card = element('article', {class: 'activity', 'data-activity-id': record.id,
                                   'aria-label': `${record.type} ${record.id}`});
  card.append(element('h3', {}, record.type, ' ', element('span', {class: `badge ${kind}`}, words)));
  card.append(element('dl', {},
    element('dt', {}, 'activity'), element('dd', {}, element('code', {}, record.id)),
    ...tokenRow('device token', record.deviceToken),
    ...tokenRow('update token', record.updateToken),
    ...tokenRow('channel', record.channel),
    element('dt', {}, 'started'), element('dd', {}, localTime(record.created))));
  // The last push that reached it, shown or not: a dropped or ignored one is the news.
  const last = entry.lastPush;
  if (last) {
    card.append(element('p', {class: `last-push ${last.verdict}`, 'data-verdict': last.verdict},
      'last push: ', element('span', {class: 'verdict'}, verdictWords[last.verdict] || last.verdict),
      ` ${localTime(last.time)}`, last.error ? element('span', {class: 'error'}, ` ${last.error}`) : null));
  }

  const position = element('span', {class: 'muted'});
  const slider = element('input', {type: 'range', min: 0, max: Math.max(steps.length - 1, 0),
                                   value: entry.step, 'aria-label': 'Step of the timeline'});
  const go = (step) => {
    entry.step = Math.max(0, Math.min(steps.length - 1, step));
    entry.following = entry.step === steps.length - 1;
    refreshCard(entry, false);
  };
  slider.addEventListener('input', () => go(Number(slider.value)));
  const step = steps[entry.step];
  position.textContent = steps.length
    ? `update ${entry.step + 1} of ${steps.length}` + (step ? `, ${localTime(step.time)}` : '')
    : 'no update shown yet';
  card.append(element('div', {class: 'timeline'},
    element('button', {type: 'button', onclick: () => go(entry.step - 1),
                       disabled: entry.step <= 0}, '◀ earlier'),
    slider,
    element('button', {type: 'button', onclick: () => go(entry.step + 1),
                       disabled: entry.step >= steps.length - 1}, 'later ▶'),
    position,
    element('a', {href: `/api/activities/${record.id}/timeline`, download: ''},
            'export timeline (.jsonl)')));
  return card;
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

// Whether the activity shows a push it was given: its timeline holds it. A push after the end is
// `ended` too, and not shown.
function shows(push) {
  return push.shown === true;
}

async function loadSteps(entry) {
  const pushes = await api(`/api/activities/${entry.record.id}/pushes`);
  entry.steps = [];
  for (const push of pushes) if (shows(push)) addStep(entry, push);
  if (pushes.length) entry.lastPush = pushes[pushes.length - 1];
  if (entry.following || entry.step >= entry.steps.length) {
    entry.step = Math.max(entry.steps.length - 1, 0);
  }
}

// Draws a card again; with `reload`, after fetching the activity and its timeline anew.
async function refreshCard(entry, reload) {
  if (entry.busy) { entry.again = entry.again || reload; return; }
  entry.busy = true;
  entry.reloading = reload;
  // The pushes this drawing shows; those that arrive meanwhile wait for the next.
  const covered = state.waiting.get(entry.record.id) || [];
  state.waiting.delete(entry.record.id);
  try {
    if (reload) {
      entry.record = await api(`/api/activities/${entry.record.id}`);
      await loadSteps(entry);
    }
    const card = activityCard(entry);
    const step = entry.steps[entry.step];
    const contentState = step ? step.contentState : entry.record.state;
    if (contentState !== null && contentState !== undefined) {
      const input = stepInput(entry.record, contentState);
      const answer = await preview(input.text, input.type);
      card.append(presentationsView(answer));
    }
    if (entry.card && entry.card.isConnected) entry.card.replaceWith(card);
    else placeCard(entry, card);
    entry.card = card;
  } catch (error) {
    $('connection').textContent = `cannot draw an activity: ${error.message}`;
  } finally {
    entry.busy = false;
    entry.reloading = false;
  }
  painted(covered);
  if (entry.again !== undefined) {
    const reloadAgain = entry.again;
    entry.again = undefined;
    refreshCard(entry, reloadAgain);
  }
}

function placeCard(entry, card) {
  const list = $('activities');
  // Newest first: a card goes before the first card of an older activity.
  for (const other of list.children) {
    const otherEntry = state.activities.get(other.dataset.activityId);
    if (otherEntry && otherEntry.record.created < entry.record.created) {
      list.insertBefore(card, other);
      return;
    }
  }
  list.append(card);
}

function trackActivity(record) {
  let entry = state.activities.get(record.id);
  if (!entry) {
    entry = {record, steps: [], step: 0, following: true, card: null};
    state.activities.set(record.id, entry);
    updateTargets();
  }
  $('activities-empty').hidden = true;
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
  const select = $('editor-target');
  const chosen = select.value;
  select.replaceChildren();
  for (const entry of [...state.activities.values()].reverse()) {
    const r = entry.record;
    select.append(element('option', {value: r.id}, `${r.type} ${r.id.slice(0, 8)}`));
  }
  if (chosen) select.value = chosen;
  $('editor-send').disabled = select.options.length === 0;
}

// --- the push log -----------------------------------------------------------------------------

// The body comes from printf through a pipe: no here-document whose end a stored line could
// fake, and no @file that curl would read.
function curlCommand(push, real) {
  const body = printfCommand(payloadText(push.payload)) + ' |\n';
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
  for (const [name, value] of Object.entries(push.headers || {})) {
    // A name that is no header name (curl reads "-H @file" as a file of headers) stays out.
    if (name === 'authorization' || name === 'content-length' ||
        !/^[a-z0-9!#$%&'*+.^_`|~-]+$/i.test(name)) continue;
    lines.push(`-H ${shellQuote(`${name}: ${value}`)}`);
  }
  lines.push('-H "authorization: bearer $JWT"');
  lines.push(`--data-binary @- ${url}`);
  return body + lines.join(' \\\n  ');
}

function pushEntry(push) {
  const verdict = push.verdict || 'rejected';
  // Status 0: a fault rule closed the connection (GOAWAY with its reason) or reset the stream.
  const status = push.status ? push.status + (push.reason ? ` ${push.reason}` : '')
                             : (push.reason ? `GOAWAY ${push.reason}` : 'stream reset');
  const entry = element('li', {class: `push ${verdict}`, 'data-apns-id': push.apnsId,
                               'data-verdict': verdict});
  entry.append(element('div', {class: 'summary'},
    element('span', {class: 'verdict'}, verdictWords[verdict] || verdict),
    element('span', {}, localTime(push.time)),
    element('span', {}, 'status ', element('code', {}, status)),
    element('span', {}, 'apns-id ', element('code', {}, push.apnsId)),
    push.token ? element('span', {}, 'token ', element('code', {title: push.token},
                                                            push.token.slice(0, 16) + '…'))
               : null));
  if (push.error) entry.append(element('p', {class: 'error'}, push.error));
  if (push.warnings && push.warnings.length) {
    entry.append(element('ul', {class: 'warnings', 'aria-label': 'sender warnings'},
      ...push.warnings.map((warning) => element('li', {}, 'warning: ' + warning))));
  }
  const formatted = typeof push.payload === 'string' || push.payload === null
    ? String(push.payload ?? '(no body)') : JSON.stringify(push.payload, null, 2);
  const command = () => curlCommand(push, $('curl-real').checked);
  entry.append(element('details', {},
    element('summary', {}, 'payload and curl'),
    element('pre', {class: 'payload'}, formatted),
    element('pre', {class: 'curl'}, curlCommand(push, false))));
  entry.append(element('p', {}, copyButton('copy as curl', command),
    push.payload !== null ? ' ' : null,
    push.payload !== null ? element('button', {type: 'button', onclick: () => {
      $('editor').value = formatted;
      if (push.activityId) $('editor-target').value = push.activityId;
      schedulePreview();
      $('editor').focus();
    }}, 'edit') : null));
  return entry;
}

function addPush(push) {
  const log = $('log');
  log.prepend(pushEntry(push));
  while (log.children.length > shownPushes) log.lastElementChild.remove();
}

// A push as it is answered, with each activity it reached as the push left it.
function pushArrived({push, activities}) {
  addPush(push);
  if (!activities.length || push.status >= 300) {
    painted([push.apnsId]);
    return;
  }
  for (const activity of activities) {
    const delivery = push.deliveries.find((d) => d.activityId === activity.id);
    activityReached(activity, {...push, verdict: delivery ? delivery.verdict : push.verdict,
                               shown: delivery ? delivery.shown : push.shown});
  }
}

function activityReached(activity, push) {
  const waiting = state.waiting.get(activity.id) || [];
  waiting.push(push.apnsId);
  state.waiting.set(activity.id, waiting);
  const known = state.activities.get(activity.id);
  const entry = known || trackActivity(activity);
  entry.record = activity;
  entry.lastPush = push;
  if (!known) {
    refreshCard(entry, true);
    return;
  }
  // A timeline still loading may or may not hold this push: load it again.
  if (entry.reloading) {
    refreshCard(entry, true);
    return;
  }
  if (shows(push)) addStep(entry, push);
  refreshCard(entry, false);
}

// --- the editor -------------------------------------------------------------------------------

let previewTimer = 0;
let previewSeq = 0;

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
    answer = await preview(text, editorType(text));
  } catch (error) {
    if (seq !== previewSeq) return;
    result.className = 'refused';
    result.textContent = `cannot preview: ${error.message}`;
    return;
  }
  if (seq !== previewSeq) return;
  const drawn = presentationsView(answer);
  const warnings = answer.warnings.map((w) => element('li', {}, 'warning: ' + w));
  if (answer.accepted) {
    result.className = 'accepted';
    result.replaceChildren('✓ accepted' + (answer.presentations.length ? '' :
                           ': it holds no content state to draw'),
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
  $('editor-preview').replaceChildren(drawn);
}

async function sendFromEditor() {
  const sent = $('editor-sent');
  const id = $('editor-target').value;
  if (!id) { sent.textContent = 'no activity to send to: start one first'; return; }
  try {
    const push = await api(`/api/activities/${id}/pushes`, {method: 'POST', body: $('editor').value});
    sent.textContent = `${push.status}${push.reason ? ' ' + push.reason : ''}, ${push.verdict}` +
                       (push.error ? `: ${push.error}` : '');
  } catch (error) {
    sent.textContent = `not sent: ${error.message}`;
  }
}

async function startFromEditor() {
  const sent = $('editor-sent');
  try {
    const record = await api('/api/activities', {method: 'POST', body: $('editor').value});
    sent.textContent = `started ${record.type} ${record.id.slice(0, 8)}`;
    $('editor-target').value = record.id;
  } catch (error) {
    sent.textContent = `not started: ${error.message}`;
  }
}

async function importFile(file) {
  const sent = $('editor-sent');
  if (file.size > 1 << 20) { sent.textContent = `${file.name} is larger than 1 MB`; return; }
  const text = await file.text();
  if (!file.name.endsWith('.jsonl')) {
    $('editor').value = text;
    runPreview();
    sent.textContent = `${file.name} is in the editor`;
    return;
  }
  try {
    const type = $('editor-type').value;
    const results = await api('/api/timelines' + (type ? '?type=' + encodeURIComponent(type) : ''),
                              {method: 'POST', body: text});
    const failed = results.filter((r) => r.error || (r.push && r.push.verdict !== 'applied' &&
                                                     r.push.verdict !== 'ended')).length;
    sent.textContent = `${file.name}: replayed ${results.length} lines` +
                       (failed ? `, ${failed} not applied (see the push log)` : '');
  } catch (error) {
    sent.textContent = `${file.name} not replayed: ${error.message}`;
  }
}

// --- start ------------------------------------------------------------------------------------

async function loadAll() {
  const [activities, pushes] = await Promise.all([api('/api/activities'),
                                                  api('/api/pushes?limit=' + shownPushes)]);
  $('log').replaceChildren();
  for (const push of pushes.reverse()) addPush(push);
  $('activities').replaceChildren();
  state.activities.clear();
  for (const record of activities.slice(0, shownActivities).reverse()) trackActivity(record);
  $('activities-empty').hidden = activities.length > 0;
  updateTargets();
  await Promise.all([...state.activities.values()].map((entry) => refreshCard(entry, true)));
}

let listenDelay = 500;

// The page listens for as long as it is open. The browser retries a stream that ended at its own
// pace but gives up for good after a refusal (a 503 while other pages hold every slot): the page
// takes over either way, waiting longer each time, and reloads what it missed meanwhile.
function listen(again = false) {
  const events = new EventSource('/api/events');
  events.addEventListener('open', () => {
    $('connection').textContent = 'live';
    listenDelay = 500;
    if (again) loadAll().catch(() => {});
  });
  events.addEventListener('error', () => {
    events.close();
    $('connection').textContent = 'reconnecting…';
    setTimeout(() => listen(true), listenDelay);
    listenDelay = Math.min(2 * listenDelay, 30000);
  });
  events.addEventListener('push', (event) => pushArrived(JSON.parse(event.data)));
  events.addEventListener('reset', () => loadAll());
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
  for (const device of state.info.devices) $('device').append(element('option', {value: device}, device));
  for (const type of state.info.types) $('editor-type').append(element('option', {value: type}, type));
  $('device').addEventListener('change', () => {
    state.device = $('device').value;
    for (const entry of state.activities.values()) refreshCard(entry, false);
    runPreview();
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
  listen();
  await loadAll();
}

start().catch((error) => { $('connection').textContent = `cannot load: ${error.message}`; });
