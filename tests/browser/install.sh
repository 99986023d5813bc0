#!/usr/bin/env bash
# Installs playwright-core, pinned by package-lock.json, next to the browser test. It drives
# Debian's /usr/bin/chromium; no browser build is downloaded.
set -euo pipefail
cd "$(dirname "$0")"
export PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1
npm ci --no-audit --no-fund --loglevel=error
