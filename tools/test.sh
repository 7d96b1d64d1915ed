#!/usr/bin/env bash
# Runs every test: static analysis, then the test suites under Wine, in three
# runs: the shipped 32-bit exe on a 64-bit Windows (WoW64), the same build's
# platform suites on a 32-bit Windows, and the 64-bit exe. Arguments go to
# every ctest.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/build.sh"
"$root/tools/cppcheck.sh"
if [ -f "$root/build/wine32/native" ] && [ "${TIRN_WINE32_QEMU:-0}" != 1 ]; then
    echo "32-bit Wine: native (the kernel runs i386 programs)"
else
    echo "32-bit Wine: under qemu-i386"
fi
status=0
run() { # <title> <build> [ctest arguments]
    echo "== $1"
    local build=$2
    shift 2
    (cd "$root/build/$build" && ctest --output-on-failure "$@") || status=1
}
run "x86 build, 32-bit exe on 64-bit Windows (WoW64)" x86 -L wow64 "$@"
# The release fixtures ran in the WoW64 run; their signed exes are reused.
run "x86 build, 32-bit Windows" x86 -L x86 -FS 'release_.*' "$@"
run "x64 build, 64-bit Windows" x64 "$@"
exit $status
