#!/usr/bin/env bash
# Runs the demo from a built tree: examples/demo.sh [build folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
bin="$build/bin"

echo "######## voka_demo: error records, formatting, code pages, message tables"
VOKA_DEBUG_OUTPUT=stderr "$bin/voka_demo"

echo
echo "######## glossel: rewriting tools/textrewriter/samples/greeting.c"
out=$(mktemp)
trap 'rm -f "$out"' EXIT
"$bin/glossel" tools/textrewriter/samples/greeting.c "$out"
echo "-------- source"
cat tools/textrewriter/samples/greeting.c
echo "-------- rewritten"
cat "$out"
