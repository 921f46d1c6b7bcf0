// The simulated phone as a sender meets it through node-apn: the 8-hour end on a moved clock, a
// priority-10 burst until throttled, two activities and the Dynamic Island, an offline device, a
// channel's kept message for a late subscriber, and a rotated token.
import assert from 'node:assert/strict';
import { generateKeyPairSync } from 'node:crypto';
import { writeFileSync } from 'node:fs';
import http from 'node:http';
import { join } from 'node:path';
import apn from '@parse/node-apn';
import { getJson, scratch, startServe } from './serve_process.mjs';

const state = scratch();
const bundle = 'com.tolvex.app';
const keyId = 'ABC123DEFG';
const teamId = 'DEF123GHIJ';
const key = generateKeyPairSync('ec', { namedCurve: 'prime256v1' }).privateKey
  .export({ type: 'pkcs8', format: 'pem' });
writeFileSync(join(state, 'AuthKey.p8'), key, { mode: 0o600 });
const server = await startServe(join(state, 'serve'), [
  '--auth-key', join(state, 'AuthKey.p8'), '--key-id', keyId, '--team-id', teamId,
  '--bundle-id', bundle, '--priority10-budget', '5']);
const apns = new apn.Provider({
  token: { key, keyId, teamId }, production: false, address: 'localhost', port: server.port,
  ca: server.ca, manageChannelsAddress: 'localhost', manageChannelsPort: server.port });

const phones = ['a1', 'b2', 'c3', 'd4', 'e5'].map((p) => p.repeat(32));
const contentState = (progress) => ({ progress, statusText: 'Downloading', fileName: 'demo.zip',
                                      transferredText: '1 MB', totalText: '48.0 MB', etaText: '--' });

// A page API call with a JSON body, answered within 10 s.
function page(method, path, body) {
  return new Promise((resolve, reject) => {
    const url = new URL(server.page);
    const request = http.request({ host: '127.0.0.1', port: url.port, method, path,
                                   headers: { 'content-type': 'application/json' } }, (response) => {
      let data = '';
      response.on('data', (d) => { data += d; });
      response.on('end', () => resolve({ status: response.statusCode, json: JSON.parse(data) }));
      response.on('error', reject);
    });
    request.setTimeout(10_000, () => request.destroy(new Error(`no answer to ${path} in 10 s`)));
    request.on('error', reject);
    request.end(body === undefined ? undefined : JSON.stringify(body));
  });
}

let clock = Math.floor(Date.now() / 1000);  // the devices' clock, as far as this test moved it
async function advance(seconds) {
  const moved = await page('POST', '/api/clock', { advanceSeconds: seconds });
  assert.equal(moved.status, 200, JSON.stringify(moved.json));
  clock = Math.floor(moved.json.nowMs / 1000);
}

function liveActivity(fields) {
  const note = new apn.Notification();
  note.pushType = 'liveactivity';
  note.topic = `${bundle}.push-type.liveactivity`;
  Object.assign(note, fields);
  return note;
}

let step = 0;
const update = (fields = {}) => liveActivity({ event: 'update', timestamp: clock + ++step,
                                               contentState: contentState(0.5), ...fields });

async function lastPush() {
  return (await getJson(server, '/api/pushes?limit=1'))[0];
}

async function start(device, fields = {}) {
  const result = await apns.send(liveActivity({
    event: 'start', timestamp: clock, attributesType: 'DownloadLiveActivityAttributes',
    attributes: { taskId: 'd-1' }, contentState: contentState(0), inputPushToken: 1,
    alert: { title: 'Download', body: 'demo.zip' }, ...fields }), device);
  assert.equal(result.failed.length, 0, JSON.stringify(result.failed));
  const started = await lastPush();
  assert.equal(started.verdict, 'applied', JSON.stringify(started));
  return getJson(server, `/api/activities/${started.activityId}`);
}

async function verdictOf(note, token) {
  const result = await apns.send(note, token);
  assert.equal(result.failed.length, 0, JSON.stringify(result.failed));
  return lastPush();
}

try {
  // What the page API refuses, in words.
  for (const [method, path, body, status] of [
    ['POST', '/api/clock', {}, 400],
    ['POST', '/api/clock', { advanceSeconds: 'soon' }, 400],
    ['POST', '/api/clock', { advanceSeconds: 1, offsetSeconds: 1 }, 400],
    ['POST', '/api/clock', { offsetSeconds: 1e12 }, 400],
    ['PATCH', `/api/devices/${phones[0]}`, { systemVersion: 17 }, 400],
    ['PATCH', '/api/devices/abc', { online: false }, 400],
    ['GET', `/api/devices/${'f'.repeat(64)}`, undefined, 404],
    ['POST', '/api/activities/00000000-0000-0000-0000-000000000000/rotate-token', undefined, 404],
  ]) {
    const answer = await page(method, path, body);
    assert.equal(answer.status, status, `${method} ${path} ${JSON.stringify(body)}`);
    assert.equal(typeof answer.json.error, 'string');
  }
  assert.equal((await page('GET', '/api/clock')).json.offsetSeconds, 0);

  // A long-lived activity across the 8-hour end: the clock moves, not the test.
  const long = await start(phones[0]);
  assert.equal(long.phase, 'live');
  await advance(8 * 3600 - 60);
  assert.equal((await verdictOf(update(), long.updateToken)).verdict, 'applied');
  await advance(120);
  const ended = await verdictOf(update(), long.updateToken);
  assert.equal(ended.verdict, 'ended');
  assert.match(ended.error, /8 hours after it started/);
  assert.equal((await getJson(server, `/api/activities/${long.id}`)).phase, 'ended');
  await advance(4 * 3600);
  const gone = await apns.send(update(), long.updateToken);
  assert.equal(gone.failed[0]?.status, 410, JSON.stringify(gone));
  assert.equal(gone.failed[0].response.reason, 'Unregistered');

  // A priority-10 burst until the budget (5 an hour here) is spent; priority 5 still lands.
  const busy = await start(phones[1]);
  const verdicts = [];
  for (let i = 0; i < 6; ++i) verdicts.push((await verdictOf(update(), busy.updateToken)).verdict);
  assert.deepEqual(verdicts, ['applied', 'applied', 'applied', 'applied', 'applied', 'throttled']);
  const device = await getJson(server, `/api/devices/${phones[1]}`);
  assert.equal(device.budgets.priority10Left, 0);
  assert.equal(device.budgets.priority10Limit, 5);
  assert.equal((await verdictOf(update({ priority: 5 }), busy.updateToken)).verdict, 'applied');

  // Two activities on one phone: the higher relevance score holds the Dynamic Island.
  const first = await start(phones[2], { relevanceScore: 10 });
  const second = await start(phones[2], { relevanceScore: 90 });
  const took = await lastPush();
  assert.match(took.error, /the Dynamic Island passes from activity/);
  assert.equal((await getJson(server, `/api/devices/${phones[2]}`)).islandHolder, second.id);
  assert.equal((await getJson(server, `/api/activities/${first.id}`)).holdsIsland, false);
  assert.equal((await getJson(server, `/api/activities/${second.id}`)).holdsIsland, true);

  // An offline phone: the push is stored, then delivered late when the phone is back.
  const away = await start(phones[3]);
  assert.equal((await page('PATCH', `/api/devices/${phones[3]}`, { online: false })).status, 200);
  const stored = await verdictOf(update({ contentState: contentState(0.75) }), away.updateToken);
  assert.equal(stored.verdict, 'stored');
  const back = await page('PATCH', `/api/devices/${phones[3]}`, { online: true });
  assert.equal(back.json.online, true);
  const late = await lastPush();
  assert.equal(late.verdict, 'delivered-late', JSON.stringify(late));
  assert.equal(late.apnsId, stored.apnsId);
  assert.equal((await getJson(server, `/api/activities/${away.id}`)).state.progress, 0.75);

  // A channel that keeps its latest message (policy 1) gives it to an activity that subscribes
  // after the broadcast.
  const create = new apn.Notification();
  create.payload = { 'message-storage-policy': 1 };
  const made = await apns.manageChannels(create, bundle, 'create');
  assert.equal(made.failed.length, 0, JSON.stringify(made.failed));
  const channel = made.sent[0]['apns-channel-id'];
  const broadcast = new apn.Notification();
  broadcast.channelId = channel;
  broadcast.pushType = 'liveactivity';
  broadcast.event = 'update';
  broadcast.timestamp = clock + 100;
  broadcast.contentState = contentState(0.9);
  const sent = await apns.broadcast(broadcast, bundle);
  assert.equal(sent.failed.length, 0, JSON.stringify(sent.failed));
  assert.match((await lastPush()).error, /keeps it \(storage policy 1\)/);
  const subscriber = await start(phones[4], { inputPushChannel: channel });
  const replayed = await lastPush();
  assert.equal(replayed.verdict, 'applied', JSON.stringify(replayed));
  assert.match(replayed.error, /kept by storage policy 1/);
  assert.equal(replayed.activityId, subscriber.id);
  assert.equal((await getJson(server, `/api/activities/${subscriber.id}`)).state.progress, 0.9);

  // The phone hands out a new update token; the old one is answered 410 ExpiredToken.
  const rotated = await page('POST', `/api/activities/${busy.id}/rotate-token`);
  assert.equal(rotated.status, 200);
  assert.notEqual(rotated.json.updateToken, busy.updateToken);
  const old = await apns.send(update({ priority: 5 }), busy.updateToken);
  assert.equal(old.failed[0]?.status, 410, JSON.stringify(old));
  assert.equal(old.failed[0].response.reason, 'ExpiredToken');
  assert.equal((await verdictOf(update({ priority: 5 }), rotated.json.updateToken)).verdict,
               'applied');
} finally {
  apns.shutdown();
  server.child.kill('SIGTERM');
}
const { code } = await server.exited;
assert.equal(code, 0);
console.log('phone_test: ok');
