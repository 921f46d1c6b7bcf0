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
extra_tools=nghttpd
source bench/serve_setup.sh

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
