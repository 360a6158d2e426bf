#!/usr/bin/env bash
# The smoke run of the 32-bit programs where 32-bit x86 programs run only
# under user-mode emulation (about a minute for each Wine process): one
# compile end to end with the 32-bit veilbox.exe, driven by the 64-bit
# end-to-end tests (settings in the 32-bit view, a ProtectedFile decrypted,
# the compiler's exit code back), and `veilbox-protect.exe check` of a
# ProtectedFile. Needs build/windows (32-bit) and build/windows64 (with its
# tests), and the prefix of scripts/wine-env.sh made while i386 programs are
# emulated.
set -u
veilbox_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$veilbox_root/scripts/wine-env.sh"
veilbox_wine_setup || exit 1
bin32=$veilbox_root/build/windows
bin64=$veilbox_root/build/windows64
work=$veilbox_root/build/smoke32
rm -rf "$work"
mkdir -p "$work"

# A Windows path of a file below the Unix root: Wine's drive Z:.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

for f in veilbox.exe veilbox-protect.exe; do
  objdump -f "$bin32/$f" | grep -q 'file format pei-i386' || { echo "$bin32/$f is not a 32-bit program"; exit 1; }
done

ok=0
scenario='Table/CompileWrapper.Scenario/CompilerExitCodePassesThroughAndCompileOkZeroIsLeftAlone'
if VEILBOX_E2E_PROGRAM_DIR=$(windows_path "$bin32") "$VEILBOX_WINE" "$bin64/testing/veilbox_e2e.exe" \
  --gtest_filter="$scenario" >"$work/e2e.log" 2>&1 </dev/null &&
  grep -q '^\[  PASSED  \] 1 test' "$work/e2e.log"; then
  echo "32-bit veilbox.exe: one compile end to end: ok"
else
  cat "$work/e2e.log"
  echo "32-bit veilbox.exe: one compile end to end: FAILED"
  ok=1
fi

printf 'FUNCTION Smoke()\r\nEND\r\n' >"$work/Smoke.ci"
"$VEILBOX_WINE" "$bin64/veilbox-protect.exe" encrypt "$(windows_path "$work/Smoke.ci")" \
  >"$work/encrypt.log" 2>&1 </dev/null || { cat "$work/encrypt.log"; exit 1; }
"$VEILBOX_WINE" "$bin32/veilbox-protect.exe" check "$(windows_path "$work/Smoke.ci.Veilbox")" \
  >"$work/check.log" 2>&1 </dev/null
rc=$?
if [ "$rc" -eq 0 ] && grep -q 'OK, 2 lines' "$work/check.log"; then
  echo "32-bit veilbox-protect.exe check: ok ($(tr -d '\r' <"$work/check.log" | head -n 1))"
else
  cat "$work/check.log"
  echo "32-bit veilbox-protect.exe check: FAILED (exit $rc)"
  ok=1
fi
exit $ok
