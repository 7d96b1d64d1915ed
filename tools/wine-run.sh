#!/bin/sh
# Usage: wine-run.sh <exe> [args...]
#
# Runs a Windows program for CTest, under the Wine of TIRN_WINE_ARCH. Output
# goes through a file: a pipe can be held open by Wine's background processes
# and hang the caller.
set -u
. "$(dirname "$0")/wine-env.sh" || exit 2

[ $# -ge 1 ] || { echo "usage: $0 <exe> [args...]" >&2; exit 2; }

out=$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX") || exit 1
trap 'rm -f "$out"' EXIT
trap 'exit 130' INT TERM

"$WINE" "$@" >"$out" 2>&1 </dev/null
rc=$?
cat "$out"
exit $rc
