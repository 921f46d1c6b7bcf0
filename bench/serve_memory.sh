#!/usr/bin/env bash
# The resident memory of `tolvex-widget serve` across one long h2load run of valid Live Activity
# updates over TLS (each stored durably before its answer): at the start, after 10% and 50% of the
# pushes, and at the end, with the peak. Memory that grows with the number of pushes shows here.
#
#   bench/serve_memory.sh [REQUESTS (1000000)] [CONNECTIONS (4)] [STREAMS (50)]
set -euo pipefail
cd "$(dirname "$0")/.."
requests=${1:-1000000}
connections=${2:-4}
streams=${3:-50}
source bench/serve_setup.sh

serve=${pids[0]}
status() { sed -n "s/^$1:[[:space:]]*\([0-9]*\) kB/\1/p" "/proc/$serve/status"; }
report() { printf '%10s pushes  VmRSS %7d kB\n' "$1" "$(status VmRSS)"; }

echo "h2load -n $requests -c $connections -m $streams, TLS, $(wc -c <"$work/update.json")-byte updates"
report 0
h2load -n "$requests" -c "$connections" -m "$streams" -d "$work/update.json" "${headers[@]}" \
  "https://127.0.0.1:$port/3/device/$update" >"$work/h2load.txt" 2>&1 &
load=$!
seen=()
while kill -0 "$load" 2>/dev/null; do
  for percent in 10 50; do
    if [[ ! " ${seen[*]} " == *" $percent "* ]] && grep -q "progress: $percent% done" "$work/h2load.txt"; then
      seen+=("$percent")
      report "$((requests * percent / 100))"
    fi
  done
  sleep 0.2
done
wait "$load"
report "$requests"
printf 'peak VmHWM %d kB; %s\n' "$(status VmHWM)" \
  "$(sed -n 's/^status codes: \([0-9]*\) 2xx.*/\1 answered 2xx/p' "$work/h2load.txt")"
sed -n 's/^finished in \([^,]*\), \([0-9.]*\) req\/s.*/finished in \1, \2 pushes\/s/p' "$work/h2load.txt"
