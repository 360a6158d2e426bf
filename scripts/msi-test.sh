#!/usr/bin/env bash
# The installer, first as a database (msiinfo: a 32-bit package below
# Program Files, the four values from public properties, the launch
# condition, the major upgrade), then under Wine in the prefix of
# scripts/wine-env.sh:
#   - an install without ATTACHNAME is refused and installs nothing;
#   - a silent install puts the files below Program Files (x86) and the
#     four values into the registry's 32-bit view;
#   - a rebuild of the same version replaces it, and so does a newer
#     version (one product afterwards);
#   - the uninstall leaves neither files nor values;
#   - installed again, the installed veilbox.exe runs one compile end to
#     end (driven by the end-to-end tests of $VEILBOX_WINE_BUILD, as in
#     scripts/wine-smoke32.sh), and the uninstall leaves nothing.
# Builds the packages with scripts/package.sh. Only the compile runs a
# 32-bit program; msiexec and reg are Wine's own programs for its loader.
set -u
veilbox_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$veilbox_root" || exit 1
source scripts/wine-env.sh
veilbox_wine_setup || exit 1
wine=$VEILBOX_WINE
work=$veilbox_root/build/msi-test
mkdir -p "$work"

failed=0
check() { # check WHAT COMMAND...
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failed=1; fi
}
# A Windows path of a file below the Unix root: Wine's drive Z:.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

win() { "$wine" "$@" >"$work/out" 2>"$work/err" </dev/null; }
drive_c=$WINEPREFIX/drive_c
dir=$drive_c/'Program Files (x86)'/Veilbox
installed_dir='C:\Program Files (x86)\Veilbox'
key='HKLM\Software\Talvoren\Veilbox'
# The values of the key in the 32-bit view as NAME=VALUE lines; nothing
# when the key is not there.
values32() {
  win reg query "$key" /reg:32 || return 0
  tr -d '\r' <"$work/out" | awk '$2 == "REG_SZ" { name = $1; $1 = ""; $2 = ""; sub(/^ +/, ""); print name "=" $0 }'
}
product_code() { msiinfo export "$1" Property | tr -d '\r' | awk -F '\t' '$1 == "ProductCode" { print $2 }'; }
registered() { # the product's entry in the 32-bit view's list of installed programs
  win reg query "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$1" /reg:32
}
not_registered() { ! registered "$1"; }
same_files() {
  cmp -s build/windows/veilbox.exe "$dir/veilbox.exe" &&
    cmp -s build/windows/veilbox-protect.exe "$dir/veilbox-protect.exe" &&
    cmp -s README.md "$dir/README.md" && cmp -s veilbox.reg "$dir/veilbox.reg"
}
rm -rf "$work"
mkdir -p "$work"
# Removes what an earlier, broken run may have left, with its packages
# (each build of a package is a product of its own).
if [ -e "$dir" ] || [ -n "$(values32)" ]; then
  for package in build/msi-test/*/veilbox-*-x86.msi build/package/veilbox-*-x86.msi; do
    [ -e "$package" ] && win msiexec /x "$(windows_path "$veilbox_root/$package")" /qn
  done
fi
# The end-to-end tests share this prefix and leave their own settings in
# the key; the package's values are told apart only in an empty key.
win reg delete "$key" /f /reg:32
win reg delete "$key" /f /reg:64
[ -z "$(values32)" ] || { echo "the key $key cannot be emptied"; exit 1; }

# --- The packages: the project's version, a rebuild of it and a newer
# version of the same files.
bash scripts/package.sh >"$work/package.log" 2>&1 || { cat "$work/package.log"; exit 1; }
msi=$(ls build/package/veilbox-*-x86.msi)
version=${msi#build/package/veilbox-}
version=${version%-x86.msi}
IFS=. read -r major minor patch <<<"$version"
newer_version=$major.$minor.$((patch + 1))
PACKAGE_VERSION=$newer_version PACKAGE_OUT=build/msi-test/newer bash scripts/package.sh \
  >"$work/package-newer.log" 2>&1 || { cat "$work/package-newer.log"; exit 1; }
newer=build/msi-test/newer/veilbox-$newer_version-x86.msi
PACKAGE_OUT=build/msi-test/rebuilt bash scripts/package.sh \
  >"$work/package-rebuilt.log" 2>&1 || { cat "$work/package-rebuilt.log"; exit 1; }
rebuilt=build/msi-test/rebuilt/veilbox-$version-x86.msi

# --- The database.
table() { msiinfo export "$msi" "$1" | tr -d '\r' | tail -n +4; }
has_row() { # has_row TABLE TEXT: a row of the table holds the text (tabs between columns)
  table "$1" | grep -qF -- "$2"
}
check "a 32-bit package" bash -c "msiinfo suminfo '$msi' | grep -q '^Template: Intel;'"
check "installs below Program Files" has_row Directory $'INSTALLDIR\tProgramFilesFolder\tVeilbox'
for pair in AttachName:ATTACHNAME CitectDir:CITECTDIR CompExe:COMPEXE CitectVer:CITECTVER; do
  check "${pair%%:*} from ${pair#*:}" has_row Registry \
    $'\t2\tSoftware\\Talvoren\\Veilbox\\\t'"${pair%%:*}"$'\t['"${pair#*:}"$']\tSettings'
done
check "the values' component is a 32-bit one" \
  bash -c "msiinfo export '$msi' Component | tr -d '\r' | awk -F '\t' '\$1 == \"Settings\" { exit !(int(\$4 / 256) % 2 == 0) }'"
check "ATTACHNAME is required" has_row LaunchCondition $'Installed OR ATTACHNAME\tATTACHNAME is required'
check "the properties pass to the server side" has_row Property \
  $'SecureCustomProperties\tWIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED;ATTACHNAME;CITECTDIR;COMPEXE;CITECTVER'
check "an older version or a rebuild of this one is removed" has_row Upgrade \
  $'\t\t'"$version"$'\t\t513\t\tWIX_UPGRADE_DETECTED'
check "a newer version is not replaced" has_row Upgrade $'\t'"$version"$'\t\t\t2\t\tWIX_DOWNGRADE_DETECTED'
check "RemoveExistingProducts runs" has_row InstallExecuteSequence $'RemoveExistingProducts\t'

# --- Under Wine.
win msiexec /i "$(windows_path "$veilbox_root/$msi")" /qn
rc=$?
check "an install without ATTACHNAME is refused (exit $rc)" test "$rc" -ne 0 -a ! -e "$dir"
check "and it installs no value" test -z "$(values32)"

win msiexec /i "$(windows_path "$veilbox_root/$msi")" /qn ATTACHNAME=Stand-in.exe 'CITECTDIR=D:\Citect\'
rc=$?
check "a silent install (exit $rc)" test "$rc" -eq 0
check "the files below Program Files (x86)" same_files
values32 >"$work/values"
check "the four values in the 32-bit view" test "$(sort "$work/values" | tr '\n' ' ')" = \
  'AttachName=Stand-in.exe CitectDir=D:\Citect\ CitectVer=7.20 CompExe=C:\Program Files (x86)\Citect\Bin\Ctcompile.exe '
check "none in the 64-bit view" bash -c "! '$wine' reg query '$key' /reg:64 >'$work/out64' 2>&1 </dev/null"

win msiexec /i "$(windows_path "$veilbox_root/$rebuilt")" /qn ATTACHNAME=Rebuilt.exe
rc=$?
check "a rebuild of the same version installs (exit $rc)" test "$rc" -eq 0
check "and replaces the first build" not_registered "$(product_code "$msi")"
check "which is installed" registered "$(product_code "$rebuilt")"

win msiexec /i "$(windows_path "$veilbox_root/$newer")" /qn ATTACHNAME=Newer.exe
rc=$?
check "the newer version installs (exit $rc)" test "$rc" -eq 0
check "and replaces the older one" not_registered "$(product_code "$rebuilt")"
check "which is installed" registered "$(product_code "$newer")"
check "its value" grep -qx AttachName=Newer.exe <(values32)

win msiexec /x "$(windows_path "$veilbox_root/$newer")" /qn
rc=$?
check "the uninstall (exit $rc)" test "$rc" -eq 0
check "removes the files" test ! -e "$dir"
check "removes the values" test -z "$(values32)"

# --- A compile with the installed program.
win msiexec /i "$(windows_path "$veilbox_root/$msi")" /qn ATTACHNAME=Stand-in.exe
e2e=$VEILBOX_WINE_BUILD/testing/veilbox_e2e.exe
scenario='Table/CompileWrapper.Scenario/CompilerExitCodePassesThroughAndCompileOkZeroIsLeftAlone'
if [ "$VEILBOX_WINE_KIND" = wine64 ] && ! veilbox_i386_emulated; then
  echo "skipped: a compile with the installed veilbox.exe (this machine runs no 32-bit program)"
elif [ ! -e "$e2e" ]; then
  check "a compile with the installed veilbox.exe: $e2e is not built" false
else
  VEILBOX_E2E_PROGRAM_DIR=$installed_dir "$wine" "$e2e" --gtest_filter="$scenario" \
    >"$work/e2e.log" 2>&1 </dev/null
  check "a compile with the installed veilbox.exe" grep -q '^\[  PASSED  \] 1 test' "$work/e2e.log"
  grep -q '^\[  PASSED  \] 1 test' "$work/e2e.log" || cat "$work/e2e.log"
fi
win msiexec /x "$(windows_path "$veilbox_root/$msi")" /qn
check "after it, the uninstall leaves no file" test ! -e "$dir"

exit $failed
