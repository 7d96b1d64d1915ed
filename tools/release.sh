#!/usr/bin/env bash
# Usage: tools/release.sh
#
# Builds both exes (nothing else, in build/release/) and writes
# dist/TIRNFuncts-<version>.zip. With TIRN_SIGN_PFX (a PKCS#12 file) and
# TIRN_SIGN_PASSWORD set (empty for a key without a password), both exes
# are signed before the checksums are taken, and time-stamped by
# TIRN_SIGN_TIMESTAMP_URL when that is set too.
# Every date in the zip is the time of the last commit, or SOURCE_DATE_EPOCH.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

fail() {
    echo "release: $*" >&2
    exit 1
}

# The password stays in this shell: exported, it would reach every child
# (apt, cmake, the compilers), whose /proc/<pid>/environ shows it.
password_set=${TIRN_SIGN_PASSWORD+set}
password=${TIRN_SIGN_PASSWORD-}
unset TIRN_SIGN_PASSWORD

# Checked before the build: half a signing set-up would give an unsigned release.
signing=0
if [ -n "${TIRN_SIGN_PFX:-}" ] || [ -n "$password_set" ]; then
    [ -n "${TIRN_SIGN_PFX:-}" ] && [ -n "$password_set" ] ||
        fail "signing needs both TIRN_SIGN_PFX and TIRN_SIGN_PASSWORD"
    [ -f "$TIRN_SIGN_PFX" ] || fail "no file $TIRN_SIGN_PFX"
    signing=1
    sign=(osslsigncode sign -pkcs12 "$TIRN_SIGN_PFX" -h sha256 -n TIRNFuncts)
    [ -z "${TIRN_SIGN_TIMESTAMP_URL:-}" ] || sign+=(-ts "$TIRN_SIGN_TIMESTAMP_URL")
fi

# sign_exe <in> <out>
sign_exe() {
    if [ -n "$password" ]; then
        # Through a pipe: not on its command line, not on disk.
        "${sign[@]}" -readpass <(printf '%s' "$password") -in "$1" -out "$2"
    else
        # An empty pipe is an error to osslsigncode; a key without a password needs none.
        "${sign[@]}" -in "$1" -out "$2"
    fi
}
version=$(sed -n 's/^project(TIRNFuncts VERSION \([0-9][0-9.]*\)[ )].*/\1/p' "$root/CMakeLists.txt")
[ -n "$version" ] || fail "no version in project() of CMakeLists.txt"
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || true)}
[ -n "$epoch" ] || fail "not a git clone: set SOURCE_DATE_EPOCH to the sources' time"
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && [ -n "$(git -C "$root" status --porcelain)" ]; then
    echo "release: warning: the sources differ from the last commit" >&2
fi

"$root/tools/bootstrap.sh" release

name=TIRNFuncts-$version
work=$root/build/release
stage=$work/$name
# A failed release leaves no zip behind, not even an older one.
rm -rf "$stage" "$root/dist/$name.zip"
mkdir -p "$stage/x86" "$stage/x64" "$stage/examples"

for arch in x86 x64; do
    case $arch in
    x86) toolchain=i686 ;;
    x64) toolchain=x86_64 ;;
    esac
    cmake -S "$root" -B "$work/$arch" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$toolchain.cmake" -DTIRN_BUILD_TESTS=OFF >/dev/null
    cmake --build "$work/$arch" -j "$(nproc)" -- --no-print-directory -s
    exe=$work/$arch/TIRNFuncts.exe
    if [ $signing = 1 ]; then
        sign_exe "$exe" "$stage/$arch/TIRNFuncts.exe" >"$work/sign-$arch.log" 2>&1 || {
            cat "$work/sign-$arch.log" >&2
            fail "signing $arch/TIRNFuncts.exe failed"
        }
    else
        cp "$exe" "$stage/$arch/TIRNFuncts.exe"
    fi
done
cp "$root/README.md" "$root/CHANGELOG.md" "$root/SECURITY.md" "$root/LICENSE" "$stage/"
cp "$root"/examples/* "$stage/examples/"
# What went into the exes as they ship (signed or not), from the builds' linker maps.
python3 "$root/tools/sbom.py" "$stage/sbom.cdx.json" "$version" "$epoch" "$stage" x86="$work/x86" x64="$work/x64"

(cd "$stage" && find . -type f -printf '%P\n' | LC_ALL=C sort | xargs -d '\n' sha256sum) >"$work/SHA256SUMS"
mv "$work/SHA256SUMS" "$stage/SHA256SUMS"

mkdir -p "$root/dist"
python3 "$root/tools/release-zip.py" "$stage" "$work/$name.zip" "$epoch"
mv -f "$work/$name.zip" "$root/dist/$name.zip"
if [ $signing = 1 ]; then
    echo "release: dist/$name.zip, both exes signed"
else
    echo "release: dist/$name.zip, the exes are NOT signed (TIRN_SIGN_PFX and TIRN_SIGN_PASSWORD not set)"
fi
