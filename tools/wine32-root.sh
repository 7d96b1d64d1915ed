#!/usr/bin/env bash
# Usage: wine32-root.sh <dir>
#
# Makes <dir> a root from which 32-bit Windows programs run: Debian's i386
# Wine of the host's wine64 version, unpacked there, started through
# qemu-i386 (the kernel here runs no 32-bit Linux programs). Nothing i386 is
# installed on the system: a system-wide wine32 changes how wine64 makes its
# prefixes. Quick when <dir> is complete already.
#
# <dir>/wine is then the 32-bit counterpart of /usr/lib/wine/wine64.
set -euo pipefail

[ $# -eq 1 ] || { echo "usage: $0 <dir>" >&2; exit 2; }
mkdir -p "$1"
dir=$(cd "$1" && pwd)
version=$(dpkg-query -W -f='${Version}' wine64)
stamp="$dir/.ready"
# The launchers name the root by its absolute path: a root that was moved
# is made again.
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$version" ] && [ -x "$dir/wine" ] &&
    grep -qF "\"$dir/qemu-i386\"" "$dir/wine"; then
    exit 0
fi
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

# Wine execs <loader dir>/wine-preloader for every process it starts, and
# Debian ships none: this one hands the loader to qemu.
root="$dir/root"
cat >"$root/usr/lib/wine/wine-preloader" <<EOF
#!/bin/sh
exec "$dir/qemu-i386" -L "$root" "\$@"
EOF
chmod +x "$root/usr/lib/wine/wine-preloader"

# user32 imports zlib1.dll, which Wine's own package makes from the mingw
# build on installation, marked as a Wine builtin.
zlib="$root/usr/lib/i386-linux-gnu/wine/i386-windows/zlib1.dll"
cp /usr/i686-w64-mingw32/lib/zlib1.dll "$zlib"
printf 'Wine builtin DLL\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0' |
    dd of="$zlib" bs=1 seek=64 conv=notrunc status=none

cat >"$dir/wine" <<EOF
#!/bin/sh
exec "$dir/qemu-i386" -L "$root" "$root/usr/lib/wine/wine" "\$@"
EOF
chmod +x "$dir/wine"
echo "$version" >"$stamp"
