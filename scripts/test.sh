#!/usr/bin/env bash
# Builds kolvadex and runs every test: the debug build (warnings are errors)
# and the build with AddressSanitizer and UndefinedBehaviorSanitizer. The
# PostgreSQL server the tests need is started and stopped by ctest itself.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test

for preset in default asan; do
  echo "=== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  echo "=== $preset: tests"
  ctest --preset "$preset"
done
