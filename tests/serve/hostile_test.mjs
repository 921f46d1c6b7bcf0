// Hostile clients against serve: a 10 MB body, a 1 MB header block, 10,000 streams on one
// connection, a reset storm, a client sending a byte a second, invalid UTF-8, deep nesting, and
// tokens of every wrong shape. The server must stay up, keep its memory bounded, and go on serving
// other connections promptly.
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import http2 from 'node:http2';
import tls from 'node:tls';
import { connect, deviceToken, getJson, push, scratch, senderToken, settle, startServe, topic }
  from './serve_process.mjs';

const server = await startServe(scratch());
const residentKb = () => Number(/VmRSS:\s+(\d+)/.exec(
  readFileSync(`/proc/${server.child.pid}/status`, 'utf8'))[1]);
const before = residentKb();
const good = connect(server);

async function stillServing(what) {
  const started = Date.now();
  const answer = await push(good);
  assert.equal(answer.status, 200, `after ${what}: ${answer.body}`);
  assert.ok(Date.now() - started < 5000, `after ${what}: a push took ${Date.now() - started} ms`);
}

function raw(session, headers, body) {
  return new Promise((resolve) => {
    const request = session.request({ ':method': 'POST', ...headers });
    let status = 0;
    let data = '';
    request.on('response', (h) => { status = h[':status']; });
    request.on('data', (d) => { data += d; });
    request.on('end', () => resolve({ status, body: data }));
    request.on('error', (e) => resolve({ status: 0, body: e.code }));
    request.on('close', () => resolve({ status, body: data }));
    request.end(body);
  });
}
const pushHeaders = (token = deviceToken) => ({
  ':path': `/3/device/${token}`, authorization: `bearer ${senderToken}`,
  'apns-push-type': 'liveactivity', 'apns-topic': topic });

// A 10 MB body: answered 413 without being kept.
{
  const session = connect(server);
  const answer = await raw(session, pushHeaders(), Buffer.alloc(10 << 20, 0x20));
  assert.equal(answer.status, 413);
  assert.equal(JSON.parse(answer.body).reason, 'PayloadTooLarge');
  session.destroy();
  await stillServing('a 10 MB body');
}

// A 1 MB header block: the stream or the connection is refused, nothing else.
{
  const session = http2.connect(`https://localhost:${server.port}`,
                                { ca: server.ca, maxSendHeaderBlockLength: 2 << 20 });
  session.on('error', () => {});
  const answer = await raw(session, { ...pushHeaders(), 'x-big': 'b'.repeat(1 << 20) }, '{}');
  assert.notEqual(answer.status, 200);
  session.destroy();
  await stillServing('a 1 MB header block');
}

// 10,000 streams on one connection, all at once, and 10,000 at the pace the server allows. The
// first may be cut short (nghttp2 ends a connection that floods it); neither may hurt the server.
{
  const body = JSON.stringify({ aps: { event: 'update', timestamp: 1, 'content-state': {} } });
  const flood = connect(server);
  await Promise.all(Array.from({ length: 10000 }, () => raw(flood, pushHeaders(), body)));
  flood.destroy();
  await stillServing('10,000 streams at once');

  const session = connect(server);
  let ok = 0;
  let next = 0;
  await Promise.all(Array.from({ length: 100 }, async () => {
    while (next < 10000) {
      ++next;
      if ((await raw(session, pushHeaders(), body)).status === 200) ++ok;
    }
  }));
  assert.equal(ok, 10000);
  session.destroy();
  await stillServing('10,000 streams');
}

// A reset storm: streams opened and cancelled at once.
{
  const session = connect(server);
  for (let i = 0; i < 5000; ++i) {
    const request = session.request({ ':method': 'POST', ...pushHeaders() });
    request.on('error', () => {});
    request.close(http2.constants.NGHTTP2_CANCEL);
  }
  await new Promise((resolve) => setTimeout(resolve, 500));
  session.destroy();
  await stillServing('a reset storm');
}

// A client that sends one byte a second: the others do not wait for it.
{
  const socket = tls.connect({ port: server.port, host: 'localhost', ca: server.ca,
                               ALPNProtocols: ['h2'] });
  socket.on('error', () => {});
  await settle(socket, 'secureConnect');
  const preface = Buffer.from('PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n');
  for (let i = 0; i < 4; ++i) {
    socket.write(preface.subarray(i, i + 1));
    await stillServing('a byte from a slow client');
    await new Promise((resolve) => setTimeout(resolve, 1000));
  }
  socket.destroy();
}

// Bodies and tokens of every wrong shape.
{
  const session = connect(server);
  const cases = [
    { what: 'invalid UTF-8', headers: pushHeaders(), body: Buffer.from([0x7b, 0x22, 0xff, 0xfe, 0x22, 0x7d]),
      status: 200, verdict: 'dropped' },
    { what: 'nesting 4000 deep', headers: pushHeaders(), body: '['.repeat(4000),
      status: 200, verdict: 'dropped' },
    { what: 'nesting 600 deep in aps', headers: pushHeaders(),
      body: '{"aps":{"event":"start","attributes":' + '{"a":'.repeat(600) + '1' + '}'.repeat(600) + '}}',
      status: 200, verdict: 'dropped' },
    { what: 'odd length token', headers: pushHeaders('a'.repeat(63)), status: 400, reason: 'BadDeviceToken' },
    { what: 'upper-case hex', headers: pushHeaders('AB'.repeat(32)), body: '{}', status: 200 },
    // HTTP/2 itself forbids these in a path: the stream is reset before the handler sees it.
    { what: 'spaces in the token', headers: pushHeaders('ab '.repeat(22)), status: 0 },
    { what: 'percent-encoded token', headers: pushHeaders('%61'.repeat(32)), status: 400, reason: 'BadDeviceToken' },
    { what: 'non-ASCII token', headers: pushHeaders('é'.repeat(32)), status: 400, reason: 'BadDeviceToken' },
    { what: '202 digits', headers: pushHeaders('a'.repeat(202)), status: 400, reason: 'BadDeviceToken' },
    { what: 'a query string', headers: pushHeaders(`${deviceToken}?x=1`), status: 400, reason: 'BadDeviceToken' },
    { what: 'a path of 6 KB', headers: pushHeaders('a'.repeat(6000)), status: 400, reason: 'BadDeviceToken' },
    { what: 'dot segments', headers: pushHeaders(`../device/${deviceToken}`), status: 404, reason: 'BadPath' },
  ];
  for (const c of cases) {
    const answer = await raw(session, c.headers, c.body ?? '{"aps":{}}');
    assert.equal(answer.status, c.status, `${c.what}: ${answer.body}`);
    if (c.status === 0) continue;
    if (c.reason) assert.equal(JSON.parse(answer.body).reason, c.reason, c.what);
    if (c.verdict) {
      const last = (await getJson(server, '/api/pushes?limit=1'))[0];
      assert.equal(last.verdict, c.verdict, `${c.what}: ${JSON.stringify(last)}`);
    }
  }
  session.destroy();
}

await stillServing('everything');
const growthMb = (residentKb() - before) / 1024;
// AddressSanitizer keeps up to 256 MB of freed memory in quarantine, besides its shadow memory.
const boundMb = process.env.TOLVEX_SANITIZED === '1' ? 640 : 96;
assert.ok(growthMb < boundMb, `resident memory grew by ${growthMb.toFixed(1)} MB`);
good.destroy();
server.child.kill('SIGTERM');
const { code } = await server.exited;
assert.equal(code, 0);
console.log(`hostile_test: ok (memory grew ${growthMb.toFixed(1)} MB)`);
