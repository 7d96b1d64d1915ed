#!/bin/sh
# Compiler and linker launcher of the shipped exes: CMake's compiler is the
# posix-thread mingw-w64 one, which the tests need; the exes are built by its
# win32-thread twin, so that they carry no thread runtime (they run one
# thread) and no start-up of one that could fail before WinMain.
compiler=$1
shift
exec "${compiler%-posix}-win32" "$@"
