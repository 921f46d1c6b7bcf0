#!/usr/bin/env bash
# node-apn from the lock file, into tests/serve/node_modules (never globally), then the phone scenarios.
set -euo pipefail
cd "$(dirname "$0")"
if [[ ! -d node_modules/@parse/node-apn ]] || [[ ! -d node_modules/playwright-core ]] || [[ package-lock.json -nt node_modules/.package-lock.json ]]; then
  PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error
fi
exec node phone_test.mjs
