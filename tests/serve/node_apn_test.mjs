// A real sender's library, @parse/node-apn, pointed at serve: token authentication with the
// sender's own key (verified), a start, updates and an end, a channel and a broadcast, and the
// answers node-apn reads back.
import assert from 'node:assert/strict';
import { generateKeyPairSync } from 'node:crypto';
import { writeFileSync } from 'node:fs';
import { join } from 'node:path';
import apn from '@parse/node-apn';
import { getJson, scratch, startServe } from './serve_process.mjs';

const state = scratch();
const keyId = 'ABC123DEFG';
const teamId = 'DEF123GHIJ';
const bundle = 'com.tolvex.app';
const pem = (key) => key.export({ type: 'pkcs8', format: 'pem' });
const sender = generateKeyPairSync('ec', { namedCurve: 'prime256v1' }).privateKey;
const stranger = generateKeyPairSync('ec', { namedCurve: 'prime256v1' }).privateKey;
writeFileSync(join(state, 'AuthKey.p8'), pem(sender), { mode: 0o600 });

const server = await startServe(join(state, 'serve'), [
  '--auth-key', join(state, 'AuthKey.p8'), '--key-id', keyId, '--team-id', teamId,
  '--bundle-id', bundle]);
const provider = (key) => new apn.Provider({
  token: { key: pem(key), keyId, teamId }, production: false, address: 'localhost',
  port: server.port, ca: server.ca, manageChannelsAddress: 'localhost',
  manageChannelsPort: server.port });
const apns = provider(sender);

const device = 'c0ffee'.repeat(12) + 'c0ffee00';
const now = Math.floor(Date.now() / 1000);
const state0 = { progress: 0, statusText: 'Starting', fileName: 'demo.zip', transferredText: '0 MB',
                 totalText: '48.0 MB', etaText: '--' };

function liveActivity(fields) {
  const note = new apn.Notification();
  note.pushType = 'liveactivity';
  note.topic = `${bundle}.push-type.liveactivity`;
  Object.assign(note, fields);
  return note;
}

async function lastPush() {
  return (await getJson(server, '/api/pushes?limit=1'))[0];
}

try {
  let result = await apns.send(liveActivity({
    event: 'start', timestamp: now, attributesType: 'DownloadLiveActivityAttributes',
    attributes: { taskId: 'download-19b4' }, contentState: state0, inputPushToken: 1,
    alert: { title: 'Download started', body: 'demo.zip' } }), device);
  assert.equal(result.failed.length, 0, JSON.stringify(result.failed));
  assert.equal((await lastPush()).verdict, 'applied');
  const activity = (await getJson(server, '/api/activities'))[0];
  assert.equal(activity.updateToken.length, 160);

  result = await apns.send(liveActivity({
    event: 'update', timestamp: now + 1, contentState: { ...state0, progress: 0.5 } }),
    activity.updateToken);
  assert.equal(result.sent.length, 1);
  assert.equal((await lastPush()).verdict, 'applied');

  // A float where the record wants a string: the service says 200, the device drops it.
  result = await apns.send(liveActivity({
    event: 'update', timestamp: now + 2, contentState: { ...state0, etaText: 60.5 } }),
    activity.updateToken);
  assert.equal(result.sent.length, 1);
  const dropped = await lastPush();
  assert.equal(dropped.verdict, 'dropped');
  assert.match(dropped.error, /^typeMismatch: "aps\.content-state\.etaText"/);

  result = await apns.send(liveActivity({
    event: 'update', timestamp: now + 3,
    contentState: { ...state0, fileName: 'x'.repeat(5000) } }), activity.updateToken);
  assert.equal(result.failed.length, 1);
  assert.equal(result.failed[0].status, 413);
  assert.equal(result.failed[0].response.reason, 'PayloadTooLarge');

  const forged = provider(stranger);
  result = await forged.send(liveActivity({ event: 'update', timestamp: now + 4,
                                            contentState: state0 }), activity.updateToken);
  forged.shutdown();
  assert.equal(result.failed[0].status, 403);
  assert.equal(result.failed[0].response.reason, 'InvalidProviderToken');

  // A channel, an activity subscribed to it, and a broadcast it receives.
  const create = new apn.Notification();
  create.payload = { 'message-storage-policy': 0 };
  result = await apns.manageChannels(create, bundle, 'create');
  assert.equal(result.failed.length, 0, JSON.stringify(result.failed));
  const channel = result.sent[0]['apns-channel-id'];
  assert.ok(channel);
  // As node-apn's README writes it, the policy a string: taken, and the history says so.
  const asInReadme = new apn.Notification();
  asInReadme.payload = { 'message-storage-policy': '1' };
  result = await apns.manageChannels(asInReadme, bundle, 'create');
  assert.equal(result.failed.length, 0, JSON.stringify(result.failed));
  const taken = await lastPush();
  assert.equal(taken.token, result.sent[0]['apns-channel-id'], JSON.stringify(taken));
  assert.match(taken.warnings.join('\n'), /"message-storage-policy": the string "1"/);
  result = await apns.send(liveActivity({
    event: 'start', timestamp: now, attributesType: 'SignLiveActivityAttributes',
    attributes: { taskId: 'sign-7f3a2c' }, inputPushChannel: channel,
    contentState: { progress: 0.1, statusText: 'Signing', appName: 'Demo', detailText: 'Applying entitlements' },
    alert: { title: 'Signing', body: 'Demo' } }), device);
  assert.equal(result.failed.length, 0, JSON.stringify(result.failed));
  const subscribed = await lastPush();
  assert.equal(subscribed.verdict, 'applied', JSON.stringify(subscribed));
  const broadcast = new apn.Notification();
  broadcast.channelId = channel;
  broadcast.pushType = 'liveactivity';
  broadcast.event = 'update';
  broadcast.timestamp = now + 5;
  broadcast.contentState = { progress: 0.9, statusText: 'Signing', appName: 'Demo', detailText: 'Sealing' };
  result = await apns.broadcast(broadcast, bundle);
  assert.equal(result.failed.length, 0, JSON.stringify(result.failed));
  const heard = await lastPush();
  assert.equal(heard.verdict, 'applied', JSON.stringify(heard));

  result = await apns.send(liveActivity({ event: 'end', timestamp: now + 6,
                                          dismissalDate: now + 60 }), activity.updateToken);
  assert.equal(result.sent.length, 1);
  assert.equal((await lastPush()).verdict, 'ended');
} finally {
  apns.shutdown();
  server.child.kill('SIGTERM');
}
const { code } = await server.exited;
assert.equal(code, 0);
console.log('node_apn_test: ok');
