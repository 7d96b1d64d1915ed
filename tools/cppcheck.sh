#!/usr/bin/env bash
# Static analysis of the product sources; any finding fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
cppcheck --quiet --error-exitcode=1 --enable=warning,performance,portability \
         --inline-suppr --std=c++17 --language=c++ -D_WIN32 -I . \
         app log devices twainds
echo "cppcheck: clean"
