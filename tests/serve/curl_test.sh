#!/usr/bin/env bash
# `serve` as curl and nghttp users meet it: each reason of the service's tables over TLS, one push
# with nghttp, the history on the page port, and a restart that keeps it.
source "$(dirname "$0")/serve_lib.sh"

start_serve "$SCRATCH/state"
[[ $(stat -c %a "$SCRATCH/state") == 700 ]] || fail "state folder is not 0700"
[[ $(stat -c %a "$CA") == 600 ]] || fail "certificate is not 0600"

expect() {  # expect "STATUS REASON" ACTUAL-LINE WHAT
  local want=$1 got=$2 what=$3
  local status=${got%% *} reason
  reason=$(sed -n 's/.*"reason":"\([A-Za-z]*\)".*/\1/p' <<<"$got")
  [[ "$status $reason" == "$want" ]] || fail "$what: expected '$want', got '$got'"
}

body=$(start_body)
expect "200 " "$(push "$DEVICE" "$body")" "a good start"
expect "400 BadDeviceToken" "$(push abc "$body")" "short token"
expect "400 MissingDeviceToken" "$(push "" "$body")" "no token"
expect "404 BadPath" "$(curl -sS --http2 --cacert "$CA" -o "$SCRATCH/answer" -w '%{http_code}' \
  -d x "https://localhost:$PUSH_PORT/3/devices/x"; printf ' %s' "$(cat "$SCRATCH/answer")")" "unknown path"
expect "405 MethodNotAllowed" "$(push "$DEVICE" "$body" -X PUT)" "PUT"
expect "400 DuplicateHeaders" "$(push "$DEVICE" "$body" -H 'apns-priority: 10' -H 'apns-priority: 5')" \
  "header twice"
expect "400 InvalidPushType" "$(TYPE='apns-push-type: alert2' push "$DEVICE" "$body")" "push type"
expect "400 MissingTopic" "$(TOPIC_HEADER='apns-topic;' push "$DEVICE" "$body")" "empty topic"
expect "400 DeviceTokenNotForTopic" "$(TOPIC_HEADER='apns-topic: com.tolvex.app' push "$DEVICE" "$body")" \
  "topic without suffix"
expect "400 BadPriority" "$(push "$DEVICE" "$body" -H 'apns-priority: 1')" "priority 1"
expect "400 BadExpirationDate" "$(push "$DEVICE" "$body" -H 'apns-expiration: x')" "expiration"
expect "400 BadMessageId" "$(push "$DEVICE" "$body" -H 'apns-id: nope')" "apns-id"
expect "400 BadCollapseId" "$(push "$DEVICE" "$body" -H "apns-collapse-id: $(printf 'c%.0s' $(seq 65))")" \
  "collapse id"
expect "400 PayloadEmpty" "$(push "$DEVICE" "")" "empty body"
expect "413 PayloadTooLarge" "$(push "$DEVICE" "$(head -c 5000 /dev/zero | tr '\0' ' ')")" "5000 bytes"
expect "403 MissingProviderToken" "$(AUTH='authorization;' push "$DEVICE" "$body")" "no token"
expect "403 InvalidProviderToken" "$(AUTH='authorization: bearer a.b.c' push "$DEVICE" "$body")" \
  "bad token"
expect "403 ExpiredProviderToken" \
  "$(AUTH="authorization: bearer $(provider_token $(($(date +%s) - 4000)))" push "$DEVICE" "$body")" \
  "old token"

# Two tokens on one connection within 20 minutes: curl reuses the connection for --next.
second=$(curl -sS --http2 --cacert "$CA" -o /dev/null -H "authorization: bearer $(provider_token)" \
  -H "apns-push-type: liveactivity" -H "apns-topic: $TOPIC" --data-binary "$body" \
  "https://localhost:$PUSH_PORT/3/device/$DEVICE" --next -sS --cacert "$CA" -w '%{http_code}' \
  -H "authorization: bearer $(provider_token $(($(date +%s) - 5)))" -H "apns-push-type: liveactivity" \
  -H "apns-topic: $TOPIC" --data-binary "$body" "https://localhost:$PUSH_PORT/3/device/$DEVICE")
[[ $second == *429* && $second == *TooManyProviderTokenUpdates* ]] || fail "token change: $second"

# Channels and broadcasts.
channels() {  # channels METHOD PATH [curl options...]: prints "STATUS BODY" and keeps the headers
  local method=$1 path=$2
  shift 2
  curl -sS --http2 --cacert "$CA" -X "$method" -o "$SCRATCH/answer" -D "$SCRATCH/headers" \
    -w '%{http_code}' -H "authorization: bearer $(provider_token)" "$@" \
    "https://localhost:$PUSH_PORT$path"
  printf ' %s\n' "$(cat "$SCRATCH/answer")"
}
expect "400 MissingPushType" "$(channels POST /1/apps/com.tolvex.app/channels -d '{"message-storage-policy":0}')" \
  "channel without push type"
expect "400 CannotCreateChannelConfig" "$(channels POST /1/apps/com.tolvex.app/channels \
  -d '{"message-storage-policy":0,"push-type":"Alert"}')" "channel of another push type"
expect "201 " "$(channels POST /1/apps/com.tolvex.app/channels -d '{"message-storage-policy":1,"push-type":"LiveActivity"}')" \
  "channel"
channel=$(sed -n 's/^apns-channel-id: *\([^\r]*\).*/\1/p' "$SCRATCH/headers")
[[ -n $channel ]] || fail "no apns-channel-id: $(cat "$SCRATCH/headers")"
expect "200 " "$(channels GET /1/apps/com.tolvex.app/channels -H "apns-channel-id: $channel")" "read channel"
expect "400 MissingChannelId" "$(channels GET /1/apps/com.tolvex.app/channels)" "read without id"
expect "400 BadChannelId" "$(channels GET /1/apps/com.tolvex.app/channels -H 'apns-channel-id: %%')" "bad id"
expect "400 ChannelNotRegistered" "$(channels POST /4/broadcasts/apps/com.tolvex.app \
  -H 'apns-channel-id: AAAAAAAAAAAAAAAAAAAAAA==' -H 'apns-push-type: liveactivity' -d '{}')" "unknown channel"
expect "200 " "$(channels POST /4/broadcasts/apps/com.tolvex.app -H "apns-channel-id: $channel" \
  -H 'apns-push-type: liveactivity' --data-binary "$(update_body "$(date +%s)" 0.5)")" "broadcast"
grep -qi '^apns-request-id:' "$SCRATCH/headers" || fail "broadcast without apns-request-id"
expect "204 " "$(channels DELETE /1/apps/com.tolvex.app/channels -H "apns-channel-id: $channel")" "delete channel"

# The update token the device reported, from the page port's API.
activities=$(curl -sS "$PAGE_URL/api/activities" | tr -d '\n')
update_token=$(sed -n 's/.*"updateToken":"\([0-9a-f]*\)".*/\1/p' <<<"$activities")
[[ ${#update_token} -eq 160 ]] || fail "no update token in $activities"
now=$(date +%s)
expect "200 " "$(push "$update_token" "$(update_body "$now" 0.5)")" "update"
expect "200 " "$(push "$update_token" "$(update_body $((now - 100)) 0.6)")" "older update"
expect "200 " "$(push "$update_token" "$(update_body $((now + 1)) '"half"')")" "bad state"
expect "200 " "$(push "$update_token" "{\"aps\":{\"timestamp\":$((now + 2)),\"event\":\"end\",\"dismissal-date\":1}}")" "end"
expect "410 Unregistered" "$(push "$update_token" "$(update_body $((now + 3)) 0.7)")" "after end"
grep -q '"timestamp":' "$SCRATCH/answer" || fail "410 without timestamp"

# One push with nghttp, the tool of nghttp2 itself.
if command -v nghttp >/dev/null; then
  printf '%s' "$(update_body "$now" 0.5)" >"$SCRATCH/update.json"
  out=$(nghttp -t 30 -v -H ":method: POST" -H "authorization: bearer $(provider_token)" \
    -H "apns-push-type: liveactivity" -H "apns-topic: $TOPIC" -d "$SCRATCH/update.json" \
    "https://127.0.0.1:$PUSH_PORT/3/device/$DEVICE" 2>&1) || true
  grep -q ':status: 200' <<<"$out" || fail "nghttp: $out"
fi

# The history, newest first, with each verdict.
history=$(curl -sS "$PAGE_URL/api/pushes?limit=7" | tr -d '\n')
for verdict in '"verdict":"rejected"' '"verdict":"ended"' '"verdict":"dropped"' \
  '"verdict":"ignored"' '"verdict":"applied"' '"error":"typeMismatch: \"aps.content-state.progress\": expected a number, found a string"'; do
  grep -qF "$verdict" <<<"$history" || fail "history lacks $verdict: $history"
done
[[ $(curl -s -o /dev/null -w '%{http_code}' -H 'Origin: http://evil.example' "$PAGE_URL/api/pushes") == 403 ]] ||
  fail "foreign origin not refused"
[[ $(curl -s -o /dev/null -w '%{http_code}' -H 'Host: evil.example' "$PAGE_URL/api/pushes") == 403 ]] ||
  fail "foreign host not refused"
created=$(curl -sS -w ' %{http_code}' -H 'content-type: application/json' \
  --data-binary @"$(dirname "$0")/../../examples/sign-activity.json" "$PAGE_URL/api/activities")
[[ $created == *' 201' && $created == *'"updateToken":"'* ]] || fail "local start: $created"

count=$(curl -sS "$PAGE_URL/api/pushes?limit=1000" | grep -o '"apnsId"' | wc -l)
stop_serve
start_serve "$SCRATCH/state"
again=$(curl -sS "$PAGE_URL/api/pushes?limit=1000" | grep -o '"apnsId"' | wc -l)
[[ $count -eq $again && $count -gt 20 ]] || fail "restart kept $again of $count pushes"
stop_serve

# With the sender's key, signatures are checked: `tolvex-widget token` makes one curl can send.
openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$SCRATCH/AuthKey.p8" 2>/dev/null
start_serve "$SCRATCH/signed" --auth-key "$SCRATCH/AuthKey.p8" --key-id ABC123DEFG --team-id DEF123GHIJ
JWT=$("$BIN" token --key "$SCRATCH/AuthKey.p8" --key-id ABC123DEFG --team-id DEF123GHIJ)
expect "200 " "$(AUTH="authorization: bearer $JWT" push "$DEVICE" "$(start_body)")" "signed token"
expect "403 InvalidProviderToken" "$(push "$DEVICE" "$(start_body)")" "unsigned token"
stop_serve
echo "curl_test: ok ($count pushes)"
