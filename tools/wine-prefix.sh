#!/bin/sh
# Usage: wine-prefix.sh create <prefixdir> | stop <prefixdir>
#
# The prefix set-up and tear-down of tools/wine-env.sh, as commands for CTest.
set -eu
. "$(dirname "$0")/wine-env.sh" || exit 2

usage() {
    echo "usage: $0 create|stop <prefixdir>" >&2
    exit 2
}

[ $# -eq 2 ] || usage
case $1 in
create) prefix_create "$2" ;;
stop) prefix_stop "$2" ;;
*) usage ;;
esac
