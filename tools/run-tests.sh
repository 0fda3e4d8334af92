#!/usr/bin/env bash
# Builds every preset and runs every test: the default build, the
# AddressSanitizer/UndefinedBehaviorSanitizer build, and the fuzzers (each for
# a bounded time). Ends with one line that adds up all three runs.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
for preset in default sanitize fuzz; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
total=0 failed=0 skipped=0
for preset in default sanitize fuzz; do
  echo "=== ctest --preset $preset"
  ctest --preset "$preset" -j"$(nproc)" 2>&1 | tee "$log" || status=1
  summary=$(grep -E 'tests failed out of [0-9]+' "$log" | tail -n 1 || true)
  if [ -z "$summary" ]; then
    status=1
    continue
  fi
  total=$((total + $(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$summary")))
  failed=$((failed + $(sed -E 's/.* ([0-9]+) tests failed.*/\1/' <<<"$summary")))
  skipped=$((skipped + $(grep -cE '\*\*\*(Skipped|Not Run)' "$log" || true)))
done
echo
echo "Total: $((total - failed - skipped)) passed, $failed failed, $skipped skipped"
exit $status
