#!/usr/bin/env bash
# Builds the family and runs the demo: the tools on sample files and a client
# program that uses the libraries.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default
examples/demo.sh build
