#!/usr/bin/env bash
# Builds the Debian package of kolvadex and prints its path:
#   scripts/package.sh     ->  build/package/kolvadex_<version>_<arch>.deb
# The build is the release build of the tools alone (no tests, no benchmarks)
# with the install prefix /usr, in build/package/ (preset "package"; the same
# as `cmake --workflow --preset package`). Install the result with
#   sudo apt install ./build/package/kolvadex_<version>_<arch>.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh package

cmake --preset package >/dev/null
cmake --build --preset package
log=$(cpack --preset package 2>&1)
deb=$(sed -n 's/^CPack: - package: \(.*\.deb\) generated\.$/\1/p' <<<"$log")
if [ -z "$deb" ] || [ ! -f "$deb" ]; then
  echo "$log" >&2
  echo "package.sh: cpack made no .deb" >&2
  exit 1
fi
echo "$deb"
