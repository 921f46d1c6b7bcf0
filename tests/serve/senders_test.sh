#!/usr/bin/env bash
# What a sender's integration tests need from `serve`, as curl meets it: every answer of the
# service on demand (fault rules, from the page API and from --faults), two environments, and
# waits for a verdict; then the same faults as node-apn meets them (senders_test.mjs).
source "$(dirname "$0")/serve_lib.sh"

page() {  # page METHOD PATH [BODY]: prints "STATUS BODY" of the page API's answer
  local method=$1 path=$2
  curl -sS -X "$method" -o "$SCRATCH/page" -w '%{http_code}' ${3+--data-binary "$3"} \
    "$PAGE_URL$path"
  printf ' %s\n' "$(cat "$SCRATCH/page")"
}

# push_h TOKEN [curl options...]: like push, with the answer's headers kept in $SCRATCH/headers.
push_h() {
  local token=$1
  shift
  push "$token" "$(start_body)" -D "$SCRATCH/headers" "$@"
}

# A bad file of rules is refused before anything listens, with exit 2 and the rule named.
printf '[{"reason":"TooManyRequests"},{"reason":"TooManyRequest"}]' >"$SCRATCH/bad.json"
status=0
"$BIN" serve --apns-port 0 --page-port 0 --state "$SCRATCH/bad" --faults "$SCRATCH/bad.json" \
  >/dev/null 2>"$SCRATCH/bad.err" || status=$?
[[ $status -eq 2 ]] || fail "a bad --faults file: exit $status"
grep -qF 'rule 2: reason "TooManyRequest" is none of the service' "$SCRATCH/bad.err" ||
  fail "a bad --faults file: $(cat "$SCRATCH/bad.err")"

printf '[{"reason":"ServiceUnavailable","match":{"tokenPrefix":"5E5E"}}]' >"$SCRATCH/faults.json"
start_serve "$SCRATCH/state" --production-port 0 --faults "$SCRATCH/faults.json"
info=$(curl -sS "$PAGE_URL/api/info")
PRODUCTION_PORT=$(sed -n 's/.*"production":\([0-9]*\).*/\1/p' <<<"$info")
[[ -n $PRODUCTION_PORT && $PRODUCTION_PORT != "$PUSH_PORT" ]] || fail "no production port: $info"
[[ $info == *"\"development\":$PUSH_PORT"* && $info == *'"signatureChecked":false'* ]] ||
  fail "info: $info"

got=$(push "$(printf '5e%.0s' $(seq 32))" "$(start_body)")
[[ $got == '503 {"reason":"ServiceUnavailable"}' ]] || fail "the rule of --faults: $got"

# Every status and reason of the service's table, each from a rule that answers once.
FAULTED=$(printf 'fa%.0s' $(seq 32))
while read -r status reasons; do
  for reason in $reasons; do
    created=$(page POST /api/faults "{\"reason\":\"$reason\",\"times\":1,\"match\":{\"token\":\"$FAULTED\"}}")
    [[ $created == "201 "*"\"status\":$status,\"reason\":\"$reason\""* ]] ||
      fail "rule for $reason: $created"
    got=$(push "$FAULTED" "$(start_body)")
    [[ $got == "$status {\"reason\":\"$reason\""* ]] || fail "$reason: expected $status, got $got"
  done
done <<'TABLE'
400 BadCollapseId BadDeviceToken BadExpirationDate BadMessageId BadPriority BadTopic DeviceTokenNotForTopic DuplicateHeaders IdleTimeout InvalidPushType MissingDeviceToken MissingTopic PayloadEmpty TopicDisallowed
403 BadCertificate BadCertificateEnvironment ExpiredProviderToken Forbidden InvalidProviderToken MissingProviderToken UnrelatedKeyIdInToken BadEnvironmentKeyIdInToken BadEnvironmentKeyInToken
404 BadPath
405 MethodNotAllowed
410 ExpiredToken Unregistered
413 PayloadTooLarge
429 TooManyProviderTokenUpdates TooManyRequests
500 InternalServerError
503 ServiceUnavailable Shutdown
TABLE
# Used up: the device answers again. The history says which rule answered.
[[ $(push "$FAULTED" "$(start_body)") == "200 " ]] || fail "a used-up rule still answers"
last=$(curl -sS "$PAGE_URL/api/pushes?limit=2" | tr -d '\n')
[[ $last == *'"verdict":"rejected","error":"injected fault: 503 Shutdown (rule '*'; 0 matches left)"'* ]] ||
  fail "history of a fault: $last"

# The kinds of fault, as curl sees them.
rule=$(page POST /api/faults '{"reason":"TooManyRequests","retryAfterSeconds":30,"times":1,"match":{"tokenPrefix":"1a"}}')
[[ $rule == '201 {"id":"'* ]] || fail "429 rule: $rule"
got=$(push_h "$(printf '1a%.0s' $(seq 32))")
[[ $got == '429 {"reason":"TooManyRequests"}' ]] || fail "429: $got"
grep -qi '^retry-after: 30' "$SCRATCH/headers" || fail "429 without Retry-After: $(cat "$SCRATCH/headers")"
page POST /api/faults '{"reason":"Unregistered","match":{"tokenPrefix":"1b"}}' >/dev/null
got=$(push "$(printf '1b%.0s' $(seq 32))" "$(start_body)")
[[ $got == '410 {"reason":"Unregistered","timestamp":'* ]] || fail "410: $got"

page POST /api/faults '{"reason":"InternalServerError","delaySeconds":1.5,"match":{"tokenPrefix":"1c"}}' >/dev/null
took=$(curl -sS --http2 --cacert "$CA" -o /dev/null -w '%{http_code} %{time_total}' \
  -H "authorization: bearer $(provider_token)" -H 'apns-push-type: liveactivity' \
  -H "apns-topic: $TOPIC" --data-binary "$(start_body)" \
  "https://localhost:$PUSH_PORT/3/device/$(printf '1c%.0s' $(seq 32))")
[[ ${took%% *} == 500 ]] && awk -v t="${took#* }" 'BEGIN { exit !(t >= 1.4) }' ||
  fail "a delayed 500: $took"

# A reset stream is an error to curl (92: an HTTP/2 stream error).
page POST /api/faults '{"action":"reset","match":{"tokenPrefix":"1d"}}' >/dev/null
status=0
command curl -sS --max-time 30 --http2 --cacert "$CA" -o /dev/null -H "authorization: bearer $(provider_token)" \
  -H 'apns-push-type: liveactivity' -H "apns-topic: $TOPIC" --data-binary "$(start_body)" \
  "https://localhost:$PUSH_PORT/3/device/$(printf '1d%.0s' $(seq 32))" 2>"$SCRATCH/reset.err" ||
  status=$?
[[ $status -eq 92 ]] || fail "reset: curl exit $status: $(cat "$SCRATCH/reset.err")"

# A GOAWAY leaves the push unprocessed and closes the connection: curl 7.88 gives up on it (16,
# an HTTP/2 framing error); the next push, on a new connection, goes through.
page POST /api/faults '{"action":"goaway","reason":"Shutdown","times":1,"match":{"tokenPrefix":"1e"}}' >/dev/null
status=0
command curl -sS --max-time 30 --http2 --cacert "$CA" -o /dev/null -v -H "authorization: bearer $(provider_token)" \
  -H 'apns-push-type: liveactivity' -H "apns-topic: $TOPIC" --data-binary "$(start_body)" \
  "https://localhost:$PUSH_PORT/3/device/$(printf '1e%.0s' $(seq 32))" 2>"$SCRATCH/goaway.err" ||
  status=$?
[[ $status -eq 16 ]] && grep -q 'GOAWAY, error=0, last_stream=0' "$SCRATCH/goaway.err" ||
  fail "goaway: curl exit $status: $(tail -5 "$SCRATCH/goaway.err")"
[[ $(push "$(printf '1e%.0s' $(seq 32))" "$(start_body)") == "200 " ]] || fail "after a goaway"
history=$(curl -sS "$PAGE_URL/api/pushes?limit=2" | tr -d '\n')
[[ $history == *'"verdict":"applied"'*'"status":0,"reason":"Shutdown","verdict":"rejected","error":"injected fault: GOAWAY Shutdown'* ]] ||
  fail "goaway history: $history"

# The rules as the page API lists them, and their removal.
list=$(page GET /api/faults)
[[ $list == '200 {"faults":[{"id":"1","match":{"tokenPrefix":"5E5E"}'* ]] || fail "list: $list"
[[ $list == *'"times":1,"left":0,"action":"goaway"}]}' ]] || fail "list: $list"
[[ $(page DELETE /api/faults/1) == "204 " ]] || fail "delete"
[[ $(page DELETE /api/faults/1) == "404 "* ]] || fail "delete twice"
[[ $(page POST /api/faults '{"reason":"TooManyRequests","retry_after":3}') == "400 "*'no member \"retry_after\"'* ]] ||
  fail "a rule with a typo"
[[ $(push "$(printf '5e%.0s' $(seq 32))" "$(start_body)") == "200 " ]] || fail "a deleted rule answers"

# Two environments: apns-unique-id from development only; a rule for one environment. Each
# device stays in the environment it was first seen in.
DEV_DEVICE=$(printf 'cd%.0s' $(seq 32))
PROD_DEVICE=$(printf 'ce%.0s' $(seq 32))
[[ $(push_h "$DEV_DEVICE") == "200 " ]] || fail "development push"
grep -qi '^apns-unique-id:' "$SCRATCH/headers" || fail "development without apns-unique-id"
[[ $(PUSH_PORT=$PRODUCTION_PORT push_h "$PROD_DEVICE") == "200 " ]] || fail "production push"
grep -qi '^apns-unique-id:' "$SCRATCH/headers" && fail "production sent apns-unique-id"
page POST /api/faults '{"reason":"TooManyRequests","match":{"environment":"production"}}' >/dev/null
[[ $(PUSH_PORT=$PRODUCTION_PORT push "$PROD_DEVICE" "$(start_body)") == "429 "* ]] ||
  fail "a production rule on production"
[[ $(push "$DEV_DEVICE" "$(start_body)") == "200 " ]] || fail "a production rule on development"

# Waits: answered at once for a stored push, after a late one, and 404 once the wait is over.
ID1=6f0a3c2e-1b2d-4e5f-8a9b-0c1d2e3f4a5b
push "$DEVICE" "$(start_body)" -H "apns-id: $ID1" >/dev/null
got=$(page GET "/api/pushes/$ID1?wait=10")
[[ $got == "200 {\"apnsId\":\"$ID1\""*'"deliveries":[{"activityId":"'* ]] || fail "wait for a stored push: $got"
ACTIVITY=$(sed -n 's/.*"activityId":"\([0-9a-f-]*\)".*/\1/p' <<<"${got%%\"deliveries\"*}")

ID2=6f0a3c2e-1b2d-4e5f-8a9b-0c1d2e3f4a5c
(curl -sS -o "$SCRATCH/late" -w '%{http_code} %{time_total}' "$PAGE_URL/api/pushes/$ID2?wait=20" \
  >"$SCRATCH/late.status") &
waiter=$!
ACTIVITIES=$(curl -sS "$PAGE_URL/api/activities/$ACTIVITY/pushes" | grep -o '"apnsId"' | wc -l)
(curl -sS -o "$SCRATCH/next" -w '%{http_code}' \
  "$PAGE_URL/api/activities/$ACTIVITY?wait=20&after=$ACTIVITIES" >"$SCRATCH/next.status") &
next=$!
sleep 1
update_token=$(curl -sS "$PAGE_URL/api/activities/$ACTIVITY" | sed -n 's/.*"updateToken":"\([0-9a-f]*\)".*/\1/p')
[[ -n $update_token ]] || fail "no update token for $ACTIVITY"
push "$update_token" "$(update_body $(($(date +%s) + 5)) 0.75)" -H "apns-id: $ID2" >/dev/null
wait "$waiter" "$next"
read -r code seconds <"$SCRATCH/late.status" || true  # no final newline
[[ $code == 200 ]] && awk -v t="$seconds" 'BEGIN { exit !(t >= 0.9 && t < 10) }' ||
  fail "wait for a late push: $code after $seconds s: $(cat "$SCRATCH/late")"
grep -q '"verdict":"applied"' "$SCRATCH/late" || fail "late push: $(cat "$SCRATCH/late")"
[[ $(cat "$SCRATCH/next.status") == 200 ]] && grep -q '"progress":0.75' "$SCRATCH/next" ||
  fail "wait for the activity's next push: $(cat "$SCRATCH/next.status") $(cat "$SCRATCH/next")"

took=$(curl -sS -o /dev/null -w '%{http_code} %{time_total}' \
  "$PAGE_URL/api/pushes/00000000-0000-4000-8000-000000000000?wait=1")
[[ ${took%% *} == 404 ]] && awk -v t="${took#* }" 'BEGIN { exit !(t >= 0.95 && t < 5) }' ||
  fail "404 after the wait: $took"
[[ $(page GET "/api/pushes/$ID1?wait=31") == "400 "* ]] || fail "a wait beyond 30 s"
stop_serve

# A key for development alone: refused on production as the service spells it.
start_serve "$SCRATCH/keyed" --production-port 0 --auth-key-environment development
PRODUCTION_PORT=$(curl -sS "$PAGE_URL/api/info" | sed -n 's/.*"production":\([0-9]*\).*/\1/p')
got=$(PUSH_PORT=$PRODUCTION_PORT push "$DEVICE" "$(start_body)")
[[ $got == '403 {"reason":"BadEnvironmentKeyInToken"}' ]] || fail "key on production: $got"
[[ $(push "$DEVICE" "$(start_body)") == "200 " ]] || fail "key on development"
history=$(curl -sS "$PAGE_URL/api/pushes?limit=2" | tr -d '\n')
[[ $history == *'"error":"the key is for the development environment only (--auth-key-environment), and the push came to the production endpoint"'* ]] ||
  fail "why of BadEnvironmentKeyInToken: $history"
[[ $history == *'"warnings":["signature not checked: start serve with --auth-key"'* ]] ||
  fail "no note of the unchecked signature: $history"
stop_serve
echo "senders_test (curl): ok"

# node-apn, from the lock file, into tests/serve/node_modules (never globally).
cd "$(dirname "$0")"
if [[ ! -d node_modules/@parse/node-apn ]] || [[ package-lock.json -nt node_modules/.package-lock.json ]]; then
  PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error
fi
node senders_test.mjs
