# Shared by the serve benchmarks: starts `tolvex-widget serve` in a scratch state folder, starts
# one Download activity by push, and leaves in $work/update.json a valid update to its update token
# ($update), with the request headers in "${headers[@]}". Everything started is stopped on exit.
bin=${TOLVEX_WIDGET:-build/release/apps/tolvex-widget/tolvex-widget}
for tool in h2load ${extra_tools:-} curl; do
  command -v $tool >/dev/null || { echo "bench: $tool is missing (nghttp2-client, nghttp2-server, curl)" >&2; exit 3; }
done

work=$(mktemp -d)
pids=()
stop_all() {
  for p in "${pids[@]}"; do { kill -9 "$p" && wait "$p"; } 2>/dev/null || true; done
  rm -rf "$work"
}
trap stop_all EXIT

# A budget no run spends: the benchmarks measure updates applied, not throttled.
"$bin" serve --apns-port 0 --page-port 0 --state "$work/state" --priority10-budget 1000000000 >"$work/serve.out" 2>"$work/serve.err" &
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

