#!/usr/bin/env bash
# Builds the shipped 32-bit exe with its tests (build/x86) and the 64-bit exe
# with its tests (build/x64). Each build's tests also read the other's exe.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/bootstrap.sh"

jobs=$(nproc)
cmake -S "$root" -B "$root/build/x64" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-x86_64.cmake" \
      -DTIRN_EXE32="$root/build/x86/TIRNFuncts.exe" -DTIRN_BUILD_TESTS=ON >/dev/null
cmake -S "$root" -B "$root/build/x86" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686.cmake" \
      -DTIRN_EXE64="$root/build/x64/TIRNFuncts.exe" -DTIRN_BUILD_TESTS=ON >/dev/null
cmake --build "$root/build/x86" -j "$jobs" -- --no-print-directory -s
cmake --build "$root/build/x64" -j "$jobs" -- --no-print-directory -s
