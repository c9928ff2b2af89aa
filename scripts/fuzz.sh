#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz": clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a bounded time on a copy of its
# seed corpus in fuzz/corpus/. Fails when any target finds an input that
# crashes, hangs, leaks or breaks one of its properties.
#
#   scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]
#
# The default, 20 seconds for each of the five targets, is the bounded run CI
# makes; a longer run is the same command with a larger number, for example
#   scripts/fuzz.sh 1800
# Targets: credential_file profile cipher statement command_line (all by default).
#
# The corpus grown during a run lives in a temporary directory and is thrown
# away; nothing is written into fuzz/. Inputs that fail are kept in
# build/fuzz/artifacts/TARGET/, the full logs in build/fuzz/logs/; replay one
# with build/fuzz/bin/fuzz_TARGET ARTIFACT.
set -euo pipefail

seconds="${1:-20}"
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: $0 [SECONDS_PER_TARGET] [TARGET...]" >&2
  exit 2
fi
shift || true
all_targets=(credential_file profile cipher statement command_line)
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all_targets[@]}")

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

for target in "${targets[@]}"; do
  if [ ! -d "fuzz/corpus/$target" ]; then
    echo "unknown fuzz target: $target (known: ${all_targets[*]})" >&2
    exit 2
  fi
done

if ! command -v clang++ >/dev/null 2>&1 ||
   ! compgen -G "/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a" >/dev/null; then
  echo "The fuzz targets need clang and libFuzzer. As root:" >&2
  echo "  apt-get update && apt-get install -y --no-install-recommends clang libclang-rt-14-dev" >&2
  exit 1
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2

build="$root/build/fuzz"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$build/logs"

export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"

failed=()
summary=()
for target in "${targets[@]}"; do
  artifacts="$build/artifacts/$target"
  log="$build/logs/$target.log"
  rm -rf "$artifacts"
  mkdir -p "$artifacts"
  cp -r "fuzz/corpus/$target" "$work/$target"
  echo "== fuzz_$target: $seconds s"
  status=0
  "$build/bin/fuzz_$target" "$work/$target" \
      -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -dict="$root/fuzz/dict/$target.dict" -artifact_prefix="$artifacts/" \
      -print_final_stats=1 >"$log" 2>&1 || status=$?
  runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)"
  if [ "$status" -eq 0 ]; then
    result="ok"
  else
    result="FAILED (exit status $status)"
    failed+=("$target")
    grep -E "property failed|ERROR: |SUMMARY: |runtime error|Test unit written" "$log" | head -n 20 >&2 || true
  fi
  summary+=("$(printf '%-16s %12s executions  %s' "$target" "${runs:-?}" "$result")")
done

echo
echo "Fuzzing, $seconds s per target:"
printf '  %s\n' "${summary[@]}"
if [ ${#failed[@]} -gt 0 ]; then
  echo "Failing inputs are in $build/artifacts/, logs in $build/logs/." >&2
  exit 1
fi
