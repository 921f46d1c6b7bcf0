// The live page in a real browser (Debian's chromium through playwright-core), with pushes from a
// real sender's library: an activity appears with all its presentations, a dropped update is
// explained, the editor refuses then draws, hostile text runs nothing, and the time from a push's
// answer to its paint is measured.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { generateKeyPairSync, randomUUID } from 'node:crypto';
import { readFileSync, writeFileSync } from 'node:fs';
import http from 'node:http';
import { join } from 'node:path';
import apn from '@parse/node-apn';
import { chromium } from 'playwright-core';
import { binary, getJson, scratch, startServe } from './serve_process.mjs';

const dir = scratch();
const bundle = 'com.tolvex.app';
// The page test sends a hundred updates in a minute, past a phone's priority-10 budget.
const server = await startServe(join(dir, 'serve'), ['--bundle-id', bundle,
                                                     '--priority10-budget', '100000']);
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

const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  args: ['--headless=new', '--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage',
         '--disable-background-networking', '--no-first-run', '--disable-extensions',
         '--disable-renderer-backgrounding', '--disable-background-timer-throttling',
         '--disable-backgrounding-occluded-windows'],
});
const failures = [];
try {
  const page = await browser.newPage({ viewport: { width: 1440, height: 1100 } });
  page.setDefaultTimeout(20_000);
  const dialogs = [];
  page.on('dialog', (dialog) => { dialogs.push(dialog.message()); dialog.dismiss(); });
  page.on('pageerror', (error) => failures.push(`page error: ${error.message}`));
  await page.goto(server.page + '/');
  await page.waitForFunction(() => document.getElementById('connection').textContent === 'live');

  // A start from the sender's library: the activity and its five presentations, light and dark.
  const start = await send(device, {
    event: 'start', attributesType: 'DownloadLiveActivityAttributes',
    attributes: { taskId: 'download-page' }, contentState: download, inputPushToken: 1,
    alert: { title: 'Download', body: 'demo.zip' } });
  assert.equal(start.result.failed.length, 0, JSON.stringify(start.result.failed));
  const card = page.locator('article.activity').first();
  await card.locator('[data-presentation="minimal"] .pair > svg').nth(1).waitFor();
  for (const name of presentations) {
    const drawn = card.locator(`[data-presentation="${name}"] .pair > svg`);
    assert.equal(await drawn.count(), 2, name);
    // Drawn: glyphs and shapes that resolve, with a size.
    assert.ok((await drawn.first().boundingBox()).height > 10, name);
  }
  const activity = (await getJson(server, '/api/activities'))[0];
  assert.equal(activity.type, 'DownloadLiveActivityAttributes');

  // An update the device cannot decode: dropped, with the member and the reason, in words.
  const bad = await send(activity.updateToken, {
    event: 'update', contentState: { ...download, progress: 'half' } });
  const dropped = page.locator(`li.push[data-apns-id="${bad.apnsId}"]`);
  await dropped.waitFor();
  assert.equal(await dropped.getAttribute('data-verdict'), 'dropped');
  const why = await dropped.locator('.error').textContent();
  assert.match(why, /typeMismatch: "aps\.content-state\.progress": expected a number/);
  assert.match(await dropped.locator('.verdict').textContent(), /dropped/);
  // It reached the activity, whose card says so.
  const lastPush = page.locator(`article[data-activity-id="${activity.id}"] .last-push`);
  await page.waitForFunction((id) => document.querySelector(
    `article[data-activity-id="${id}"] .last-push`)?.dataset.verdict === 'dropped', activity.id);
  assert.match(await lastPush.locator('.error').textContent(), /typeMismatch/);

  // Hostile text is shown as text and runs nothing.
  const hostile = '<img src=x onerror="window.hacked=1;alert(1)"><script>window.hacked=2</script>';
  const evil = await send(activity.updateToken, {
    event: 'update', contentState: { ...download, statusText: hostile, fileName: hostile } });
  await page.locator(`li.push[data-apns-id="${evil.apnsId}"]`).waitFor();
  await page.waitForTimeout(300);
  assert.equal(await page.evaluate(() => window.hacked), undefined);
  assert.equal(await page.evaluate(() => document.querySelectorAll(
    'script, foreignObject, iframe, [onerror], [onload]').length), 1);  // page.js alone
  assert.deepEqual(dialogs, []);
  assert.ok((await page.locator(`li.push[data-apns-id="${evil.apnsId}"] pre.payload`)
    .textContent()).includes(JSON.stringify(hostile)));

  // Push to paint: one update at a time, from its answer to the frame that shows it.
  const latencies = [];
  for (let i = 0; i < 60; ++i) {
    const update = await send(activity.updateToken, {
      event: 'update', contentState: { ...download, progress: (i + 1) / 61 } });
    const paint = await page.waitForFunction(
      (id) => window.tolvexPaints.find((p) => p.apnsId === id), update.apnsId);
    latencies.push((await paint.jsonValue()).at - update.answered);
  }
  latencies.sort((a, b) => a - b);
  const at = (q) => latencies[Math.min(latencies.length - 1, Math.floor(q * latencies.length))];
  console.log(`push to paint over ${latencies.length} updates: p50 ${at(0.5)} ms, ` +
              `p90 ${at(0.9)} ms, p99 ${at(0.99)} ms, max ${latencies[latencies.length - 1]} ms`);
  // The figure is measured here and reported; the goal (100 ms) is judged on a quiet machine.
  // What fails the test is a page that stops following pushes as they come.
  assert.ok(at(0.99) < 2000, `push to paint p99 ${at(0.99)} ms`);

  // The timeline steps back through the applied updates.
  const position = card.locator('.timeline .muted');
  const before = await position.textContent();
  await card.getByRole('button', { name: /earlier/ }).click();
  await page.waitForFunction((text) => document.querySelector('article.activity .timeline .muted')
    .textContent !== text, before);
  assert.match(await card.locator('.timeline .muted').textContent(), /^update \d+ of \d+/);

  // The editor: a broken input is refused with its place marked (the token a syntax fault stops
  // at, the member a record's failure names, wherever characters of several bytes put it), a
  // valid one drawn.
  await page.selectOption('#editor-type', 'SignLiveActivityAttributes.ContentState');
  await page.fill('#editor', '{"progress": 0.5,\n "statusText": "Signing",\n "appName": }');
  await page.waitForSelector('#editor-result.refused');
  assert.match(await page.textContent('#editor-result'), /invalid JSON at line 3, column 13/);
  assert.equal(await page.textContent('#editor-mark'), 'line 3:  "appName": }');
  assert.equal(await page.textContent('#editor-mark mark'), '}');
  await page.fill('#editor', '{"statusText": "Signé ✓ 🔏", "progress": "x", "appName": "Demo"}');
  await page.waitForFunction(() => /typeMismatch/.test(document.getElementById('editor-result')
    .textContent));
  assert.equal(await page.textContent('#editor-mark mark'), '"progress": "x"');
  await page.fill('#editor', '{"progress": 0.5, "statusText": "Signing", "appName": "Demo", ' +
                             '"detailText": "Applying entitlements"}');
  await page.waitForSelector('#editor-result.accepted');
  await page.locator('#editor-preview [data-presentation="minimal"]').waitFor();
  assert.equal(await page.locator('#editor-preview [data-presentation]').count(), 5);

  // A device of another size draws the Lock Screen at its own width.
  const width = () => page.evaluate(() => document
    .querySelector('#editor-preview [data-presentation="lockscreen"] svg').viewBox.baseVal.width);
  const narrow = await width();
  await page.selectOption('#device', 'iphone-15-pro-max');
  await page.waitForFunction((w) => document
    .querySelector('#editor-preview [data-presentation="lockscreen"] svg')?.viewBox.baseVal.width > w,
  narrow);

  // The editor sends a push to the chosen activity through the endpoint's own path.
  await page.selectOption('#editor-type', '');
  await page.selectOption('#editor-target', activity.id);
  await page.fill('#editor', JSON.stringify({ aps: { event: 'update', timestamp: ++clock,
    'content-state': { ...download, progress: 0.9, statusText: 'Almost there' } } }));
  await page.waitForSelector('#editor-result.accepted');
  await page.click('#editor-send');
  await page.waitForFunction(() => /applied/.test(document.getElementById('editor-sent')
    .textContent));

  // Copy as curl: the command the page gives sends the same push again.
  const curl = await page.locator(`li.push[data-apns-id="${start.apnsId}"] pre.curl`)
    .textContent();
  const jwt = [Buffer.from('{"alg":"ES256","kid":"ABC123DEFG"}').toString('base64url'),
               Buffer.from(`{"iss":"DEF123GHIJ","iat":${Math.floor(Date.now() / 1000)}}`)
                 .toString('base64url'), Buffer.alloc(64, 1).toString('base64url')].join('.');
  const answer = execFileSync('bash', ['-c', `${curl.replace('curl ', 'curl -sS -o /dev/null -w "%{http_code}" ')}`],
                              { env: { ...process.env, JWT: jwt }, timeout: 30_000 }).toString();
  assert.equal(answer, '200', curl);

  // Export of the timeline, read back by the command line.
  const timeline = await (await fetch(`${server.page}/api/activities/${activity.id}/timeline`,
                                     { signal: AbortSignal.timeout(10_000) })).text();
  writeFileSync(join(dir, 'exported.jsonl'), timeline);
  execFileSync(binary, ['tree', '--presentation', 'minimal', join(dir, 'exported.jsonl')],
               { stdio: ['ignore', 'ignore', 'inherit'] });

  // Import of a timeline file replays it as a new activity.
  const cards = await page.locator('article.activity').count();
  await page.setInputFiles('#import-file', new URL('../../examples/download-timeline.jsonl',
                                                   import.meta.url).pathname);
  await page.waitForFunction((n) => document.querySelectorAll('article.activity').length > n,
                             cards);
  await page.waitForFunction(() => /replayed/.test(document.getElementById('editor-sent')
    .textContent));

  // Every control has a name a screen reader can say.
  const unnamed = await page.evaluate(() => [...document.querySelectorAll(
    'input, select, textarea, button')].filter((e) => !(e.labels?.length || e.getAttribute(
    'aria-label') || e.textContent.trim())).map((e) => e.outerHTML));
  assert.deepEqual(unnamed, []);

  // The browser's dark preference darkens the page.
  await page.emulateMedia({ colorScheme: 'dark' });
  const background = await page.evaluate(() => getComputedStyle(document.body).backgroundColor);
  assert.equal(background, 'rgb(17, 17, 20)');
  await page.emulateMedia({ colorScheme: 'light' });

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
    const other = await browser.newPage();
    await other.goto(server.page + '/');
    await other.waitForFunction(() => /reconnecting/.test(
      document.getElementById('connection').textContent));
    for (const h of held) h.request.destroy();
    const freed = Date.now();
    await other.waitForFunction(() => document.getElementById('connection').textContent === 'live',
                                null, { timeout: 10_000 });
    console.log(`refused every slot: live again ${Date.now() - freed} ms after they are free`);
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
  for (const path of ['/', '/page.js', '/page.css']) {
    weight += (await (await fetch(server.page + path, { signal: AbortSignal.timeout(10_000) }))
      .arrayBuffer()).byteLength;
  }
  console.log(`first load: ${weight} bytes`);
  assert.ok(weight < 200 * 1024);

  await page.evaluate(() => window.scrollTo(0, 0));
  const shot = process.env.TOLVEX_PAGE_SCREENSHOT || join(dir, 'page.png');
  await page.screenshot({ path: shot, fullPage: false });
  console.log(`screenshot: ${shot}`);
  assert.deepEqual(failures, []);
} finally {
  await browser.close();
  apns.shutdown();
  server.child.kill('SIGTERM');
}
console.log('page test passed');
process.exit(0);
