# Sourced (POSIX sh) by every script in tools/ that runs Windows programs:
# the Wine binaries, the prefix, and the registry of a sample machine. From a
# shell, `. tools/wine-env.sh` in the checkout gives the same (bash, dash).
#
# TIRN_WINE_ARCH picks the Windows that Wine plays:
#   x64    (the default) Debian's wine64: 64-bit Windows, for the 64-bit exe;
#   wow64  a 64-bit Windows that runs 32-bit programs as WoW64 processes, as
#          nearly every Windows PC runs the shipped 32-bit exe;
#   x86    a 32-bit Windows, Debian's i386 Wine alone.
# The 32-bit Wine is the root that tools/wine32-root.sh makes in
# build/wine32; it runs natively where the kernel runs i386 programs, under
# qemu-i386 elsewhere or with TIRN_WINE32_QEMU=1. The host's 64-bit server
# serves all of them.
if [ -z "${TIRN_ROOT:-}" ]; then
    # bash names the sourced file; a POSIX sh script sources it from tools/.
    TIRN_ROOT=$(cd "$(dirname "${BASH_SOURCE:-$0}")/.." && pwd)
fi
WINE64=/usr/lib/wine/wine64
WINE32_ROOT=$TIRN_ROOT/build/wine32
WINESERVER=/usr/lib/wine/wineserver64
WINEDEBUG=${WINEDEBUG:--all}
# A crash ends the program at once with its status, instead of starting the
# debugger for seconds (which once even ended with status 0).
WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-winedbg.exe=d}
TIRN_WINE_ARCH=${TIRN_WINE_ARCH:-x64}
case $TIRN_WINE_ARCH in
x64) WINE=$WINE64 WINEARCH=win64 ;;
wow64) WINE=$WINE32_ROOT/wow64/lib/wine/wine64 WINEARCH=win64 ;;
x86) WINE=$WINE32_ROOT/wine WINEARCH=win32 ;;
*)
    echo "wine-env: TIRN_WINE_ARCH is x64, wow64 or x86, not $TIRN_WINE_ARCH" >&2
    return 2
    ;;
esac
export WINESERVER WINEDEBUG WINEDLLOVERRIDES WINEARCH TIRN_WINE_ARCH

# The Image device class, where the device walk finds its devices.
image_guid='{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}'
enum_key='HKEY_LOCAL_MACHINE\System\CurrentControlSet\Enum\ROOT\IMAGE'
class_key="HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Class\\$image_guid"

# prefix_create <dir>: makes the prefix unless it is usable already, sets
# WINEPREFIX to it and leaves its server running (-p keeps process starts
# warm). Wine's background processes inherit stdout/stderr, so everything
# Wine prints goes to <dir>/wine-prefix.log, never to the caller's pipe.
prefix_create() {
    mkdir -p "$1"
    WINEPREFIX=$(cd "$1" && pwd)
    export WINEPREFIX
    local log="$WINEPREFIX/wine-prefix.log"

    # Exits with 2 when a server for this prefix already runs.
    local running=0
    "$WINESERVER" -p >>"$log" 2>&1 </dev/null || running=1

    # A running server holds the registry until it exits; with no server,
    # a prefix whose registry was never written back is not usable.
    local ready=0
    if [ -f "$WINEPREFIX/.tirn-ready" ]; then
        if [ $running = 1 ] || [ -f "$WINEPREFIX/system.reg" ]; then
            ready=1
        fi
    fi

    if [ $ready = 0 ]; then
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            echo "wine-prefix: creating $WINEPREFIX" >&2
            WINEDLLOVERRIDES="mscoree,mshtml=;$WINEDLLOVERRIDES" \
                "$WINE" wineboot -i >>"$log" 2>&1 </dev/null || {
                echo "wine-prefix: wineboot failed, see $log" >&2
                return 1
            }
        fi
        # Lets windows exist without an X display.
        "$WINE" 'C:\windows\system32\reg.exe' add 'HKCU\Software\Wine\Drivers' \
            /v Graphics /t REG_SZ /d null /f >>"$log" 2>&1 </dev/null || {
            echo "wine-prefix: setting the graphics driver failed, see $log" >&2
            return 1
        }
        # The desktop made during wineboot keeps the old driver until the
        # server restarts; this also writes the registry back to the prefix.
        "$WINESERVER" -k >>"$log" 2>&1 </dev/null || true
        "$WINESERVER" -w >>"$log" 2>&1 </dev/null || true
        date >"$WINEPREFIX/.tirn-ready"
        "$WINESERVER" -p >>"$log" 2>&1 </dev/null
    fi
    mkdir -p "$WINEPREFIX/drive_c/windows/twain_32"
}

# prefix_stop <dir>: ends the prefix's server and waits until the registry
# has been written back to the prefix.
prefix_stop() {
    [ -d "$1" ] || return 0
    local dir log
    dir=$(cd "$1" && pwd)
    log="$dir/wine-prefix.log"
    WINEPREFIX=$dir "$WINESERVER" -k >>"$log" 2>&1 </dev/null || true
    WINEPREFIX=$dir "$WINESERVER" -w >>"$log" 2>&1 </dev/null || true
}

# wine_session <dir>: the prefix for the rest of the calling script, stopped
# when it exits. Sets drive_c, twain (C:\windows\twain_32) and temp (the
# user's temp directory, where the run logs go).
wine_session() {
    prefix_create "$1"
    trap 'prefix_stop "$WINEPREFIX"' EXIT
    drive_c="$WINEPREFIX/drive_c"
    twain="$drive_c/windows/twain_32"
    temp=$(ls -d "$drive_c"/users/*/Temp | grep -v /Public/ | head -n 1)
}

# reg_import: imports the REGEDIT4 lines read from stdin into the session's
# prefix ([-KEY] lines delete keys).
reg_import() {
    { printf 'REGEDIT4\n\n'; cat; } | sed 's/$/\r/' >"$drive_c/tirn-import.reg"
    "$WINE" 'C:\windows\regedit.exe' /S 'C:\tirn-import.reg' >/dev/null 2>&1
}

# reg_clear <count>: the lines that take away every ROOT\IMAGE device and the
# driver keys 0000 up to <count>-1.
reg_clear() {
    printf '[-%s]\n' "$enum_key"
    local i=0
    while [ "$i" -lt "$1" ]; do
        printf '[-%s\\%04d]\n' "$class_key" "$i"
        i=$((i + 1))
    done
}

# reg_device <instance> [<line>...]: the lines of one Image device
# ROOT\IMAGE\<instance> whose driver key is Class\{image}\<instance>, with the
# given value lines in its DeviceData subkey.
reg_device() {
    local instance=$1 line
    shift
    printf '[%s\\%s]\n"ClassGUID"="%s"\n"Driver"="%s\\\\%s"\n\n' "$enum_key" "$instance" "$image_guid" "$image_guid" "$instance"
    printf '[%s\\%s]\n"DriverDesc"="Sample scanner %s"\n\n[%s\\%s\\DeviceData]\n' \
        "$class_key" "$instance" "$instance" "$class_key" "$instance"
    for line in "$@"; do printf '%s\n' "$line"; done
    printf '\n'
}
