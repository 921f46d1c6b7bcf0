#!/usr/bin/env bash
# The page in Debian's chromium (playwright-core) or, given `firefox`, Debian's firefox-esr
# (puppeteer-core over WebDriver BiDi), both from the lock file and never a downloaded browser,
# with pushes from node-apn.
set -euo pipefail
cd "$(dirname "$0")"
if [[ ! -d node_modules/playwright-core ]] || [[ ! -d node_modules/puppeteer-core ]] ||
   [[ package-lock.json -nt node_modules/.package-lock.json ]]; then
  PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error
fi
export PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 PUPPETEER_SKIP_DOWNLOAD=1
exec node page_test.mjs "${1:-chromium}"
