// The faults a sender's retry and clean-up code must meet, as @parse/node-apn meets them: its
// retries on 429 and 503, a 410, a GOAWAY, a reset stream and a slow answer; both environments;
// and a wait for the verdict instead of a sleep.
import assert from 'node:assert/strict';
import apn from '@parse/node-apn';
import { generateKeyPairSync } from 'node:crypto';
import { join } from 'node:path';
import { scratch, startServe } from './serve_process.mjs';

const state = scratch();
const server = await startServe(join(state, 'serve'), ['--production-port', '0']);
const api = async (path, init = {}) => {
  const response = await fetch(server.page + path, { ...init, signal: AbortSignal.timeout(40_000) });
  const text = await response.text();
  return { status: response.status, body: text ? JSON.parse(text) : null };
};
const info = (await api('/api/info')).body;
assert.equal(info.endpoints.development, server.port);
assert.ok(info.endpoints.production > 0);

// Without --auth-key serve checks no signature, so any P-256 key signs.
const key = generateKeyPairSync('ec', { namedCurve: 'prime256v1' }).privateKey
  .export({ type: 'pkcs8', format: 'pem' });
const provider = (port) => new apn.Provider({
  token: { key, keyId: 'ABC123DEFG', teamId: 'DEF123GHIJ' }, production: false,
  address: 'localhost', port, ca: server.ca, requestTimeout: 10_000 });
const development = provider(server.port);
const production = provider(info.endpoints.production);

const bundle = 'com.tolvex.app';
const now = Math.floor(Date.now() / 1000);
let serial = 0;
function start() {
  const note = new apn.Notification();
  note.pushType = 'liveactivity';
  note.topic = `${bundle}.push-type.liveactivity`;
  Object.assign(note, {
    event: 'start', timestamp: now, attributesType: 'DownloadLiveActivityAttributes',
    attributes: { taskId: `d-${++serial}` }, inputPushToken: 1,
    contentState: { progress: 0, statusText: 'Starting', fileName: 'demo.zip',
                    transferredText: '0 MB', totalText: '48.0 MB', etaText: '--' },
    alert: { title: 'Download', body: 'demo.zip' } });
  return note;
}
const token = (pair) => pair.repeat(32);
async function fault(rule) {
  const created = await api('/api/faults', { method: 'POST', body: JSON.stringify(rule) });
  assert.equal(created.status, 201, JSON.stringify(created.body));
  return created.body;
}
// The history of one device token, oldest first.
async function historyOf(device) {
  const pushes = (await api('/api/pushes?limit=100')).body;
  return pushes.filter((p) => p.token === device).reverse();
}

const cases = [
  { name: '429 twice: node-apn retries and the third try gets through',
    rule: { reason: 'TooManyRequests', retryAfterSeconds: 1, times: 2 },
    sent: true, tries: ['rejected', 'rejected', 'applied'] },
  { name: '503 always: node-apn gives up after its three retries',
    rule: { reason: 'ServiceUnavailable' },
    failed: { status: 503, reason: 'ServiceUnavailable' },
    tries: ['rejected', 'rejected', 'rejected', 'rejected'] },
  { name: '410: the token is gone, with the time since when',
    rule: { reason: 'Unregistered' },
    failed: { status: 410, reason: 'Unregistered', timestamp: true }, tries: ['rejected'] },
  { name: 'GOAWAY: the push fails with the session, the next one goes on a new connection',
    rule: { action: 'goaway', reason: 'Shutdown', times: 1 },
    failed: { error: true }, then: true, tries: ['rejected', 'applied'] },
  { name: 'a reset stream fails the push alone',
    rule: { action: 'reset', times: 1 },
    failed: { error: true }, then: true, tries: ['rejected', 'applied'] },
  { name: 'a slow answer is still an answer',
    rule: { reason: 'TopicDisallowed', delaySeconds: 1 },
    failed: { status: 400, reason: 'TopicDisallowed' }, tries: ['rejected'] },
];

try {
  let pair = 0x10;
  for (const c of cases) {
    const device = token((pair++).toString(16));
    await fault({ ...c.rule, match: { token: device } });
    const began = Date.now();
    const result = await development.send(start(), device);
    const took = Date.now() - began;
    if (c.sent) {
      assert.equal(result.sent.length, 1, `${c.name}: ${JSON.stringify(result.failed)}`);
    } else {
      assert.equal(result.failed.length, 1, `${c.name}: ${JSON.stringify(result)}`);
      const failure = result.failed[0];
      if (c.failed.error) {
        assert.ok(failure.error, `${c.name}: ${JSON.stringify(failure)}`);
        assert.equal(failure.status, undefined, c.name);
      } else {
        assert.equal(failure.status, c.failed.status, c.name);
        assert.equal(failure.response.reason, c.failed.reason, c.name);
        if (c.failed.timestamp) assert.ok(failure.response.timestamp >= now * 1000, c.name);
      }
    }
    if (c.rule.delaySeconds) assert.ok(took >= 1000, `${c.name}: answered in ${took} ms`);
    if (c.then) {
      const again = await development.send(start(), device);
      assert.equal(again.sent.length, 1, `${c.name}: ${JSON.stringify(again.failed)}`);
    }
    const history = await historyOf(device);
    assert.deepEqual(history.map((p) => p.verdict), c.tries, c.name);
    assert.match(history[0].error, /^injected fault: /, c.name);
  }

  // Two environments: the production endpoint sends no apns-unique-id.
  let result = await development.send(start(), token('d0'));
  assert.ok(result.sent[0]['apns-unique-id'], JSON.stringify(result));
  result = await production.send(start(), token('d1'));
  assert.equal(result.sent.length, 1, JSON.stringify(result.failed));
  assert.equal(result.sent[0]['apns-unique-id'], undefined);

  // A wait answers the verdict as soon as the push is stored: no sleep in the sender's test.
  const waited = api(`/api/pushes/${result.sent[0]['apns-id']}?wait=10`);
  const pushed = (await waited).body;
  assert.equal(pushed.verdict, 'applied');
  assert.equal(pushed.deliveries.length, 1);
  const note = start();
  note.id = '0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d';
  const late = api(`/api/pushes/${note.id}?wait=20`);
  await new Promise((resolve) => setTimeout(resolve, 500));
  result = await development.send(note, token('d2'));
  assert.equal(result.sent.length, 1);
  assert.equal((await late).body.apnsId, note.id);
} finally {
  development.shutdown();
  production.shutdown();
  server.child.kill('SIGTERM');
}
const { code } = await server.exited;
assert.equal(code, 0, server.stderr());
console.log('senders_test (node-apn): ok');
