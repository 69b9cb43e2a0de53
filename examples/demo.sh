#!/usr/bin/env bash
# Runs the demo from a built tree: examples/demo.sh [build folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
bin="$build/bin"

echo "######## voka_demo: error records, formatting, code pages, message tables"
VOKA_DEBUG_OUTPUT=stderr "$bin/voka_demo"

echo
echo "######## voka_oxa_demo: the task library (parallel and sequential managers); leaks would show on stderr"
VOKA_DEBUG_OUTPUT=stderr "$bin/voka_oxa_demo"

echo
echo "######## glossel: rewriting tools/textrewriter/samples/greeting.c"
out=$(mktemp)
trap 'rm -f "$out"' EXIT
"$bin/glossel" tools/textrewriter/samples/greeting.c "$out"
echo "-------- source"
cat tools/textrewriter/samples/greeting.c
echo "-------- rewritten"
cat "$out"

echo
echo "######## tarnwick: writing, reading and deleting a resource of a sample module"
work=$(mktemp -d)
trap 'rm -f "$out"; rm -rf "$work"' EXIT
cp tools/restool/tests/fixtures/sample64.dll "$work/"
printf 'Hello from the demo.' > "$work/new.bin"
set -x
"$bin/tarnwick" -write -module "$work/sample64.dll" -file "$work/new.bin" -type "#10" -name GREETING -lang 1033
"$bin/tarnwick" -read -module "$work/sample64.dll" -file "$work/out.bin" -type "#10" -name GREETING -lang 1033
{ set +x; } 2>/dev/null
echo "read back: $(cat "$work/out.bin")"
set -x
"$bin/tarnwick" -del -module "$work/sample64.dll" -type "#10" -name GREETING -lang 1033
"$bin/tarnwick" -read -module "$work/sample64.dll" -file "$work/out.bin" -type "#10" -name GREETING -lang 1033 || true
{ set +x; } 2>/dev/null
"$bin/tarnwick" -help
echo "-------- the task library's own resources: its VOKA.BINARY_INFO document"
"$bin/tarnwick" -read -module "$build/lib/libvoka.infrastructure.multitasking.oxa-v03_vc17_w32_i.so" \
  -file "$work/binary_info.xml" -type VOKA.BINARY_INFO -id 1 -lang 1033
cat "$work/binary_info.xml"

echo
echo "######## voka-reg: a small configuration in a registry of its own"
export VOKA_REGISTRY="$work/registry.db"
"$bin/voka-reg" add 'HKCU\Software\Voka\Demo' -v Greeting -d 'Hello from the demo'
"$bin/voka-reg" add 'HKCU\Software\Voka\Demo' -v Retries -t REG_DWORD -d 3
"$bin/voka-reg" query 'HKCU\Software\Voka' -s

echo
echo "######## registry storage service: a configuration written through the COM gate and walked back"
"$bin/voka_registry_service_demo"
"$bin/voka-reg" query 'HKCU\Software\Voka\ServiceDemo' -s
