#!/usr/bin/env bash
# Runs every test: static analysis, then the test suites of both builds under
# Wine, the shipped 32-bit one's and the 64-bit one's.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/build.sh"
"$root/tools/cppcheck.sh"
status=0
for build in x86 x64; do
    echo "== $build build"
    (cd "$root/build/$build" && ctest --output-on-failure "$@") || status=1
done
exit $status
