#!/usr/bin/env bash
# Serves the page built by scripts/build_web.sh on http://127.0.0.1:PORT/
# (default 8080) until Ctrl+C; any static server of build-web/site does the same.
set -euo pipefail
cd "$(dirname "$0")/.."
exec node web/serve.mjs build-web/site "${1:-8080}"
