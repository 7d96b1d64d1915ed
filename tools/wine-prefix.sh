#!/bin/sh
# Usage: wine-prefix.sh create <prefixdir> | stop <prefixdir>
#
# Wine's background processes inherit stdout/stderr, so everything Wine
# prints goes to <prefixdir>/wine-prefix.log, never to the caller's pipe.
set -eu

WINE64=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64
export WINESERVER

usage() {
    echo "usage: $0 create|stop <prefixdir>" >&2
    exit 2
}

[ $# -eq 2 ] || usage
cmd=$1
dir=$2

case $cmd in
create)
    mkdir -p "$dir"
    WINEPREFIX=$(cd "$dir" && pwd)
    export WINEPREFIX
    WINEDEBUG=${WINEDEBUG:--all}
    export WINEDEBUG
    log=$WINEPREFIX/wine-prefix.log

    # Exits with 2 when a server for this prefix already runs.
    running=0
    "$WINESERVER" -p >>"$log" 2>&1 </dev/null || running=1

    # A running server holds the registry until it exits; with no server,
    # a prefix whose registry was never written back is not usable.
    ready=0
    if [ -f "$WINEPREFIX/.tirn-ready" ]; then
        if [ $running = 1 ] || [ -f "$WINEPREFIX/system.reg" ]; then
            ready=1
        fi
    fi

    if [ $ready = 0 ]; then
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            echo "wine-prefix: creating $WINEPREFIX" >&2
            WINEDLLOVERRIDES="mscoree,mshtml=" \
                "$WINE64" wineboot -i >>"$log" 2>&1 </dev/null || {
                echo "wine-prefix: wineboot failed, see $log" >&2
                exit 1
            }
        fi
        # Lets windows exist without an X display.
        "$WINE64" 'C:\windows\system32\reg.exe' add 'HKCU\Software\Wine\Drivers' \
            /v Graphics /t REG_SZ /d null /f >>"$log" 2>&1 </dev/null || {
            echo "wine-prefix: setting the graphics driver failed, see $log" >&2
            exit 1
        }
        # The desktop made during wineboot keeps the old driver until the
        # server restarts; this also writes the registry back to the prefix.
        "$WINESERVER" -k >>"$log" 2>&1 </dev/null || true
        "$WINESERVER" -w >>"$log" 2>&1 </dev/null || true
        date >"$WINEPREFIX/.tirn-ready"
        "$WINESERVER" -p >>"$log" 2>&1 </dev/null
    fi
    mkdir -p "$WINEPREFIX/drive_c/windows/twain_32"
    ;;
stop)
    [ -d "$dir" ] || exit 0
    WINEPREFIX=$(cd "$dir" && pwd)
    export WINEPREFIX
    log=$WINEPREFIX/wine-prefix.log
    "$WINESERVER" -k >>"$log" 2>&1 </dev/null || true
    # Waits until the registry has been written back to the prefix.
    "$WINESERVER" -w >>"$log" 2>&1 </dev/null || true
    ;;
*)
    usage
    ;;
esac
