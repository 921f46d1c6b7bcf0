// Starts `tolvex-widget serve` on free ports in a scratch state folder, for the Node tests.
import { spawn } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { randomUUID } from 'node:crypto';
import http2 from 'node:http2';

export const binary = process.env.TOLVEX_WIDGET;
if (!binary) throw new Error('set TOLVEX_WIDGET to the tolvex-widget executable');

export function scratch() {
  const dir = mkdtempSync(join(tmpdir(), 'serve-test-'));
  process.on('exit', () => rmSync(dir, { recursive: true, force: true }));
  return dir;
}

export async function startServe(state, args = []) {
  const child = spawn(binary, ['serve', '--apns-port', '0', '--page-port', '0', '--state', state, ...args],
                      { stdio: ['ignore', 'pipe', 'pipe'] });
  let out = '';
  let err = '';
  child.stderr.on('data', (d) => { err += d; });
  // Never outlive the test, whatever happens to it.
  const guard = setTimeout(() => child.kill('SIGKILL'), 240_000);
  guard.unref();
  process.on('exit', () => child.kill('SIGKILL'));
  const lines = await new Promise((resolve, reject) => {
    child.stdout.on('data', (d) => {
      out += d;
      const parts = out.split('\n');
      if (parts.length > 3) resolve(parts);
    });
    child.on('exit', (code) => reject(new Error(`serve exited ${code}: ${err}`)));
    child.on('error', reject);
  });
  const push = new URL(lines[0]);
  return {
    child,
    port: Number(push.port),
    ca: readFileSync(lines[1]),
    caPath: lines[1],
    page: lines[2].replace(/\/$/, ''),
    stderr: () => err,
    exited: new Promise((resolve) => child.on('exit', (code, signal) => resolve({ code, signal }))),
  };
}

// Resolves with `event`'s value; rejects on 'error', on 'close' before it, and after `ms`.
export function settle(emitter, event, ms = 10_000) {
  return new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error(`no ${event} within ${ms} ms`)), ms);
    const done = (settleWith) => (value) => {
      clearTimeout(timer);
      settleWith(value);
    };
    emitter.once(event, done(resolve));
    if (event !== 'error') emitter.once('error', done(reject));
    if (event !== 'close') emitter.once('close', done(() => reject(new Error(`closed before ${event}`))));
  });
}

const b64url = (text) => Buffer.from(text).toString('base64url');
export function providerToken(iat = Math.floor(Date.now() / 1000)) {
  return [b64url('{"alg":"ES256","kid":"ABC123DEFG"}'),
          b64url(`{"iss":"DEF123GHIJ","iat":${iat}}`),
          Buffer.alloc(64, 7).toString('base64url')].join('.');
}

// One token for the whole run: a connection refuses a new token within 20 minutes of the last.
export const senderToken = providerToken();

export const deviceToken = 'ab'.repeat(32);
export const topic = 'com.tolvex.app.push-type.liveactivity';

export function startPayload(taskId = 'd-1') {
  return JSON.stringify({ aps: {
    timestamp: Math.floor(Date.now() / 1000), event: 'start',
    'attributes-type': 'DownloadLiveActivityAttributes', attributes: { taskId },
    'content-state': { progress: 0, statusText: 'Starting', fileName: 'demo.zip',
                       transferredText: '0 MB', totalText: '48.0 MB', etaText: '--' },
    alert: { title: 'Download', body: 'demo.zip' }, 'input-push-token': 1 } });
}

export function connect(server) {
  const session = http2.connect(`https://localhost:${server.port}`, { ca: server.ca });
  session.on('error', () => {});
  return session;
}

// One push on a session: resolves to { status, body, apnsId }.
export function push(session, { token = deviceToken, body = startPayload(), headers = {},
                                apnsId = randomUUID(), auth = senderToken } = {}) {
  return new Promise((resolve, reject) => {
    const request = session.request({
      ':method': 'POST', ':path': `/3/device/${token}`, authorization: `bearer ${auth}`,
      'apns-push-type': 'liveactivity', 'apns-topic': topic, 'apns-id': apnsId, ...headers });
    let status = 0;
    let data = '';
    request.on('response', (h) => { status = h[':status']; });
    request.on('data', (d) => { data += d; });
    request.on('end', () => resolve({ status, body: data, apnsId }));
    request.on('error', reject);
    // A stream reset, or a session that never connected, ends with no answer: say so.
    request.on('close', () => reject(new Error(`no answer (stream closed, code ${request.rstCode})`)));
    request.end(body);
  });
}

export async function getJson(server, path) {
  const response = await fetch(server.page + path, { signal: AbortSignal.timeout(30_000) });
  return response.json();
}
