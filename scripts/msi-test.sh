#!/usr/bin/env bash
# The installer under Wine: a silent install with ATTACHNAME, the files and
# the four values in the 32-bit view, a compile with the installed program,
# the uninstall, and nothing left afterwards. Also: an install without
# ATTACHNAME is refused. Runs Windows programs with $VEILBOX_WINE (default
# wine) in the prefix $WINEPREFIX; builds the package first when missing.
set -uo pipefail
cd "$(dirname "$0")/.."
wine=${VEILBOX_WINE:-wine}
[ -n "${WINEPREFIX:-}" ] || { echo "msi-test: set WINEPREFIX" >&2; exit 2; }
msi=$(ls build/package/veilbox-*-x86.msi 2>/dev/null | head -n1)
[ -n "$msi" ] || { bash scripts/package.sh >/dev/null || exit 1; msi=$(ls build/package/veilbox-*-x86.msi | head -n1); }

log=$(mktemp -d)
trap 'rm -rf "$log"' EXIT
failed=0
check() {  # check WHAT COMMAND...
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failed=1; fi
}
win() { "$wine" "$@" >"$log/out" 2>"$log/err"; }
reg_value() {  # the value NAME of the key in the 32-bit view, or nothing
  win reg query 'HKLM\Software\Talvoren\Veilbox' /v "$1" /reg:32 || return 1
  tr -d '\r' <"$log/out" | awk -v n="$1" '$1 == n { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'
}
drive_c=$WINEPREFIX/drive_c
dir=$drive_c/'Program Files (x86)'/Veilbox
[ -d "$drive_c/Program Files (x86)" ] || dir=$drive_c/'Program Files'/Veilbox
win_msi=$(winepath -w "$msi" 2>/dev/null || echo "Z:${PWD//\//\\}\\${msi//\//\\}")

win msiexec /i "$win_msi" /qn
check "an install without ATTACHNAME is refused" test ! -e "$dir/veilbox.exe"

win msiexec /i "$win_msi" /qn ATTACHNAME=Stand-in.exe CITECTDIR='C:\Citect\'
check "install" test -e "$dir/veilbox.exe" -a -e "$dir/veilbox-protect.exe" \
  -a -e "$dir/README.md" -a -e "$dir/veilbox.reg"
check "AttachName in the 32-bit view" test "$(reg_value AttachName)" = Stand-in.exe
check "CitectDir from its property" test "$(reg_value CitectDir)" = 'C:\Citect\'
check "CitectVer by default" test "$(reg_value CitectVer)" = 7.20

# A compile with what was installed: a ProtectedFile below a project, the
# stand-in compiler as Citect's BIN\Stand-in.exe.
if [ -n "${VEILBOX_MSI_COMPILE:-}" ]; then
  check "a compile with the installed program" bash -c "$VEILBOX_MSI_COMPILE"
fi
win "$dir/veilbox-protect.exe" --version
check "the installed tool carries the version" grep -q "^veilbox-protect [0-9]" "$log/out"

win msiexec /x "$win_msi" /qn
check "uninstall removes the files" test ! -e "$dir"
check "uninstall removes the values" test -z "$(reg_value AttachName)"

exit $failed
