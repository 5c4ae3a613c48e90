#!/bin/sh
# The result list with a million generated files: fill, every sort and tick-all must each take under a
# second. Kept out of the default test run (it takes about a minute and some 600 MB).
# Usage: scripts/gui-big-results.sh [BUILD_DIR] [FILE_COUNT]
set -eu
build=${1:-build}
count=${2:-1000000}
cmake --build "$build" --target result_views_speed_test
QT_QPA_PLATFORM=offscreen QT_SCALE_FACTOR=1 LUMACORE_BIG_RESULT_FILES="$count" \
    "$build/tests/gui/result_views_speed_test"
