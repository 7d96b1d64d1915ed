#!/usr/bin/env bash
# Usage: wine32-root.sh <dir>
#
# Makes <dir> a root from which 32-bit Windows programs run: Debian's i386
# Wine of the host's wine64 version, unpacked there. Nothing i386 is
# installed on the system: a system-wide wine32 changes how wine64 makes its
# prefixes. Quick when <dir> is complete already.
#
# <dir>/wine is then the 32-bit counterpart of /usr/lib/wine/wine64 (for a
# 32-bit Windows), and <dir>/wow64/lib/wine/wine64 a wine64 that starts
# 32-bit programs as WoW64 processes (a 64-bit Windows). The i386 programs
# run natively where the kernel runs them (tried at set-up) and under
# qemu-i386 where it does not, or where TIRN_WINE32_QEMU=1 asks for it.
set -euo pipefail

[ $# -eq 1 ] || { echo "usage: $0 <dir>" >&2; exit 2; }
mkdir -p "$1"
dir=$(cd "$1" && pwd)
version=$(dpkg-query -W -f='${Version}' wine64)
stamp="$dir/.ready"
root="$dir/root"

unpack() {
    rm -f "$stamp"
    echo "wine32-root: setting up the 32-bit Wine $version in $dir" >&2

    # The archive this machine installs from, as its own apt sources name it.
    archive_uri() {
        local file
        for file in /etc/apt/sources.list.d/*.sources; do
            [ -f "$file" ] || continue
            awk '/^URIs:/ { print $2; exit }' "$file"
        done | grep -v -- -security | head -n 1
    }
    uri=$(archive_uri)
    if [ -z "$uri" ] && [ -f /etc/apt/sources.list ]; then
        uri=$(awk '$1 == "deb" { for (i = 2; i <= NF; i++) if ($i !~ /^\[/ && $i !~ /\]$/) { print $i; exit } }' \
            /etc/apt/sources.list | grep -v -- -security | head -n 1)
    fi
    [ -n "$uri" ] || { echo "wine32-root: no archive found in the apt sources" >&2; exit 1; }
    . /etc/os-release
    suite=$VERSION_CODENAME

    # A private apt: its own sources, lists and cache, i386 beside amd64.
    apt="$dir/apt"
    rm -rf "$apt" "$dir/root" "$dir/debs"
    mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/parts" "$dir/debs" "$dir/root"
    keyring=/usr/share/keyrings/debian-archive-keyring.gpg
    for s in "$suite" "$suite-updates" "$suite-backports"; do
        echo "deb [signed-by=$keyring] $uri $s main"
    done >"$apt/sources.list"
    cat >"$apt/apt.conf" <<EOF
Dir::Etc::SourceList "$apt/sources.list";
Dir::Etc::SourceParts "$apt/parts";
Dir::State::Lists "$apt/lists";
Dir::Cache "$apt/cache";
Dir::Cache::Archives "$apt/cache/archives";
APT::Architectures { "amd64"; "i386"; };
APT::Sandbox::User "root";
EOF
    export APT_CONFIG="$apt/apt.conf"
    apt-get update -qq >/dev/null
    (
        cd "$dir/debs"
        apt-get download -qq "wine32:i386=$version" "libwine:i386=$version" \
            libc6:i386 libgcc-s1:i386 libunwind8:i386 liblzma5:i386 >/dev/null
        # Debian 12's own qemu 7.2 spends about a minute of CPU at every Wine
        # process start; the backports' one does not. Its qemu-i386 is static.
        apt-get download -qq -t "$suite-backports" qemu-user >/dev/null
    )
    for deb in "$dir"/debs/*_i386.deb; do
        dpkg-deb -x "$deb" "$dir/root"
    done
    mkdir -p "$dir/qemu"
    dpkg-deb -x "$dir"/debs/qemu-user_*.deb "$dir/qemu"
    cp "$dir/qemu/usr/bin/qemu-i386" "$dir/qemu-i386"
    rm -rf "$dir/qemu" "$dir/debs" "$apt"

    # user32 imports zlib1.dll, which Wine's own package makes from the mingw
    # build on installation, marked as a Wine builtin.
    zlib="$root/usr/lib/i386-linux-gnu/wine/i386-windows/zlib1.dll"
    cp /usr/i686-w64-mingw32/lib/zlib1.dll "$zlib"
    printf 'Wine builtin DLL\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0' |
        dd of="$zlib" bs=1 seek=64 conv=notrunc status=none
}
[ -f "$stamp" ] && [ "$(cat "$stamp")" = "$version" ] || { unpack; echo "$version" >"$stamp"; }

# The launchers name the root by its absolute path, so they are written on
# every call: a root that was moved works again. A file left as it is keeps
# running processes undisturbed.
changed() { [ ! -e "$2" ] || ! cmp -s "$1" "$2"; }
put() { # <path>, the script on stdin
    cat >"$1.new"
    if changed "$1.new" "$1"; then chmod 755 "$1.new" && mv -f "$1.new" "$1"; else rm -f "$1.new"; fi
}
lib="$root/lib/i386-linux-gnu:$root/usr/lib/i386-linux-gnu"

# Wine finds its own libraries from /proc/self/exe, so the i386 loader must
# be the program's interpreter, not a program started with it; qemu -L takes
# that absolute path as it stands.
if [ "$(patchelf --print-interpreter "$root/usr/lib/wine/wine")" != "$root/lib/ld-linux.so.2" ]; then
    patchelf --set-interpreter "$root/lib/ld-linux.so.2" "$root/usr/lib/wine/wine"
fi
# Some kernels run i386 programs, others refuse them: try.
if LD_LIBRARY_PATH=$lib "$root/lib/ld-linux.so.2" --version >/dev/null 2>&1; then
    : >"$dir/native"
else
    rm -f "$dir/native"
fi

# Wine 8.0 starts every process through <loader dir>/wine-preloader, which
# Debian does not ship: this one runs the loader natively or under qemu.
put "$root/usr/lib/wine/wine-preloader" <<EOF
#!/bin/sh
if [ -f "$dir/native" ] && [ "\${TIRN_WINE32_QEMU:-0}" != 1 ]; then
    LD_LIBRARY_PATH=$lib
    export LD_LIBRARY_PATH
    exec "\$@"
fi
exec "$dir/qemu-i386" -L "$root" "\$@"
EOF
put "$dir/wine" <<EOF
#!/bin/sh
exec "$root/usr/lib/wine/wine-preloader" "$root/usr/lib/wine/wine" "\$@"
EOF

# wine64 takes its directory from the real path of /proc/self/exe and starts
# a 32-bit program as <that directory>/wine: a copy of it (a link leads back
# to /usr/lib/wine) beside the 32-bit launcher, with the 64-bit libraries
# and data where it looks for them, is a 64-bit Windows that runs 32-bit
# programs as WoW64 processes.
wow="$dir/wow64"
mkdir -p "$wow/lib/wine" "$wow/lib/x86_64-linux-gnu" "$wow/share"
if changed /usr/lib/wine/wine64 "$wow/lib/wine/wine64"; then
    cp -f /usr/lib/wine/wine64 "$wow/lib/wine/wine64.new" && mv -f "$wow/lib/wine/wine64.new" "$wow/lib/wine/wine64"
fi
put "$wow/lib/wine/wine" <"$dir/wine"
ln -sfn /usr/lib/wine/wineserver "$wow/lib/wine/wineserver"
ln -sfn /usr/lib/wine/wineserver64 "$wow/lib/wine/wineserver64"
ln -sfn /usr/lib/x86_64-linux-gnu/wine "$wow/lib/x86_64-linux-gnu/wine"
ln -sfn /usr/share/wine "$wow/share/wine"
# A 32-bit process starts a 64-bit one through its own loader directory.
ln -sfn "$wow/lib/wine/wine64" "$root/usr/lib/wine/wine64"
