#!/usr/bin/env bash
# Installs the Debian packages the build needs and the machine lacks.
#   scripts/setup.sh          what the demo and the tests need
#   scripts/setup.sh --ci     also clang with libFuzzer and the mingw-w64 cross-compiler
set -euo pipefail

packages=(cmake make g++ libgtest-dev libgmock-dev libbenchmark-dev libsqlite3-dev libtbb-dev time)
if [[ "${1:-}" == "--ci" ]]; then
  packages+=(clang libclang-rt-14-dev g++-mingw-w64-x86-64-posix)
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

if [[ $(id -u) -ne 0 ]]; then
  if command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
    as_root=(sudo -n)
  else
    echo "setup: these Debian packages are missing: ${missing[*]}" >&2
    echo "setup: run as root (or install them with: sudo apt-get install ${missing[*]})" >&2
    exit 1
  fi
else
  as_root=()
fi

echo "setup: installing ${missing[*]}"
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
