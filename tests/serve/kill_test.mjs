// kill -9 under load: every push answered 200 before the crash is in the history after a restart.
import assert from 'node:assert/strict';
import { connect, getJson, push, scratch, startServe } from './serve_process.mjs';

const state = scratch();
const server = await startServe(state);
const acknowledged = [];
let crashed = false;
let refusal = null;

async function sender(session) {
  while (!crashed) {
    try {
      const answer = await push(session);
      if (answer.status === 200) acknowledged.push(answer.apnsId);
    } catch (error) {
      refusal ??= error;
      return;  // the connection died with the server
    }
  }
}

const sessions = [connect(server), connect(server)];
const senders = [];
for (const session of sessions) for (let i = 0; i < 16; ++i) senders.push(sender(session));
// 400 acknowledgements, unless every sender has given up (a refused connection) or time is up.
await new Promise((resolve, reject) => {
  const started = Date.now();
  const check = setInterval(() => {
    if (acknowledged.length >= 400) {
      clearInterval(check);
      resolve();
    } else if (Date.now() - started > 60_000) {
      clearInterval(check);
      reject(new Error(`${acknowledged.length} pushes acknowledged in 60 s`));
    }
  }, 10);
  Promise.all(senders).then(() => {
    clearInterval(check);
    reject(new Error(`every sender stopped after ${acknowledged.length} acknowledgements: ${
      refusal?.message} ${server.stderr()}`));
  });
});
server.child.kill('SIGKILL');
crashed = true;
await server.exited;
await Promise.all(senders);
for (const session of sessions) session.destroy();

const again = await startServe(state);
const stored = new Set((await getJson(again, '/api/pushes?limit=10000')).map((p) => p.apnsId));
const lost = acknowledged.filter((id) => !stored.has(id));
assert.deepEqual(lost, [], `${lost.length} of ${acknowledged.length} acknowledged pushes lost`);
again.child.kill('SIGTERM');
const { code } = await again.exited;
assert.equal(code, 0);
console.log(`kill_test: ok (${acknowledged.length} acknowledged, ${stored.size} stored)`);
