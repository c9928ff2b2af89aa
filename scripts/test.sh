#!/usr/bin/env bash
# Builds kolvadex and runs every test:
#   - the debug build (warnings are errors) and its tests;
#   - the build with AddressSanitizer and UndefinedBehaviorSanitizer and its tests;
#   - the end-to-end tests once more with every run of the tools under valgrind;
#   - clang-tidy over the sources;
#   - a bounded run of every fuzz target;
#   - the benchmark once in its quick mode (that it works, not its timings).
# The PostgreSQL server the tests need is started and stopped by ctest itself.
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

# Twenty PostgreSQL runs at once under valgrind on a small machine outlast the
# connect timeout; that test runs in the two passes above.
echo "=== end-to-end tests under valgrind"
KOLVADEX_TEST_WRAPPER="valgrind --quiet --error-exitcode=99 --leak-check=full \
--show-leak-kinds=definite --errors-for-leak-kinds=definite" \
  ctest --preset default -L e2e -E TwentyRunsAtOnce

echo "=== clang-tidy"
scripts/tidy.sh

echo "=== fuzz targets, bounded run"
scripts/fuzz.sh

echo "=== benchmark, quick mode"
scripts/bench.sh --quick
