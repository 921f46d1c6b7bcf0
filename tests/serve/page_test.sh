#!/usr/bin/env bash
# The page in Debian's chromium, driven by playwright-core from the lock file (never a
# downloaded browser), with pushes from node-apn.
set -euo pipefail
cd "$(dirname "$0")"
if [[ ! -d node_modules/playwright-core ]] || [[ package-lock.json -nt node_modules/.package-lock.json ]]; then
  PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error
fi
export PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1
exec node page_test.mjs
