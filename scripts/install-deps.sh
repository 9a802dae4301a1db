#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those missing.
# Usage: install-deps.sh [--windows] [--octave]
# --windows adds the MinGW-w64 cross compiler and wine for the .mexw64 build and its tests;
# --octave adds GNU Octave (command line only) to run the MATLAB-language tests.
set -euo pipefail

packages=(cmake make g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev libsqlite3-dev sqlite3 libicu-dev python3
  clang libclang-rt-14-dev)
# Installed without their recommended packages: Octave recommends a plotting stack and a Java
# runtime the tests never use.
lean_packages=()
for option in "$@"; do
  case "$option" in
    --windows) packages+=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64 wine) ;;
    --octave) lean_packages+=(octave) ;;
    *) echo "usage: install-deps.sh [--windows] [--octave]" >&2; exit 2 ;;
  esac
done

# missing PACKAGE...: those not installed yet.
missing() {
  local package status
  for package in "$@"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || echo "$package"
  done
}
mapfile -t needed < <(missing "${packages[@]}")
mapfile -t lean_needed < <(missing "${lean_packages[@]}")
[[ ${#needed[@]} -eq 0 && ${#lean_needed[@]} -eq 0 ]] && exit 0

echo "Installing: ${needed[*]} ${lean_needed[*]}"
sudo=""
[[ $(id -u) -eq 0 ]] || sudo="sudo"
$sudo apt-get update -qq
export DEBIAN_FRONTEND=noninteractive
[[ ${#needed[@]} -eq 0 ]] || $sudo apt-get install -y -qq "${needed[@]}"
[[ ${#lean_needed[@]} -eq 0 ]] || $sudo apt-get install -y -qq --no-install-recommends "${lean_needed[@]}"
