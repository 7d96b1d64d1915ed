#!/usr/bin/env bash
# The main job on a sample machine: a Wine prefix of its own with four
# imaging devices and the generic module in its twain_32 directory.
# Runs MAddDS, AddDS, then removes one device and runs MRemoveDS, showing
# after each step what changed and the log section the run wrote.
#
# Usage: demo.sh [wow64|x86|x64]: the shipped 32-bit exe on a 64-bit Windows
# (the default: a WoW64 process, as nearly all users run it), the same exe
# on a 32-bit Windows, or the 64-bit exe.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
TIRN_WINE_ARCH=${1:-wow64}
case $TIRN_WINE_ARCH in
wow64 | x86) toolchain=i686 arch=x86 ;;
x64) toolchain=x86_64 arch=x64 ;;
*) echo "usage: $0 [wow64|x86|x64]" >&2; exit 2 ;;
esac
"$root/tools/bootstrap.sh"
. "$root/tools/wine-env.sh" || exit 2

build="$root/build/demo-$arch"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$toolchain.cmake" -DTIRN_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target TIRNFuncts -j "$(nproc)" >/dev/null

case $TIRN_WINE_ARCH in
wow64) echo "The shipped 32-bit TIRNFuncts.exe on a 64-bit Windows (WoW64), on a sample machine." ;;
x86) echo "The shipped 32-bit TIRNFuncts.exe on a 32-bit Windows, on a sample machine." ;;
x64) echo "The 64-bit TIRNFuncts.exe on a sample machine." ;;
esac
wine_session "$root/build/demo-prefix-$TIRN_WINE_ARCH"
exe="$drive_c/TIRNFuncts.exe"
cp "$build/TIRNFuncts.exe" "$exe"

# A fresh sample machine on every run.
{
    reg_clear 4
    reg_device 0000 '"CorvelCLSID"="{5A1C7B3E-0000-4000-8000-000000000000}"'
    reg_device 0001 '"TwainDSmodule"="zbxgnds2"'
    reg_device 0002 '"CorvelCLSID"="{5A1C7B3E-0002-4000-8000-000000000000}"' '"TwainDSmodule"="othervendor.ds"'
    reg_device 0003 '"InstallCLSID"="USB\\VID_04A9&PID_1909\\SAMPLE"' '"TwainDSmodule"="zbxgnds2"'
} | reg_import
rm -rf "$twain"
mkdir -p "$twain/vrtk_0003" "$twain/vrtk_0002" "$twain/vrtk_0007"
printf 'generic data source module (stand-in)\r\n' >"$twain/zbxgnds2"
printf 'staged data source of device 0003\r\n' >"$twain/vrtk_0003/vrtk_0003"
printf 'data source left by another vendor\r\n' >"$twain/vrtk_0002/vrtk_0002.ds"
printf 'data source of a device that is gone\r\n' >"$twain/vrtk_0007/vrtk_0007.ds"
rm -f "$temp"/_add_ds*.log "$temp"/_remove_ds*.log

show_tree() {
    echo "twain_32:"
    (cd "$twain" && find . -mindepth 1 | sort | sed 's|^\./|  |')
}

run() {   # log suffix, then the arguments
    local log="$temp/$1"; shift
    local before=0
    [ -f "$log" ] && before=$(stat -c %s "$log")
    echo "================================================================"
    echo "\$ TIRNFuncts.exe $*"
    local status=0
    "$WINE" "$exe" "$@" >/dev/null 2>&1 || status=$?
    echo "exit status: $status"
    show_tree
    echo "log section written to ${log##*/}:"
    if [ -f "$log" ]; then
        local size; size=$(stat -c %s "$log")
        [ "$size" -ge "$before" ] || before=0
        tail -c +"$((before + 1))" "$log" | tr -d '\r' | sed 's/^/  | /'
    fi
}

echo "Sample machine: devices 0000 (TIRN, CorvelCLSID), 0001 (no CorvelCLSID),"
echo "0002 (another vendor's TwainDSmodule), 0003 (hardware id VID_04A9, staged file)."
show_tree
echo
echo "MAddDS gives every device with CorvelCLSID whose TwainDSmodule is absent or the"
echo "generic module a copy of twain_32\\zbxgnds2: only 0000 qualifies."
run _add_ds.log MAddDS
echo "AddDS picks the devices whose DeviceData\\InstallCLSID contains vid_04a9 (any case):"
echo "0003's staged file vrtk_0003 becomes vrtk_0003.ds."
run _add_ds.log AddDS vid_04a9 vrtk_ DeviceData InstallCLSID "SOFTWARE\\Sample"
echo "================================================================"
echo "Device 0000 is uninstalled from the sample machine."
printf '[-%s\\0000]\n[-%s\\0000]\n' "$enum_key" "$class_key" | reg_import
echo "MRemoveDS walks twain_32\\vrtk_*: 0000 and 0007 are no longer listed, 0002 is not a"
echo "TIRN device (another vendor's module), 0003 is listed and TIRN and keeps its data source."
run _remove_ds.log MRemoveDS
