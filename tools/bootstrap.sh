#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks for building and testing.
# Quiet and quick when everything is there already.
set -euo pipefail
. "$(dirname "$0")/wine-env.sh" || exit 2

# "release": only what tools/release.sh needs, none of the test tools.
only_release=0
[ "${1:-}" != release ] || only_release=1
need=()
have_cmd() { command -v "$1" >/dev/null 2>&1; }
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

have_cmd cmake || need+=(cmake)
have_cmd make || need+=(make)
have_cmd python3 || need+=(python3)
have_cmd i686-w64-mingw32-g++-posix || need+=(g++-mingw-w64-i686-posix)
have_cmd x86_64-w64-mingw32-g++-posix || need+=(g++-mingw-w64-x86-64-posix)
# The shipped exes are built by the win32-thread compilers (tools/win32-threads.sh).
have_cmd i686-w64-mingw32-g++-win32 || need+=(g++-mingw-w64-i686-win32)
have_cmd x86_64-w64-mingw32-g++-win32 || need+=(g++-mingw-w64-x86-64-win32)
have_cmd osslsigncode || need+=(osslsigncode)
if [ "$only_release" = 0 ]; then
    have_cmd cppcheck || need+=(cppcheck)
    have_cmd localedef || need+=(locales)
    have_cmd x86_64-w64-mingw32-objdump || need+=(binutils-mingw-w64-x86-64)
    [ -x "$WINE64" ] || need+=(wine64)
    # Makes the i386 loader the 32-bit Wine's interpreter, where the kernel runs it.
    have_cmd patchelf || need+=(patchelf)
    have_cmd makensis || need+=(nsis)
    have_cmd wixl || need+=(wixl)
    have_cmd openssl || need+=(openssl)
    # Checks the release's SBOM against the CycloneDX schema.
    /usr/bin/python3 -c 'import jsonschema' 2>/dev/null || need+=(python3-jsonschema)
    # Fetches that schema (tools/cyclonedx-schemas.sh).
    have_cmd npm || need+=(npm)
    [ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
    # Wine's user32 needs the mingw zlib1.dll, which the 32-bit Wine takes from here.
    [ -f /usr/i686-w64-mingw32/lib/zlib1.dll ] || need+=(libz-mingw-w64)
fi

if [ ${#need[@]} -gt 0 ]; then
    echo "bootstrap: installing ${need[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq >/dev/null
    apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

# The 32-bit Wine that runs the shipped exe and its tests, in a root of the
# project's own (nothing i386 is installed on the system).
[ "$only_release" = 1 ] || "$TIRN_ROOT/tools/wine32-root.sh" "$WINE32_ROOT"
# The schemas the release test checks the SBOM against.
[ "$only_release" = 1 ] || "$TIRN_ROOT/tools/cyclonedx-schemas.sh" "$TIRN_ROOT/build/cyclonedx"
