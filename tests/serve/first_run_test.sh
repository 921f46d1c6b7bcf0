#!/usr/bin/env bash
# The README's first step as a new user meets it: `scripts/run` serves with the sample timelines
# replayed, dated now, so its page shows live activities and a dropped push; Ctrl-C (SIGINT) stops
# it with status 0. And `--version` says the project's version on one line.
source "$(dirname "$0")/serve_lib.sh"
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
VERSION=${TOLVEX_VERSION:?set TOLVEX_VERSION to the project version}

version=$("$BIN" --version)
[[ $version == "tolvex-widget $VERSION" ]] || fail "--version printed '$version'"

mkdir -m 0700 "$SCRATCH/state"
TOLVEX_WIDGET=$BIN timeout -s KILL 120 "$ROOT/scripts/run" --state "$SCRATCH/state" \
  --apns-port 0 --page-port 0 >"$SCRATCH/out" 2>"$SCRATCH/err" &
run_pid=$!
PIDS+=("$run_pid")
for _ in $(seq 400); do
  [[ $(wc -l <"$SCRATCH/out") -ge 3 ]] && break
  kill -0 "$run_pid" 2>/dev/null || fail "scripts/run stopped: $(cat "$SCRATCH/err")"
  sleep 0.05
done
page=$(sed -n 3p "$SCRATCH/out")
[[ $page == http://127.0.0.1:*/ ]] || fail "no page URL within 20 s: $(cat "$SCRATCH/out" "$SCRATCH/err")"
grep -q 'replayed examples/first-run/download.jsonl: 4 lines, 1 not applied' "$SCRATCH/err" ||
  fail "replay summary: $(cat "$SCRATCH/err")"

curl -sS "${page}api/activities" >"$SCRATCH/activities.json"
curl -sS "${page}api/pushes" >"$SCRATCH/pushes.json"
/usr/bin/python3 - "$SCRATCH/activities.json" "$SCRATCH/pushes.json" <<'PY' || fail "the page's history"
import json, sys, time
activities = json.load(open(sys.argv[1]))
pushes = json.load(open(sys.argv[2]))
now = time.time()
types = sorted(a["type"] for a in activities)
assert types == ["DownloadLiveActivityAttributes", "SignLiveActivityAttributes"], types
for a in activities:
    # Live as the page tells it: not ended, and any stale date still ahead.
    assert not a["ended"], a
    assert a["staleDate"] is not None and a["staleDate"] > now + 1800, a
verdicts = [p["verdict"] for p in pushes]
assert verdicts.count("dropped") == 1, verdicts
assert verdicts.count("applied") == 6, verdicts
dropped = next(p for p in pushes if p["verdict"] == "dropped")
assert "progress" in dropped["error"], dropped
# The timestamps moved with the rest: none is a year old.
for p in pushes:
    aps = p["payload"].get("aps", {}) if isinstance(p["payload"], dict) else {}
    assert "timestamp" not in aps or abs(aps["timestamp"] - now) < 600, p
    assert p["warnings"] == [], p
PY

kill -INT "$run_pid"
status=0
for _ in $(seq 200); do
  kill -0 "$run_pid" 2>/dev/null || break
  sleep 0.05
done
kill -0 "$run_pid" 2>/dev/null && fail "scripts/run still running 10 s after SIGINT"
wait "$run_pid" || status=$?
[[ $status -eq 0 ]] || fail "scripts/run exited $status after SIGINT"
echo "first run: ok"
