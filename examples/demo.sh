#!/usr/bin/env bash
# Runs the demo from a built tree: examples/demo.sh [build folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
bin="$build/bin"

echo "######## voka_demo: error records, formatting, code pages, message tables"
VOKA_DEBUG_OUTPUT=stderr "$bin/voka_demo"
