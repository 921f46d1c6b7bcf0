// Connections to serve: the addresses it listens on, how many idle connections it holds and for
// how long, and what a client that floods it and stops reading costs. Each case prints what it
// measured.
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import http2 from 'node:http2';
import net from 'node:net';
import tls from 'node:tls';
import { push, scratch, settle, startServe } from './serve_process.mjs';

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
const bracketed = (host) => (host.includes(':') ? `[${host}]` : host);

function within(ms, promise, what) {
  let timer;
  const late = new Promise((resolve, reject) => {
    timer = setTimeout(() => reject(new Error(`${what}: nothing within ${ms} ms`)), ms);
  });
  return Promise.race([promise, late]).finally(() => clearTimeout(timer));
}

async function stop(server) {
  server.child.kill('SIGTERM');
  assert.equal((await within(15_000, server.exited, 'stopping serve')).code, 0, server.stderr());
}

// One push on a new connection: { status, ms } or { status: 0, error }.
async function pushOnce(server, { host = '127.0.0.1', localAddress } = {}) {
  const started = Date.now();
  const session = http2.connect(`https://${bracketed(host)}:${server.port}`,
                                { ca: server.ca, localAddress });
  let refusal;
  session.on('error', (error) => { refusal = error; });
  try {
    const answer = await within(10_000, push(session), `a push to ${host}`);
    return { status: answer.status, ms: Date.now() - started };
  } catch (error) {
    return { status: 0, error: refusal?.code ?? error.message };
  } finally {
    session.destroy();
  }
}

// `count` connections spread over `addresses`, each opened by `open(localAddress)`, which
// settles once the connection is up. Returns them with `open()`: how many are still up.
async function crowd(count, addresses, open) {
  const all = await Promise.all(Array.from({ length: count }, async (_, i) => {
    const connection = open(addresses[i % addresses.length]);
    connection.up = true;
    connection.once('close', () => { connection.up = false; });
    await connection.ready.catch(() => { connection.up = false; });
    return connection;
  }));
  return {
    open: () => all.filter((c) => c.up).length,
    destroy: () => all.forEach((c) => c.destroy()),
  };
}

const plainTcp = (server) => (localAddress) => {
  const socket = net.connect({ host: '127.0.0.1', port: server.port, localAddress });
  socket.on('error', () => {});
  socket.ready = settle(socket, 'connect');
  return socket;
};

// An HTTP/2 session that sends no request, only a PING every half second.
const pinging = (server) => (localAddress) => {
  const session = http2.connect(`https://127.0.0.1:${server.port}`, { ca: server.ca, localAddress });
  session.on('error', () => {});
  session.ready = settle(session, 'connect');
  const timer = setInterval(() => { if (!session.destroyed) session.ping(() => {}); }, 500).unref();
  session.once('close', () => clearInterval(timer));
  return session;
};

// Raw HTTP/2 for clients that misbehave: the preface with empty settings, and frames on stream 0.
const preface = Buffer.from('PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n\0\0\0\x04\0\0\0\0\0', 'latin1');
const frame = (type, payload) => Buffer.concat([
  Buffer.from([0, 0, payload.length, type, 0, 0, 0, 0, 0]), payload]);
const ping = frame(6, Buffer.alloc(8, 7));
// Settings that change nothing, each asking for an acknowledgement.
const settings = frame(4, Buffer.from([0, 2, 0, 0, 0, 0, 0, 4, 0, 0, 0xff, 0xff]));

// A TLS connection that sends the preface and `bytes` of `unit` frames, and reads nothing.
function flood(server, unit, bytes, localAddress) {
  const socket = tls.connect({ host: '127.0.0.1', port: server.port, ca: server.ca,
                               ALPNProtocols: ['h2'], localAddress });
  socket.on('error', () => {});
  socket.ready = settle(socket, 'secureConnect').then(() => {
    socket.pause();
    socket.write(preface);
    const burst = Buffer.concat(Array(4096).fill(unit));
    for (let written = 0; written < bytes; written += burst.length) socket.write(burst);
  });
  return socket;
}

const addresses = (from, count) => Array.from({ length: count }, (_, i) => `127.0.0.${from + i}`);

// CPU time the process has used, in milliseconds.
function cpuMs(pid) {
  const fields = readFileSync(`/proc/${pid}/stat`, 'utf8').split(') ')[1].split(' ');
  return (Number(fields[11]) + Number(fields[12])) * 10;  // utime and stime, at 100 ticks a second
}

// Without --listen, both loopback addresses on both ports; with it, that address alone.
for (const { args, reached } of [
  { args: [], reached: { '127.0.0.1': true, '::1': true } },
  { args: ['--listen', '127.0.0.1'], reached: { '127.0.0.1': true, '::1': false } },
]) {
  const server = await startServe(scratch(), args);
  const pagePort = new URL(server.page).port;
  for (const [host, expected] of Object.entries(reached)) {
    const what = `${host} with [${args}]`;
    const answer = await pushOnce(server, { host });
    assert.deepEqual([answer.status, answer.error], expected ? [200, undefined] : [0, 'ECONNREFUSED'],
                     `push port on ${what}`);
    const page = await fetch(`http://${bracketed(host)}:${pagePort}/api/info`,
                             { signal: AbortSignal.timeout(10_000) })
      .then((response) => response.status, (error) => error.cause?.code ?? error.message);
    assert.equal(page, expected ? 200 : 'ECONNREFUSED', `page port on ${what}`);
  }
  await stop(server);
}
console.log('listening: 127.0.0.1 and ::1 by default, the --listen address alone otherwise');

// Idle connections may not lock a new client out, whether they never start TLS or hold an
// HTTP/2 session with pings; nor may one address hold more than its share.
{
  const server = await startServe(scratch());
  for (const { what, count, from, open } of [
    { what: 'TCP connections that never start TLS', count: 300, from: addresses(2, 10),
      open: plainTcp(server) },
    { what: 'pinging HTTP/2 sessions', count: 300, from: addresses(2, 10), open: pinging(server) },
    { what: 'pinging HTTP/2 sessions from one address', count: 100, from: addresses(12, 1),
      open: pinging(server) },
  ]) {
    const idle = await crowd(count, from, open);
    await sleep(200);
    const held = idle.open();
    const answer = await pushOnce(server, { localAddress: '127.0.0.30' });
    console.log(`${count} ${what}: ${held} held, a new client answered ${answer.status} in ${
      answer.ms} ms`);
    assert.equal(answer.status, 200, `after ${count} ${what}: ${answer.error}`);
    assert.ok(answer.ms < 3000, `after ${count} ${what}: answered in ${answer.ms} ms`);
    if (from.length === 1) assert.ok(held <= 64, `one address holds ${held} connections`);
    idle.destroy();
  }

  // A client that floods frames each asking for an answer and reads none of them: the loop
  // stops reading it instead of spinning, and others are served meanwhile.
  for (const { what, unit } of [{ what: 'PING', unit: ping }, { what: 'SETTINGS', unit: settings }]) {
    const socket = flood(server, unit, 12 << 20);
    await socket.ready;
    // What the client's buffers take in is answered first; the spin, if any, comes after.
    await sleep(2000);
    // A spinning loop burns every window; a slow machine (sanitizers, other builds) may still be
    // answering what was buffered in the first, so up to three windows are measured.
    let spent = Infinity;
    let answer;
    for (let window = 0; window < 3 && spent >= 300; ++window) {
      const before = cpuMs(server.child.pid);
      answer = await pushOnce(server);
      await sleep(Math.max(0, 3000 - answer.ms));
      spent = cpuMs(server.child.pid) - before;
    }
    console.log(`a ${what} burst unread: ${spent} ms of CPU in the 3 s after it, a push meanwhile ${
      ''}answered ${answer.status} in ${answer.ms} ms`);
    assert.equal(answer.status, 200, `during a ${what} burst: ${answer.error}`);
    assert.ok(spent < 300, `a ${what} burst cost ${spent} ms of CPU in 3 s`);
    socket.destroy();
  }
  await stop(server);
}

// Timeouts, shortened: a handshake that never comes, idle sessions while the server is crowded,
// and output left unread, are all closed; a lone pinging session on a quiet server is not.
{
  const server = await startServe(scratch(), ['--handshake-timeout-ms', '1000',
                                              '--crowded-idle-timeout-ms', '1000',
                                              '--stall-timeout-ms', '1000']);
  // More answers than the socket buffers on both sides hold.
  const unread = (localAddress) => flood(server, ping, 48 << 20, localAddress);
  // Each case waits until as many connections as it allows are left (a quiet server's at least
  // 3 s), for at most 15 s. The crowded server sheds idle sessions until it is no longer crowded
  // (three quarters of 256).
  for (const { what, count, from, open, left, hold = 0 } of [
    { what: 'TCP connections that never start TLS', count: 1, from: addresses(2, 1),
      open: plainTcp(server), left: [0, 0] },
    { what: 'pinging HTTP/2 sessions on a crowded server', count: 200, from: addresses(2, 4),
      open: pinging(server), left: [0, 191] },
    { what: 'clients that flood and never read', count: 1, from: addresses(2, 1), open: unread,
      left: [0, 0] },
    { what: 'pinging HTTP/2 sessions on a quiet server', count: 1, from: addresses(2, 1),
      open: pinging(server), left: [1, 1], hold: 3000 },
  ]) {
    const started = Date.now();
    const idle = await crowd(count, from, open);
    const allowed = () => idle.open() >= left[0] && idle.open() <= left[1];
    await sleep(hold);
    while (!allowed() && Date.now() - started < 15_000) await sleep(50);
    const still = idle.open();
    console.log(`${count} ${what}: ${still} still open after ${Date.now() - started} ms`);
    assert.ok(allowed(), `${count} ${what}: ${still} still open`);
    idle.destroy();
    await sleep(200);
  }
  await stop(server);
}
console.log('connection_test: ok');
// Sessions the server closed may leave handles behind in Node's HTTP/2 client.
process.exit(0);
