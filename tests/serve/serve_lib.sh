# Shared by the shell tests of `tolvex-widget serve`: start it on free ports in a scratch state
# folder, make provider tokens, send pushes with curl. Every server is stopped on exit.
set -euo pipefail

BIN=${TOLVEX_WIDGET:?set TOLVEX_WIDGET to the tolvex-widget executable}
SCRATCH=$(mktemp -d)
PIDS=()
cleanup() {
  for pid in "${PIDS[@]}"; do
    { kill -9 "$pid" && wait "$pid"; } 2>/dev/null || true
  done
  rm -rf "$SCRATCH"
}
trap cleanup EXIT

# Every request is bounded: a server that accepts and never answers fails the test.
curl() { command curl --max-time 30 "$@"; }

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# start_serve STATE [options...]: sets SERVE_PID, PUSH_URL, CA, PAGE_URL, PUSH_PORT.
start_serve() {
  local state=$1
  shift
  mkdir -p -m 0700 "$state"
  timeout -s KILL 300 "$BIN" serve --apns-port 0 --page-port 0 --state "$state" "$@" \
    >"$state.out" 2>"$state.err" &
  SERVE_PID=$!
  PIDS+=("$SERVE_PID")
  for _ in $(seq 200); do
    [[ $(wc -l <"$state.out") -ge 3 ]] && break
    kill -0 "$SERVE_PID" 2>/dev/null || fail "serve did not start: $(cat "$state.err")"
    sleep 0.05
  done
  PUSH_URL=$(sed -n 1p "$state.out")
  CA=$(sed -n 2p "$state.out")
  PAGE_URL=$(sed -n 3p "$state.out")
  PAGE_URL=${PAGE_URL%/}
  PUSH_PORT=${PUSH_URL##*:}
  [[ -n "$PAGE_URL" ]] || fail "serve printed no page URL"
}

# stop_serve: SIGTERM, and it must exit 0 within 10 seconds.
stop_serve() {
  kill -TERM "$SERVE_PID"
  local status=0
  wait "$SERVE_PID" || status=$?
  [[ $status -eq 0 ]] || fail "serve exited $status after SIGTERM"
}

b64url() { base64 -w0 | tr '+/' '-_' | tr -d '='; }

# provider_token [iat]: a token of the right shape (its signature is not checked without a key).
provider_token() {
  local iat=${1:-$(date +%s)}
  printf '%s.%s.%s' "$(printf '{"alg":"ES256","kid":"ABC123DEFG"}' | b64url)" \
    "$(printf '{"iss":"DEF123GHIJ","iat":%s}' "$iat" | b64url)" \
    "$(head -c 64 /dev/zero | tr '\0' 'x' | b64url)"
}

DEVICE=$(printf 'ab%.0s' $(seq 32))
TOPIC=com.tolvex.app.push-type.liveactivity

# push TOKEN BODY [curl options...]: prints "STATUS BODY" of the answer.
push() {
  local token=$1 body=$2
  shift 2
  # AUTH, TYPE and TOPIC replace the usual headers (curl sends a header given twice twice).
  curl -sS --http2 --cacert "$CA" -o "$SCRATCH/answer" -w '%{http_code}' \
    -H "${AUTH-authorization: bearer $(provider_token)}" -H "${TYPE-apns-push-type: liveactivity}" \
    -H "${TOPIC_HEADER-apns-topic: $TOPIC}" --data-binary "$body" "$@" \
    "https://localhost:$PUSH_PORT/3/device/$token"
  printf ' %s\n' "$(cat "$SCRATCH/answer")"
}

start_body() {
  printf '{"aps":{"timestamp":%s,"event":"start","attributes-type":"DownloadLiveActivityAttributes","attributes":{"taskId":"d-1"},"content-state":{"progress":0,"statusText":"Starting","fileName":"demo.zip","transferredText":"0 MB","totalText":"48.0 MB","etaText":"--"},"alert":{"title":"Download","body":"demo.zip"},"input-push-token":1}}' "$(date +%s)"
}

update_body() {
  printf '{"aps":{"timestamp":%s,"event":"update","content-state":{"progress":%s,"statusText":"Downloading","fileName":"demo.zip","transferredText":"24 MB","totalText":"48.0 MB","etaText":"1 min"}}}' "$1" "$2"
}
