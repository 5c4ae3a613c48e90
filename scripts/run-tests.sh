#!/usr/bin/env bash
# The whole test suite: a warnings-as-errors build with every test, then every test again under
# AddressSanitizer and UndefinedBehaviorSanitizer (the command line too, through the integration tests
# and a short corrupted-image sweep).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

cmake --preset ci >/dev/null
cmake --build --preset ci
ctest --preset ci -j2
# The Debian package in a fresh Debian 12 root (debootstrap and chroot need root).
if [ "$(id -u)" -eq 0 ]; then
    scripts/test-package.sh build-ci
else
    echo "run-tests.sh: the package test needs root; skipped" >&2
fi

cmake --preset asan >/dev/null
cmake --build --preset asan
ctest --preset asan -j2

# Three minutes of the corrupted-image sweep on the sanitizer build (the long run: scripts/run-sweep.sh).
# A fixed seed keeps the CI run repeatable; scripts/run-sweep.sh draws a new one each time.
scripts/sweep.py --seconds 180 --seed 20261208
