#!/usr/bin/env bash
# Builds every preset and runs every test: the default build, the
# AddressSanitizer/UndefinedBehaviorSanitizer build, and the fuzzers
# (each for a bounded time). Stops at the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
for preset in default sanitize fuzz; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
status=0
for preset in default sanitize fuzz; do
  echo "=== ctest --preset $preset"
  ctest --preset "$preset" -j"$(nproc)" || status=1
done
exit $status
