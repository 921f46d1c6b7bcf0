#!/usr/bin/env bash
# h2load against `tolvex-widget serve` (valid Live Activity updates over TLS, each stored durably
# before its answer) beside h2load against nghttpd answering the same requests from a file, in the
# same run: pushes per second, latency percentiles, and the ratio of the two rates.
#
#   bench/bench_serve.sh [REQUESTS (20000)] [CONNECTIONS (4)] [STREAMS (50)]
set -euo pipefail
cd "$(dirname "$0")/.."
requests=${1:-20000}
connections=${2:-4}
streams=${3:-50}
bin=${TOLVEX_WIDGET:-build/release/apps/tolvex-widget/tolvex-widget}
for tool in h2load nghttpd curl; do
  command -v $tool >/dev/null || { echo "bench_serve: $tool is missing (nghttp2-client, nghttp2-server, curl)" >&2; exit 3; }
done

work=$(mktemp -d)
pids=()
stop_all() {
  for p in "${pids[@]}"; do { kill -9 "$p" && wait "$p"; } 2>/dev/null || true; done
  rm -rf "$work"
}
trap stop_all EXIT

"$bin" serve --apns-port 0 --page-port 0 --state "$work/state" >"$work/serve.out" 2>"$work/serve.err" &
pids+=($!)
for _ in $(seq 100); do [[ $(wc -l <"$work/serve.out") -ge 3 ]] && break; sleep 0.05; done
port=$(sed -n 1p "$work/serve.out" | sed 's/.*://')
ca=$(sed -n 2p "$work/serve.out")
page=$(sed -n 3p "$work/serve.out")

b64url() { base64 -w0 | tr '+/' '-_' | tr -d '='; }
token="$(printf '{"alg":"ES256","kid":"ABC123DEFG"}' | b64url).$(printf '{"iss":"DEF123GHIJ","iat":%s}' "$(date +%s)" | b64url).$(head -c 64 /dev/zero | tr '\0' x | b64url)"
device=$(printf 'ab%.0s' $(seq 32))
headers=(-H "authorization: bearer $token" -H "apns-push-type: liveactivity"
         -H "apns-topic: com.tolvex.app.push-type.liveactivity")

# One activity, started by push; the load is updates to its update token.
printf '{"aps":{"timestamp":%s,"event":"start","attributes-type":"DownloadLiveActivityAttributes","attributes":{"taskId":"bench"},"content-state":{"progress":0,"statusText":"Starting","fileName":"demo.zip","transferredText":"0 MB","totalText":"48.0 MB","etaText":"--"},"alert":{"title":"Download","body":"demo.zip"},"input-push-token":1}}' "$(date +%s)" >"$work/start.json"
curl -sS --http2 --cacert "$ca" "${headers[@]}" --data-binary @"$work/start.json" \
  "https://localhost:$port/3/device/$device" >/dev/null
update=$(curl -sS "${page}api/activities" | sed -n 's/.*"updateToken":"\([0-9a-f]*\)".*/\1/p')
printf '{"aps":{"timestamp":%s,"event":"update","content-state":{"progress":0.5,"statusText":"Downloading","fileName":"demo.zip","transferredText":"24 MB","totalText":"48.0 MB","etaText":"1 min"}}}' "$(date +%s)" >"$work/update.json"

# nghttpd serves an empty file at the same path with the same certificate.
mkdir -p "$work/docroot/3/device"
: >"$work/docroot/3/device/$update"
nghttpd_port=$((port + 1))
nghttpd -d "$work/docroot" "$nghttpd_port" "$(dirname "$ca")/localhost-key.pem" "$ca" >/dev/null 2>&1 &
pids+=($!)
sleep 0.5

run() {  # run NAME PORT
  h2load -n "$requests" -c "$connections" -m "$streams" -d "$work/update.json" "${headers[@]}" \
    --log-file="$work/$1.log" "https://127.0.0.1:$2/3/device/$update" >"$work/$1.txt" 2>&1
  local rate ok
  rate=$(sed -n 's/^finished in [^,]*, \([0-9.]*\) req\/s.*/\1/p' "$work/$1.txt")
  ok=$(sed -n 's/^status codes: \([0-9]*\) 2xx.*/\1/p' "$work/$1.txt")
  # The log has one line per request: start, status, latency in microseconds.
  local percentiles
  percentiles=$(cut -f3 "$work/$1.log" | sort -n | awk '{v[NR]=$1} END {
    printf "p50 %.2f ms, p90 %.2f ms, p99 %.2f ms, max %.2f ms",
      v[int(NR*0.5)]/1000, v[int(NR*0.9)]/1000, v[int(NR*0.99)]/1000, v[NR]/1000}')
  printf '%-8s %9.0f pushes/s  %s  (%s of %s answered 2xx)\n' "$1" "$rate" "$percentiles" "$ok" "$requests"
  echo "$rate" >"$work/$1.rate"
}

echo "h2load -n $requests -c $connections -m $streams, TLS, $(wc -c <"$work/update.json")-byte updates"
run nghttpd "$nghttpd_port"
run serve "$port"
stored=$(curl -sS "${page}api/pushes?limit=1" >/dev/null && echo ok)
awk -v s="$(cat "$work/serve.rate")" -v n="$(cat "$work/nghttpd.rate")" \
  'BEGIN { printf "serve / nghttpd: %.0f%%\n", 100 * s / n }'
[[ $stored == ok ]]
