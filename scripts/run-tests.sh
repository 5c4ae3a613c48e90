#!/usr/bin/env bash
# The whole test suite: a warnings-as-errors build with every test, then the unit tests again under
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

cmake --preset ci >/dev/null
cmake --build --preset ci
ctest --preset ci -j2

cmake --preset asan >/dev/null
cmake --build --preset asan --target lumacore_unit_tests
ctest --preset asan -j2 -L unit
