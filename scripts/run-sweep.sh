#!/usr/bin/env bash
# The long corrupted-image sweep: scripts/run-sweep.sh [SECONDS] [more sweep.py options]
# Builds the sanitizer command line, then damages fixture images and runs every command on them for
# SECONDS (default an hour) at the lowest priority. Failing images are kept in build-asan/sweep/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-3600}
shift || true

scripts/install-deps.sh
cmake --preset asan >/dev/null
cmake --build --preset asan --target lumacore-cli
exec nice -n 19 scripts/sweep.py --seconds "$seconds" "$@"
