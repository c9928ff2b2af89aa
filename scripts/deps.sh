#!/usr/bin/env bash
# Installs the Debian packages a task needs, when they are missing.
#   scripts/deps.sh build   what building kolvadex and running the demo need
#   scripts/deps.sh test    that, plus what the whole test suite needs
#   scripts/deps.sh package what building the Debian package needs
#   scripts/deps.sh bench   what building kolvadex and running the benchmark need
# As root the missing packages are installed with apt-get; otherwise the exact
# apt-get line is printed and the script fails.
set -euo pipefail

build_packages=(g++ cmake ninja-build pkg-config libsqlite3-dev libpq-dev libcli11-dev sqlite3)
test_packages=(libgtest-dev libbenchmark-dev postgresql-15 clang clang-tidy libclang-rt-14-dev
               valgrind python3 hyperfine dpkg-dev file libssl-dev groff-base man-db)
# dpkg-shlibdeps (dpkg-dev) and file find the libraries the package depends on.
package_packages=(dpkg-dev file)
bench_packages=(libbenchmark-dev postgresql-15 valgrind)

case "${1:-build}" in
  build) wanted=("${build_packages[@]}") ;;
  test) wanted=("${build_packages[@]}" "${test_packages[@]}") ;;
  package) wanted=("${build_packages[@]}" "${package_packages[@]}") ;;
  bench) wanted=("${build_packages[@]}" "${bench_packages[@]}") ;;
  *) echo "usage: $0 build|test|package|bench" >&2; exit 2 ;;
esac

missing=()
for package in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

line="apt-get install -y --no-install-recommends ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "Missing Debian packages. Please run as root:" >&2
  echo "  apt-get update && $line" >&2
  exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
# shellcheck disable=SC2086
apt-get install -y -qq --no-install-recommends ${missing[*]} >/dev/null
