#!/usr/bin/env bash
# Runs one Windows program under Wine and passes its output and exit code
# through. Wine's output goes to files first: its background processes
# inherit whatever the first program had open and would hold a pipe open.
set -u
veilbox_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$veilbox_root/scripts/wine-env.sh"
veilbox_wine_setup || exit 125
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$VEILBOX_WINE" "$@" >"$tmp/out" 2>"$tmp/err" </dev/null
rc=$?
cat "$tmp/out"
cat "$tmp/err" >&2
exit $rc
