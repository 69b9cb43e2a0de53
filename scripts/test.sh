#!/usr/bin/env bash
# Builds everything with the default preset and runs every test.
# VOKA_WERROR=ON turns warnings into errors (CI sets it).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake --preset default -DVOKA_WERROR="${VOKA_WERROR:-OFF}" >/dev/null
cmake --build --preset default
ctest --preset default
