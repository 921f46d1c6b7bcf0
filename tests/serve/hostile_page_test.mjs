// Hostile clients against serve's page port, and hostile stored text against the page's "copy as
// curl": slow heads, idle connections, oversized heads and bodies whatever their framing, event
// slots taken by other sites or left behind, writes from other local origins, and commands built
// from stored bytes that must run nothing when pasted into bash.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { chmodSync, mkdirSync, readFileSync, readdirSync, writeFileSync } from 'node:fs';
import net from 'node:net';
import { join } from 'node:path';
import vm from 'node:vm';
import { scratch, startServe } from './serve_process.mjs';

// Slow requests are cut after this; the default is seconds longer than a test should wait.
const timeoutMs = 1500;
process.env.TOLVEX_PAGE_TIMEOUT_MS = String(timeoutMs);
// The previews draw text: fontconfig's caches live as long as the process (see the file).
if (process.env.TOLVEX_SANITIZED === '1') {
  process.env.LSAN_OPTIONS = 'suppressions=' +
    new URL('../../fuzz/lsan.supp', import.meta.url).pathname;
}
const server = await startServe(scratch());
const pagePort = Number(new URL(server.page).port);
const residentKb = () => Number(/VmRSS:\s+(\d+)/.exec(
  readFileSync(`/proc/${server.child.pid}/status`, 'utf8'))[1]);

// A connection to the page port (127.0.0.1 itself: Node 18 tries ::1 alone for "localhost").
// `closed` settles on close or error, or after `withinMs` with closed: false.
function open(withinMs = 10_000) {
  const socket = net.connect({ host: '127.0.0.1', port: pagePort });
  let received = '';
  socket.on('data', (d) => { received += d.toString('latin1'); });
  const closed = new Promise((resolve) => {
    const timer = setTimeout(() => resolve({ closed: false, received }), withinMs);
    const done = () => {
      clearTimeout(timer);
      resolve({ closed: true, received, at: Date.now() });
    };
    socket.on('close', done);
    socket.on('error', done);
  });
  const connected = new Promise((resolve) => {
    socket.once('connect', () => resolve(true));
    socket.once('error', () => resolve(false));
    socket.once('close', () => resolve(false));
  });
  return { socket, closed, connected, received: () => received };
}

function answerOf(text) {
  const [head, ...rest] = text.split('\r\n\r\n');
  const status = Number(/^HTTP\/1\.1 (\d+)/.exec(head)?.[1] ?? 0);
  return { status, head, body: rest.join('\r\n\r\n') };
}

// One raw request on its own connection, which the server closes after answering.
async function raw(bytes, withinMs = 10_000) {
  const connection = open(withinMs);
  await connection.connected;
  connection.socket.write(bytes);
  const { closed, received } = await connection.closed;
  connection.socket.destroy();
  assert.ok(closed, `no answer within ${withinMs} ms to ${bytes.slice(0, 60)}`);
  return answerOf(received);
}

// A GET of /api/info through fetch: how long the page takes to answer while others misbehave.
async function timedInfo(what) {
  const started = Date.now();
  const response = await fetch(`${server.page}/api/info`, { signal: AbortSignal.timeout(5000) })
    .catch((error) => assert.fail(`${what}: the page did not answer (${error.message})`));
  assert.equal(response.status, 200, what);
  await response.json();
  return Date.now() - started;
}

const head = (method, path, headers = {}) =>
  `${method} ${path} HTTP/1.1\r\nHost: 127.0.0.1:${pagePort}\r\nConnection: close\r\n` +
  Object.entries(headers).map(([name, value]) => `${name}: ${value}\r\n`).join('') + '\r\n';
const streamHeaders = { Accept: 'text/event-stream', 'Sec-Fetch-Site': 'same-origin',
                        'Sec-Fetch-Mode': 'cors', 'Sec-Fetch-Dest': 'empty' };
const measured = [];

// Twelve slow clients of each kind (a header line, or a byte of the body, every 400 ms) and 100
// idle ones: the page answers at once all along, the slow ones are cut with 408 after the time
// out, and the idle ones beyond the per-client bound make room for new clients at once.
{
  const kinds = [
    { what: 'slowloris heads', start: 'GET /api/info HTTP/1.1\r\n', drip: 'X-Slow: 1\r\n' },
    { what: 'slow short bodies', drip: ' ',
      start: head('POST', '/api/preview', { 'Content-Length': 10_000 }) },
    { what: 'slow long bodies', drip: ' ',
      start: head('POST', '/api/preview', { 'Content-Length': 1 << 20 }) },
  ];
  await timedInfo('a first request');  // fetch loads its client on first use
  measured.push(`no load: the page answers in ${await timedInfo('no load')} ms`);
  for (const kind of kinds) {
    const slow = Array.from({ length: 12 }, () => open(timeoutMs + 5000));
    await Promise.all(slow.map((c) => c.connected));
    for (const c of slow) c.socket.write(kind.start);
    const drip = setInterval(() => {
      for (const c of slow) if (!c.socket.destroyed) c.socket.write(kind.drip);
    }, 400);
    await new Promise((resolve) => setTimeout(resolve, 900));
    measured.push(`12 ${kind.what}: the page answers in ${await timedInfo(kind.what)} ms`);
    const cut = await Promise.all(slow.map((c) => c.closed));
    clearInterval(drip);
    for (const c of slow) c.socket.destroy();
    assert.ok(cut.every((c) => c.closed), `${kind.what}: one outlived the time out`);
    assert.deepEqual(cut.map((c) => answerOf(c.received).status), Array(12).fill(408), kind.what);
  }

  const opened = Date.now();
  const idle = Array.from({ length: 100 }, () => open(timeoutMs + 5000));
  await Promise.all(idle.map((c) => c.connected));
  const answered = await timedInfo('idle');
  const results = await Promise.all(idle.map((c) => c.closed));
  assert.ok(results.every((c) => c.closed), 'an idle connection outlived the head timeout');
  const evicted = results.filter((c) => c.at - opened < timeoutMs / 2).length;
  assert.ok(evicted >= 100 - 32, `only ${evicted} idle connections made room at once`);
  measured.push(`100 idle connections: ${evicted} closed at once to make room, ` +
                `the page answers in ${answered} ms`);
  for (const c of idle) c.socket.destroy();
}

// Heads and bodies beyond the bounds: refused with a reason, whatever the framing, without
// reading them whole.
{
  const before = residentKb();
  const cases = [
    { what: '2,000 header lines', bytes: head('GET', '/api/info').replace('\r\n\r\n',
      '\r\n' + 'X-Line: 1\r\n'.repeat(2000) + '\r\n'), status: 431 },
    { what: 'a 100 KB header', bytes: head('GET', '/api/info', { 'X-Big': 'b'.repeat(100_000) }),
      status: 431 },
    { what: 'a declared body of 1 GB', bytes: head('POST', '/api/preview',
      { 'Content-Type': 'application/json', 'Content-Length': 1 << 30 }), status: 413 },
    { what: 'a form-encoded body of 20 KB (curl -d)', bytes: head('POST', '/api/preview',
      { 'Content-Type': 'application/x-www-form-urlencoded', 'Content-Length': 20_000 }) +
      ' '.repeat(20_000), status: 200 },
    { what: 'a chunked body of 50 KB', bytes: head('POST', '/api/preview',
      { 'Transfer-Encoding': 'chunked' }) + `c350\r\n${' '.repeat(50_000)}\r\n0\r\n\r\n`,
      status: 200 },
    { what: 'an unknown path', bytes: head('GET', '/nothing-here'), status: 404 },
  ];
  for (const c of cases) {
    const answer = await raw(c.bytes);
    assert.equal(answer.status, c.status, `${c.what}: ${answer.head}`);
    assert.ok(answer.body.length > 0, `${c.what}: an empty body`);
    if (c.status !== 200) assert.ok(JSON.parse(answer.body).error, c.what);
  }

  // A chunked body that never ends: the server answers 413 and closes long before 64 MB.
  const connection = open();
  await connection.connected;
  connection.socket.write(head('POST', '/api/preview', { 'Transfer-Encoding': 'chunked' }));
  const chunk = Buffer.from(`100000\r\n${' '.repeat(1 << 20)}\r\n`);
  let sent = 0;
  let stop = false;
  connection.closed.then(() => { stop = true; });
  while (!stop && sent < 64) {
    if (!connection.socket.write(chunk)) {
      await new Promise((resolve) => {
        connection.socket.once('drain', resolve);
        connection.closed.then(resolve);
      });
    }
    ++sent;
  }
  const { closed, received } = await connection.closed;
  connection.socket.destroy();
  assert.ok(closed && sent < 64, `a chunked body of ${sent} MB was read`);
  const answer = answerOf(received);
  assert.equal(answer.status, 413, answer.head);
  assert.match(JSON.parse(answer.body).error, /more than 2 MB/);
  const growthMb = (residentKb() - before) / 1024;
  measured.push(`oversized heads and bodies: memory grew ${growthMb.toFixed(1)} MB, ` +
                `a chunked body stopped after ${sent} MB sent`);
  const boundMb = process.env.TOLVEX_SANITIZED === '1' ? 256 : 32;
  assert.ok(growthMb < boundMb, `resident memory grew by ${growthMb.toFixed(1)} MB`);
}

// The event stream: only the page's EventSource gets one of the eight slots, and a slot is free
// again as soon as its socket closes.
{
  const cases = [
    { what: 'an <img> of another site', headers: { Accept: 'image/avif,image/webp,*/*',
      'Sec-Fetch-Site': 'cross-site', 'Sec-Fetch-Mode': 'no-cors', 'Sec-Fetch-Dest': 'image' },
      status: 403 },
    { what: 'a <script> of the page', headers: { Accept: '*/*', 'Sec-Fetch-Site': 'same-origin',
      'Sec-Fetch-Mode': 'no-cors', 'Sec-Fetch-Dest': 'script' }, status: 403 },
    { what: 'another port of localhost', headers: { ...streamHeaders, 'Sec-Fetch-Site': 'same-site',
      Origin: 'http://127.0.0.1:1' }, status: 403 },
    { what: 'no Accept', headers: {}, status: 406 },
  ];
  for (const c of cases) {
    const answer = await raw(head('GET', '/api/events', c.headers));
    assert.equal(answer.status, c.status, `${c.what}: ${answer.head}`);
  }

  const listen = async () => {
    const connection = open();
    await connection.connected;
    connection.socket.write(head('GET', '/api/events', streamHeaders));
    const started = Date.now();
    while (!/\r\n\r\n/.test(connection.received()) && Date.now() - started < 5000) {
      await new Promise((resolve) => setTimeout(resolve, 20));
    }
    return { connection, status: answerOf(connection.received()).status };
  };
  // Three rounds of eight pages that come and go: each round finds every slot free within two
  // seconds of the last page leaving.
  let left = Date.now();
  for (let round = 0; round < 3; ++round) {
    const held = [];
    while (held.length < 8 && Date.now() - left < 2000) {
      const listener = await listen();
      if (listener.status === 200) {
        held.push(listener);
      } else {
        listener.connection.socket.destroy();
        await new Promise((resolve) => setTimeout(resolve, 25));
      }
    }
    assert.equal(held.length, 8, `round ${round}: slots still held ${Date.now() - left} ms on`);
    if (round > 0) measured.push(`8 event streams closed: every slot free again in ${Date.now() - left} ms`);
    const ninth = await listen();
    assert.equal(ninth.status, 503, 'a ninth listener');
    ninth.connection.socket.destroy();
    for (const h of held) h.connection.socket.destroy();
    left = Date.now();
  }
}

// Writes from another origin of this machine are refused; the page's own origin writes.
{
  const body = JSON.stringify({ aps: { event: 'start', timestamp: 1,
    'attributes-type': 'DownloadLiveActivityAttributes', attributes: { taskId: 'o-1' },
    'content-state': { progress: 0, statusText: 'Starting', fileName: 'a.zip',
                       transferredText: '0 MB', totalText: '1 MB', etaText: '--' } } });
  const cases = [
    { origin: `http://127.0.0.1:${pagePort + 1}`, status: 403 },
    { origin: `http://localhost:${pagePort === 80 ? 81 : 80}`, status: 403 },
    { origin: `https://127.0.0.1:${pagePort}`, status: 403 },
    { origin: 'null', status: 403 },
    { origin: `http://127.0.0.1:${pagePort}`, status: 201 },
    { origin: `http://localhost:${pagePort}`, status: 201 },
  ];
  // A refused write's body is read past on a kept-alive connection: the next request behind it
  // (sent at once) is answered, and the body is never taken for a request.
  const smuggled = head('GET', '/api/pushes');
  const refused = head('POST', '/api/activities', { Origin: 'http://127.0.0.1:1',
    'Content-Length': smuggled.length }).replace('Connection: close\r\n', '') + smuggled;
  const both = await raw(refused + head('GET', '/api/info'));
  const statuses = [...both.head.matchAll(/HTTP\/1\.1 (\d+)/g), ...both.body.matchAll(
    /HTTP\/1\.1 (\d+)/g)].map((m) => Number(m[1]));
  assert.deepEqual(statuses, [403, 200], both.head + both.body);
  assert.match(both.body, /"pushUrl"/);

  for (const c of cases) {
    const answer = await raw(head('POST', '/api/activities', {
      Origin: c.origin, 'Content-Type': 'application/json',
      'Content-Length': Buffer.byteLength(body) }) + body);
    assert.equal(answer.status, c.status, `${c.origin}: ${answer.body}`);
  }
}

// "Copy as curl" with hostile stored text, built by the page's own function and run by bash with
// a curl that records what it was given: every argument and the body arrive as stored, and
// nothing else runs.
{
  const dir = scratch();
  const bin = join(dir, 'bin');
  const work = join(dir, 'work');
  mkdirSync(bin);
  mkdirSync(work);
  writeFileSync(join(bin, 'curl'),
                '#!/bin/bash\nprintf \'%s\\0\' "$@" > "$CURL_ARGS"\ncat > "$CURL_BODY"\n');
  chmodSync(join(bin, 'curl'), 0o755);

  const context = vm.createContext({
    window: {}, document: { getElementById: () => ({}) }, location: { origin: server.page },
    fetch: () => new Promise(() => {}), TextEncoder, console,
  });
  vm.runInContext(readFileSync(new URL(
    '../../platform/host/serve/page/assets/page.js', import.meta.url), 'utf8'), context);
  const certificate = "/tmp/it's $(touch pwned-cert)/cert.pem";
  vm.runInContext(`state.info = { certificate: ${JSON.stringify(certificate)},
                                  pushUrl: 'https://127.0.0.1:2197' }`, context);
  const curlCommand = vm.runInContext('curlCommand', context);

  const evil = ['$(touch pwned-dollar)', '`touch pwned-tick`', "'; touch pwned-quote; '",
                '\nJSON\ntouch pwned-heredoc\nJSON\n', "$'\\n'touch pwned-ansi", '%s %n \\x41 \\',
                '-v', '@/etc/passwd', 'é ✓ \u0085 \u009b', '"$JWT"'];
  const pushes = [];
  for (const text of evil) {
    pushes.push({ path: '/3/device/' + 'ab'.repeat(32), payload: text,
                  headers: { 'apns-topic': text, 'apns-id': text.replace(/\n/g, ' ') } });
    pushes.push({ path: `/4/broadcasts/apps/${text}`, payload: { aps: { alert: text } },
                  headers: { 'apns-channel-id': text } });
    pushes.push({ path: `/3/device/${text}`, payload: `{"a":"${text}"}\0${text}\0`, headers: {} });
    pushes.push({ path: '/api/activities', payload: `${text}\n`, headers: {} });
  }
  pushes.push({ path: '/3/device/x', payload: null, headers: { '@/etc/passwd': 'x' } });

  for (const push of pushes) {
    for (const real of [false, true]) {
      const command = curlCommand(push, real);
      const args = join(dir, 'args');
      const bodyFile = join(dir, 'body');
      // Standard input not a socket, and a home of its own: bash reads no start-up file.
      const options = { cwd: work, stdio: ['ignore', 'pipe', 'pipe'], env: {
        HOME: dir, PATH: `${bin}:${process.env.PATH}`, CURL_ARGS: args, CURL_BODY: bodyFile,
        JWT: 'the-jwt', TOKEN: 'the-token' } };
      execFileSync('bash', ['-n', '-c', command], options);
      execFileSync('bash', ['-c', command], options);
      const argv = readFileSync(args, 'utf8').split('\0').slice(0, -1);
      const what = `${JSON.stringify(push)} (${real ? 'real' : 'local'})`;
      assert.deepEqual(readdirSync(work), [], `${what} ran a command:\n${command}`);
      const body = typeof push.payload === 'string' ? push.payload : JSON.stringify(push.payload);
      assert.deepEqual(readFileSync(bodyFile), Buffer.from(body), `${what}: body\n${command}`);
      const url = push.path === '/api/activities' ? `${server.page}/api/activities`
        : real ? 'https://api.sandbox.push.apple.com' +
                   (push.path.startsWith('/3/device/') ? '/3/device/the-token' : push.path)
        : 'https://127.0.0.1:2197' + push.path;
      assert.equal(argv.at(-1), url, `${what}: url\n${command}`);
      assert.deepEqual(argv.slice(-3, -1), ['--data-binary', '@-'], what);
      if (push.path === '/api/activities') continue;
      assert.equal(argv.includes(certificate), !real, `${what}: certificate\n${command}`);
      assert.ok(argv.includes('authorization: bearer the-jwt'), what);
      for (const [name, value] of Object.entries(push.headers)) {
        assert.equal(argv.includes(`${name}: ${value}`), !name.startsWith('@'),
                     `${what}: header ${name}\n${command}`);
      }
    }
  }
  measured.push(`copy as curl: ${pushes.length * 2} hostile commands ran through bash, none ran anything else`);
}

assert.ok(await timedInfo('everything') < 1000);
server.child.kill('SIGTERM');
const { code } = await server.exited;
assert.equal(code, 0, server.stderr());
console.log(`hostile_page_test: ok\n  ${measured.join('\n  ')}`);
