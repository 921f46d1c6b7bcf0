// The live page in a real browser (Debian's chromium, or with `firefox` Debian's firefox-esr),
// with pushes from a real sender's library: each activity a summary row that counts what it did
// not apply, every activity reachable, drawings at their size and full size on click, the push
// log filtered, the editor's inference and aim, focus kept, hostile text inert, and the time from
// a push's answer to its paint measured.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { generateKeyPairSync, randomUUID } from 'node:crypto';
import { readFileSync, writeFileSync } from 'node:fs';
import http from 'node:http';
import { dirname, join } from 'node:path';
import apn from '@parse/node-apn';
import { launch } from './browser_driver.mjs';
import { binary, getJson, scratch, startServe } from './serve_process.mjs';

const engine = process.argv[2] || 'chromium';
const dir = scratch();
const bundle = 'com.tolvex.app';
// A budget no update of this test meets: the page is what is tested here, not the budgets.
const server = await startServe(join(dir, 'serve'), ['--bundle-id', bundle, '--priority10-budget', '100000']);
const key = generateKeyPairSync('ec', { namedCurve: 'prime256v1' }).privateKey
  .export({ type: 'pkcs8', format: 'pem' });
const apns = new apn.Provider({
  token: { key, keyId: 'ABC123DEFG', teamId: 'DEF123GHIJ' }, production: false,
  address: 'localhost', port: server.port, ca: server.ca });

const presentations = ['lockscreen', 'expanded', 'compact-leading', 'compact-trailing', 'minimal'];
const device = 'feed'.repeat(16);
let clock = Math.floor(Date.now() / 1000);
const download = { progress: 0.1, statusText: 'Downloading', fileName: 'demo.zip',
                   transferredText: '4.8 MB', totalText: '48.0 MB', etaText: '2 min' };
const signState = { progress: 0.5, statusText: 'Signing', appName: 'Demo',
                    detailText: 'Applying entitlements' };

// Sends one push and returns when it is answered, with the time of the answer.
async function send(token, fields) {
  const note = new apn.Notification();
  note.pushType = 'liveactivity';
  note.topic = `${bundle}.push-type.liveactivity`;
  note.id = randomUUID();
  Object.assign(note, { timestamp: ++clock }, fields);
  const result = await apns.send(note, token);
  return { apnsId: note.id, answered: Date.now(), result };
}

async function pageApi(path, options = {}) {
  const response = await fetch(server.page + path, { ...options, signal: AbortSignal.timeout(30_000) });
  const text = await response.text();
  return { status: response.status, body: text ? JSON.parse(text) : null };
}

// The panels of endpoints this serve lacks hide themselves on a 404: nothing else fails.
const expected = (r) => /^404 .*\/api\/(devices|clock|faults)$/.test(r);
const row = (id) => `tr.activity-row[data-activity-id="${id}"]`;
const detail = (id) => `tr.activity-detail[data-activity-id="${id}"]`;
const text = (page, selector) => page.evaluate((s) => document.querySelector(s)?.textContent ?? null, selector);
const count = (page, selector) => page.evaluate((s) => document.querySelectorAll(s).length, selector);

const launchedAt = Date.now();
const browser = await launch(engine);
const failures = [];
try {
  const page = await browser.newPage({ width: 1440, height: 1100 });
  await page.goto(server.page + '/');
  await page.wait(() => document.getElementById('connection').textContent === 'live');

  // A start from the sender's library: a row named by its file, opened, with its five
  // presentations, light and dark, each at least at its size in points.
  const start = await send(device, {
    event: 'start', attributesType: 'DownloadLiveActivityAttributes',
    attributes: { taskId: 'download-page' }, contentState: download, inputPushToken: 1,
    alert: { title: 'Download', body: 'demo.zip' } });
  assert.equal(start.result.failed.length, 0, JSON.stringify(start.result.failed));
  const activity = (await getJson(server, '/api/activities'))[0];
  assert.equal(activity.type, 'DownloadLiveActivityAttributes');
  await page.wait((s) => document.querySelectorAll(`${s} [data-presentation="minimal"] .pair > svg`).length === 2,
                  detail(activity.id));
  assert.equal(await text(page, `${row(activity.id)} .name button`), 'demo.zip');
  assert.equal(await text(page, `${row(activity.id)} .type`), 'Download');
  assert.equal(await text(page, `${row(activity.id)} .phase`), 'live');
  for (const name of presentations) {
    const sizes = await page.evaluate(([s, n]) => [...document.querySelectorAll(
      `${s} [data-presentation="${n}"] .pair > svg`)].map((svg) => ({
      width: svg.getBoundingClientRect().width, points: svg.viewBox.baseVal.width })), [detail(activity.id), name]);
    assert.equal(sizes.length, 2, name);
    for (const size of sizes) assert.ok(size.width >= size.points - 0.5, `${name}: ${JSON.stringify(size)}`);
  }

  // An update the device cannot decode (dropped) and one older than the last (ignored): the log
  // says why in words, and the row counts both.
  const bad = await send(activity.updateToken, {
    event: 'update', contentState: { ...download, progress: 'half' } });
  const old = await send(activity.updateToken, {
    event: 'update', timestamp: clock - 100, contentState: { ...download, progress: 0.2 } });
  await page.wait(([s, id]) => document.querySelector(`${s} .counts`)?.textContent === '1 dropped, 1 ignored' &&
                  document.querySelector(`li.push[data-apns-id="${id}"]`), [row(activity.id), old.apnsId]);
  assert.equal(await page.evaluate((s) => document.querySelector(`${s} .last`).dataset.verdict, row(activity.id)),
               'ignored');
  const dropped = `li.push[data-apns-id="${bad.apnsId}"]`;
  assert.equal(await page.evaluate((s) => document.querySelector(s).dataset.verdict, dropped), 'dropped');
  assert.match(await text(page, `${dropped} .error`),
               /why: typeMismatch: "aps\.content-state\.progress": expected a number/);
  assert.equal(await text(page, `${dropped} .activity-link`), `demo.zip · Download · ${activity.id.slice(0, 8)}`);
  assert.equal(await page.evaluate((s) => getComputedStyle(document.querySelector(s)).color !==
    getComputedStyle(document.body).color, `${dropped} .error`), true, 'an error looks like one');

  // Hostile text is shown as text and runs nothing.
  const hostile = '<img src=x onerror="window.hacked=1;alert(1)"><script>window.hacked=2</script>';
  const evil = await send(activity.updateToken, {
    event: 'update', contentState: { ...download, statusText: hostile, fileName: hostile } });
  await page.wait((id) => document.querySelector(`li.push[data-apns-id="${id}"]`), evil.apnsId);
  await page.wait((s) => document.querySelector(`${s} .name button`)?.textContent.startsWith('<img'), row(activity.id));
  assert.equal(await page.evaluate(() => window.hacked), undefined);
  assert.equal(await count(page, 'script, foreignObject, iframe, [onerror], [onload]'), 1);  // page.js alone
  assert.deepEqual(page.dialogs, []);
  assert.ok((await text(page, `li.push[data-apns-id="${evil.apnsId}"] pre.payload`)).includes(JSON.stringify(hostile)));

  // Push to paint: one update at a time, from its answer to the frame that shows it, a time the
  // page takes itself. Only the drawings that changed are drawn again. The page is asked once
  // and answers when the frame has come: asking every few milliseconds through WebDriver BiDi
  // kept Firefox's parent process, where the page's requests start, busy, and the figure
  // measured the test. Timing starts once the browser has run for 12 s, as a page one keeps
  // open has: in its first seconds Firefox now and then holds a request back 60 to 95 ms before
  // it leaves the browser, whatever the page does. Three untimed updates then wake the page.
  await new Promise((resolve) => setTimeout(resolve, Math.max(0, launchedAt + 12_000 - Date.now())));
  const latencies = [];
  let kept = 0;
  for (let i = -3; i < 60; ++i) {
    await page.evaluate((s) => { for (const svg of document.querySelectorAll(`${s} svg`)) svg.tolvexOld = true; },
                        detail(activity.id));
    const update = await send(activity.updateToken, {
      event: 'update', contentState: { ...download, progress: (i + 4) / 64 } });
    const at = await page.evaluate((id) => new Promise((done, fail) => {
      const until = Date.now() + 20_000;
      const look = () => {
        const paint = window.tolvexPaints.find((p) => p.apnsId === id);
        if (paint) done(paint.at);
        else if (Date.now() > until) fail(new Error(`no paint for ${id}`));
        else setTimeout(look, 20);
      };
      look();
    }), update.apnsId);
    if (i >= 0) latencies.push(at - update.answered);
    kept += await page.evaluate((s) => [...document.querySelectorAll(`${s} svg`)].filter((svg) => svg.tolvexOld).length,
                                detail(activity.id));
  }
  latencies.sort((a, b) => a - b);
  const q = (f) => latencies[Math.min(latencies.length - 1, Math.floor(f * latencies.length))];
  console.log(`${engine}: push to paint over ${latencies.length} updates: p50 ${q(0.5)} ms, ` +
              `p90 ${q(0.9)} ms, p99 ${q(0.99)} ms, max ${latencies[latencies.length - 1]} ms`);
  // The figure is reported; what fails the test is a page that stops following pushes.
  assert.ok(q(0.99) < 2000, `push to paint p99 ${q(0.99)} ms`);
  // A progress changes the Lock Screen, the expanded island and the trailing ring; the minimal
  // and leading presentations often stay as they were.
  assert.ok(kept > 0, 'some drawings stay as they were across updates');

  // The server sends only the drawings the page lacks.
  {
    const query = new URLSearchParams({ type: 'DownloadLiveActivityAttributes.ContentState' });
    const whole = await pageApi('/api/preview?' + query, { method: 'POST', body: JSON.stringify(download) });
    const keys = whole.body.presentations.flatMap((p) => [p.lightKey, p.darkKey]);
    query.set('have', keys.join(','));
    const again = await fetch(`${server.page}/api/preview?${query}`, { method: 'POST', body: JSON.stringify(download),
                                                                       signal: AbortSignal.timeout(30_000) });
    const answer = await again.text();
    assert.ok(JSON.parse(answer).presentations.every((p) => p.light === null && p.dark === null));
    console.log(`a preview answer: ${JSON.stringify(whole.body).length} bytes whole, ${answer.length} with every drawing known`);
  }

  // The timeline steps back through the applied updates, and the button keeps the focus.
  const position = `${detail(activity.id)} .timeline .position`;
  const before = await text(page, position);
  await page.click(`${detail(activity.id)} .timeline button.earlier`);
  await page.wait(([s, t]) => document.querySelector(s).textContent !== t, [position, before]);
  assert.match(await text(page, position), /^update \d+ of \d+/);
  assert.equal(await page.evaluate(() => document.activeElement.className), 'earlier');
  await page.click(`${detail(activity.id)} .timeline button.later`);
  assert.equal(await page.evaluate(() => document.activeElement.className), 'later');

  // Any drawing opens at three times its size, light and dark side by side.
  await page.click(`${detail(activity.id)} [data-presentation="lockscreen"] button.zoom`);
  await page.wait(() => document.getElementById('zoom').open);
  const zoomed = await page.evaluate(() => [...document.querySelectorAll('#zoom svg')].map((svg) => ({
    width: svg.getBoundingClientRect().width, points: svg.viewBox.baseVal.width,
    label: svg.getAttribute('aria-label') })));
  assert.deepEqual(zoomed.map((z) => z.label), ['Lock Screen, light', 'Lock Screen, dark']);
  for (const z of zoomed) assert.ok(Math.abs(z.width - 3 * z.points) < 1, JSON.stringify(z));
  await page.click('#zoom-close');
  await page.wait(() => !document.getElementById('zoom').open);

  // Findings a sender can act on come first; the advice on the platform's colours is folded.
  assert.equal(await count(page, `${detail(activity.id)} details.advice[open]`), 0);

  // The editor: a broken input is refused with its place marked, a valid one drawn.
  await page.select('#editor-type', 'SignLiveActivityAttributes.ContentState');
  await page.fill('#editor', '{"progress": 0.5,\n "statusText": "Signing",\n "appName": }');
  await page.wait(() => document.querySelector('#editor-result.refused'));
  assert.match(await text(page, '#editor-result'), /invalid JSON at line 3, column 13/);
  assert.equal(await text(page, '#editor-mark'), 'line 3:  "appName": }');
  assert.equal(await text(page, '#editor-mark mark'), '}');
  await page.fill('#editor', '{"statusText": "Signé ✓ 🔏", "progress": "x", "appName": "Demo"}');
  await page.wait(() => /typeMismatch/.test(document.getElementById('editor-result').textContent));
  assert.equal(await text(page, '#editor-mark mark'), '"progress": "x"');

  // A content state with no type chosen: the one type that reads it is the one meant, and it
  // starts with default attributes. No command-line words on the page.
  await page.select('#editor-type', '');
  await page.fill('#editor', JSON.stringify(signState));
  await page.wait(() => document.querySelector('#editor-result.accepted'));
  assert.match(await text(page, '#editor-result'), /as SignLiveActivityAttributes\.ContentState/);
  await page.wait(() => document.querySelectorAll('#editor-preview [data-presentation]').length === 5);
  assert.doesNotMatch(await text(page, '#editor-section'), /--[a-z]/);
  await page.click('#editor-start');
  await page.wait(() => /^started Demo/.test(document.getElementById('editor-sent').textContent));
  assert.ok(!(await page.evaluate(() => document.getElementById('editor-sent').classList.contains('error'))));

  // The phone's choosers: another device, text size and surface are drawn as asked.
  const width = () => page.evaluate(() => document
    .querySelector('#editor-preview [data-presentation="lockscreen"] svg').viewBox.baseVal.width);
  const narrow = await width();
  await page.select('#device', 'iphone-15-pro-max');
  await page.wait((w) => document.querySelector('#editor-preview [data-presentation="lockscreen"] svg')
    ?.viewBox.baseVal.width > w, narrow);
  const large = await page.evaluate(() => document.querySelector('#editor-preview [data-presentation="lockscreen"]').dataset.light);
  await page.select('#text-size', 'AX3');
  await page.wait((k) => document.querySelector('#editor-preview [data-presentation="lockscreen"]')?.dataset.light !== k, large);
  await page.select('#surface', 'standby');
  await page.wait(() => [...document.querySelectorAll('#editor-preview [data-presentation]')]
    .map((f) => f.dataset.presentation).join() === 'standby');
  assert.equal(await count(page, '#device option'), 16);
  for (const [id, value] of [['#device', 'iphone-15-pro'], ['#text-size', 'Large'], ['#surface', 'phone']]) {
    await page.select(id, value);
  }

  // The editor sends a push to the chosen activity through the endpoint's own path.
  await page.select('#editor-target', activity.id);
  await page.fill('#editor', JSON.stringify({ aps: { event: 'update', timestamp: ++clock,
    'content-state': { ...download, progress: 0.9, statusText: 'Almost there' } } }));
  await page.wait(() => document.querySelector('#editor-result.accepted'));
  await page.click('#editor-send');
  await page.wait(() => /applied/.test(document.getElementById('editor-sent').textContent));

  // Copy as curl: the push's own headers only, a fresh timestamp, and the command sends the push
  // again (a provider token from `tolvex-widget token` unless $JWT is set).
  await page.click(`li.push[data-apns-id="${start.apnsId}"] details > summary`);
  // The command is written when the details open, in the toggle event that follows the click.
  const curl = await page.wait((s) => document.querySelector(s)?.textContent || null,
                               `li.push[data-apns-id="${start.apnsId}"] pre.curl`);
  assert.match(curl, /tolvex-widget token --key 'AuthKey_ABC123DEFG\.p8' --key-id 'ABC123DEFG' --team-id 'DEF123GHIJ'/);
  assert.match(curl, /apns-topic: com\.tolvex\.app\.push-type\.liveactivity/);
  assert.doesNotMatch(curl, /user-agent|accept|content-type|content-length/i);
  const jwt = [Buffer.from('{"alg":"ES256","kid":"ABC123DEFG"}').toString('base64url'),
               Buffer.from(`{"iss":"DEF123GHIJ","iat":${Math.floor(Date.now() / 1000)}}`)
                 .toString('base64url'), Buffer.alloc(64, 1).toString('base64url')].join('.');
  // A start to a new device, so the copy starts another activity rather than meeting the first.
  const again = curl.replace(device, 'beef'.repeat(16)).replace(/^curl /m, 'curl -sS -o /dev/null -w "%{http_code}" ');
  const answer = execFileSync('bash', ['-c', again], { env: { ...process.env, JWT: jwt }, timeout: 30_000 }).toString();
  assert.equal(answer, '200', again);
  const [copied] = await getJson(server, '/api/pushes?limit=1');
  const original = (await getJson(server, `/api/activities/${activity.id}/pushes`))[0];
  assert.equal(original.apnsId, start.apnsId);
  assert.ok(copied.payload.aps.timestamp > original.payload.aps.timestamp, 'a fresh timestamp');
  assert.deepEqual({ ...copied.payload, aps: { ...copied.payload.aps, timestamp: 0 } },
                   { ...original.payload, aps: { ...original.payload.aps, timestamp: 0 } });

  // Export of the timeline, read back by the command line.
  const timeline = await (await fetch(`${server.page}/api/activities/${activity.id}/timeline`,
                                     { signal: AbortSignal.timeout(10_000) })).text();
  writeFileSync(join(dir, 'exported.jsonl'), timeline);
  execFileSync(binary, ['tree', '--presentation', 'minimal', join(dir, 'exported.jsonl')],
               { stdio: ['ignore', 'ignore', 'inherit'] });

  // Import of a timeline replays it as a new activity of the type its lines name, whatever the
  // Type menu says.
  const rows = await count(page, 'tr.activity-row');
  await page.select('#editor-type', 'SignLiveActivityAttributes.ContentState');
  const jsonl = readFileSync(new URL('../../examples/download-timeline.jsonl', import.meta.url), 'utf8');
  await page.evaluate((content) => {
    const transfer = new DataTransfer();
    transfer.items.add(new File([content], 'download-timeline.jsonl'));
    const input = document.getElementById('import-file');
    input.files = transfer.files;
    input.dispatchEvent(new Event('change', { bubbles: true }));
  }, jsonl);
  await page.wait(() => /replayed/.test(document.getElementById('editor-sent').textContent));
  await page.wait((n) => document.querySelectorAll('tr.activity-row').length > n, rows);
  await page.select('#editor-type', '');

  // "edit" on a push of an older activity aims "send to" at that activity.
  await page.fill('#log-text', bad.apnsId);
  await page.click(`li.push[data-apns-id="${bad.apnsId}"] button.edit`);
  assert.equal(await page.evaluate(() => document.getElementById('editor-target').value), activity.id);
  assert.equal(await page.evaluate(() => document.activeElement.id), 'editor');

  // Sixty activities more: twenty rows at first, a word on the rest, and every one reachable.
  for (let i = 1; i <= 60; ++i) {
    const started = await pageApi('/api/activities', { method: 'POST', body: JSON.stringify({
      'attributes-type': 'SignLiveActivityAttributes', attributes: { taskId: `sign-${i}` },
      'content-state': { ...signState, appName: `App ${i}` } }) });
    assert.equal(started.status, 201);
  }
  const total = (await getJson(server, '/api/activities')).length;
  await page.wait((n) => document.getElementById('activities-count').textContent === `(${n})`, total);
  assert.equal(await count(page, 'tr.activity-row'), 20);
  assert.equal(await text(page, '#activities-shown'), `20 of ${total} shown`);
  await page.click('#activities-all');
  assert.equal(await count(page, 'tr.activity-row'), total);
  await page.fill('#activities-filter', 'App 7');
  assert.equal(await count(page, 'tr.activity-row'), 1);
  await page.fill('#activities-filter', '');
  await page.wait((n) => document.querySelectorAll('#editor-target option').length === n, total);

  // The push log: by verdict, activity, token and text.
  const logCount = () => count(page, '#log > li');
  await page.select('#log-verdict', 'dropped');
  assert.equal(await page.evaluate(() => [...document.querySelectorAll('#log > li')]
    .every((li) => li.dataset.verdict === 'dropped')), true);
  assert.ok(await logCount() >= 1);
  await page.select('#log-verdict', '');
  await page.fill('#log-text', old.apnsId);
  assert.equal(await logCount(), 1);
  await page.fill('#log-text', '');
  await page.fill('#log-token', activity.updateToken.slice(0, 12));
  assert.equal(await page.evaluate((t) => [...document.querySelectorAll('#log > li')]
    .every((li) => li.querySelector('.summary code[title]')?.title === t), activity.updateToken), true);
  await page.fill('#log-token', '');
  await page.select('#log-activity', activity.id);
  const forActivity = await logCount();
  assert.ok(forActivity >= 60 && forActivity < (await getJson(server, '/api/pushes?limit=10000')).length);
  await page.select('#log-activity', '');
  // A log entry leads to its activity.
  await page.fill('#log-text', bad.apnsId);
  await page.click(`${dropped} .activity-link`);
  assert.equal(await page.evaluate(() => document.activeElement.closest('tr')?.dataset.activityId), activity.id);

  // The screenshot the README shows: a fresh page as a sender opens it, the download that heard
  // from a push last on top, open.
  await send(activity.updateToken, { event: 'update', contentState: { ...download, progress: 0.99,
                                                                     etaText: 'a few seconds' } });
  const fresh = await browser.newPage({ width: 1440, height: 1000 });
  await fresh.goto(server.page + '/');
  await fresh.wait(() => document.querySelectorAll('tr.activity-detail [data-presentation] svg').length >= 10);
  await fresh.evaluate(() => new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(resolve))));
  const shot = engine === 'chromium' && process.env.TOLVEX_PAGE_SCREENSHOT ||
               join(process.env.TOLVEX_PAGE_SCREENSHOT ? dirname(process.env.TOLVEX_PAGE_SCREENSHOT) : dir,
                    `page-${engine}.png`);
  await fresh.screenshot(shot);
  console.log(`screenshot: ${shot}`);
  failures.push(...fresh.errors, ...fresh.failedResponses.filter((r) => !expected(r)));
  await fresh.close();

  // The simulated phone's devices and clock, where the endpoint has them.
  if ((await pageApi('/api/devices')).status === 200) {
    await page.wait(() => !document.getElementById('devices-section').hidden &&
                    !document.getElementById('clock').hidden);
    // A device taken offline: its next push is stored, not applied.
    const token = `[data-token="${device}"]`;
    await page.wait((s) => document.querySelector(s), token);
    await page.click(`${token} input[name="online"]`);
    await page.wait(async (t) => !(await (await fetch(`/api/devices/${t}`)).json()).online, device);
    const offline = await send(activity.updateToken, { event: 'update', contentState: { ...download, progress: 0.95 } });
    const stored = (await getJson(server, '/api/pushes?limit=20')).find((p) => p.apnsId === offline.apnsId);
    assert.equal(stored.verdict, 'stored');
    await page.click(`${token} input[name="online"]`);
    await page.wait(async (t) => (await (await fetch(`/api/devices/${t}`)).json()).online, device);

    // An hour on, the stale date (half an hour ahead) has passed; eight more, the phone has ended
    // the activity, and an update that applied before does not.
    const stale = await send(activity.updateToken, { event: 'update', staleDate: Math.floor(Date.now() / 1000) + 1800,
                                                     contentState: { ...download, progress: 0.96 } });
    assert.equal(stale.result.failed.length, 0);
    await page.click('#clock-hour');
    await page.wait(() => /1 h/.test(document.getElementById('clock-offset').textContent));
    await page.wait((s) => document.querySelector(`${s} .phase`)?.textContent === 'stale', row(activity.id));
    assert.equal(await page.evaluate(() => document.activeElement.id), 'clock-hour');
    await page.click('#clock-eight');
    await page.wait(() => /9 h/.test(document.getElementById('clock-offset').textContent));
    await page.wait((s) => /ended|removed/.test(document.querySelector(`${s} .phase`)?.textContent), row(activity.id));
    const late = await send(activity.updateToken, { event: 'update', contentState: { ...download, progress: 0.97 } });
    const lateVerdict = (await getJson(server, '/api/pushes?limit=20')).find((p) => p.apnsId === late.apnsId)?.verdict;
    assert.ok(lateVerdict !== 'applied', `after nine hours: ${lateVerdict}`);
    await page.click('#clock-now');
    await page.wait(() => /now/.test(document.getElementById('clock-offset').textContent));
  } else {
    assert.equal(await page.evaluate(() => document.getElementById('devices-section').hidden &&
      document.getElementById('clock').hidden), true);
  }

  // A fault rule added on the page is met by node-apn, and removed again, where the endpoint
  // has fault rules.
  if ((await pageApi('/api/faults')).status === 200) {
    await page.wait(() => !document.getElementById('faults-section').hidden);
    await page.fill('#fault-form input[name="token"]', activity.updateToken);
    await page.fill('#fault-form input[name="status"]', '429');
    await page.fill('#fault-form input[name="reason"]', 'TooManyRequests');
    await page.click('#fault-form button[type="submit"]');
    await page.wait(() => document.querySelectorAll('#faults li[data-fault-id]').length === 1);
    const faulted = await send(activity.updateToken, { event: 'update', contentState: { ...download, progress: 0.97 } });
    assert.equal(faulted.result.failed[0]?.response?.reason, 'TooManyRequests');
    await page.click('#faults li[data-fault-id] button');
    await page.wait(() => document.querySelectorAll('#faults li[data-fault-id]').length === 0);
  } else {
    assert.equal(await page.evaluate(() => document.getElementById('faults-section').hidden), true);
  }

  // Every control has a name a screen reader can say.
  const unnamed = await page.evaluate(() => [...document.querySelectorAll(
    'input, select, textarea, button')].filter((e) => !(e.labels?.length || e.getAttribute(
    'aria-label') || e.textContent.trim())).map((e) => e.outerHTML));
  assert.deepEqual(unnamed, []);

  // The browser's dark preference darkens the page.
  if (await page.colorScheme('dark')) {
    assert.equal(await page.evaluate(() => getComputedStyle(document.body).backgroundColor), 'rgb(17, 17, 20)');
    await page.colorScheme('light');
  } else {
    console.log(`${engine}: the dark preference cannot be emulated through this driver; not checked`);
  }

  // With every event slot held elsewhere, a new page is refused (503) and listens again, backing
  // off, until a slot is free.
  {
    const held = [];
    for (let i = 0; i < 8; ++i) {
      held.push(await new Promise((resolve, reject) => {
        const url = new URL(server.page);
        const request = http.get({ host: '127.0.0.1', port: url.port, path: '/api/events',
                                   headers: { accept: 'text/event-stream' } }, (response) => {
          request.setTimeout(0);
          resolve({ request, status: response.statusCode });
        });
        request.setTimeout(5000, () => request.destroy(new Error('no answer in 5 s')));
        request.on('error', reject);
        request.on('close', () => reject(new Error('closed before an answer')));
      }));
    }
    assert.deepEqual(held.map((h) => h.status).sort(), [...Array(7).fill(200), 503]);
    const other = await browser.newPage({ width: 1024, height: 700 });
    await other.goto(server.page + '/');
    await other.wait(() => /reconnecting/.test(document.getElementById('connection').textContent));
    for (const h of held) h.request.destroy();
    const freed = Date.now();
    await other.wait(() => document.getElementById('connection').textContent === 'live', null, 10_000);
    console.log(`refused every slot: live again ${Date.now() - freed} ms after they are free`);
    // Firefox reports each refused event stream as an error of the page: those are expected.
    failures.push(...other.errors.filter((e) => !/establish a connection .*\/api\/events/.test(e)));
    await other.close();
  }

  // Another site cannot push through the user's browser, nor by a rebound name.
  for (const headers of [{ origin: 'http://evil.example' }, { host: 'evil.example:80' }]) {
    const status = await new Promise((resolve, reject) => {
      const url = new URL(server.page);
      const request = http.request({ host: '127.0.0.1', port: url.port, method: 'POST',
                                     path: '/api/activities', headers }, (response) => {
        response.resume();
        resolve(response.statusCode);
      });
      request.setTimeout(5000, () => request.destroy(new Error('no answer in 5 s')));
      request.on('error', reject);
      request.on('close', () => reject(new Error('closed before an answer')));
      request.end(readFileSync(new URL('../../examples/sign-activity.json', import.meta.url)));
    });
    assert.equal(status, 403, JSON.stringify(headers));
  }

  // The first load, without the drawings it asks for afterwards.
  let weight = 0;
  for (const path of ['/', '/page.js', '/page.css', '/favicon.svg']) {
    const response = await fetch(server.page + path, { signal: AbortSignal.timeout(10_000) });
    assert.equal(response.status, 200, path);
    weight += (await response.arrayBuffer()).byteLength;
  }
  console.log(`first load: ${weight} bytes`);
  assert.ok(weight < 200 * 1024);

  failures.push(...page.errors, ...page.failedResponses.filter((r) => !expected(r)));
  assert.deepEqual(failures, []);
} finally {
  await browser.close();
  apns.shutdown();
  server.child.kill('SIGTERM');
}
console.log(`page test passed in ${engine}`);
process.exit(0);
