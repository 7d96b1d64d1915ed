#!/usr/bin/env bash
# Runs every test: static analysis, then the test suites under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/build.sh"
"$root/tools/cppcheck.sh"
cd "$root/build/x64"
ctest --output-on-failure "$@"
