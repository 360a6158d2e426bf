#!/usr/bin/env bash
# The main job, shown end to end: builds Veilbox (release preset, natively)
# when needed, lays out a sample Citect installation in a scratch directory
# (a master table with several projects, an include tree, ProtectedFiles
# made with veilbox-protect, Citect.ini, the registry), runs Veilbox with a
# stand-in compiler, and prints what happened: first the plan of the run
# (veilbox-protect plan), then the run itself.
#
#   KEEP=1  keep the scratch directory and print where it is
set -eu
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$root/build/release
targets=(veilbox veilbox-protect fake-compiler write-dbf)

mkdir -p "$root/build"
if [ ! -f "$build/build.ninja" ]; then
  echo "== Configuring the release build"
  # The demo needs no benchmark: their library need not be installed.
  (cd "$root" && cmake --preset release -DVEILBOX_BENCHMARKS=OFF) >"$root/build/release.configure.log" 2>&1 ||
    { cat "$root/build/release.configure.log"; exit 1; }
fi
echo "== Building ${targets[*]}"
cmake --build "$build" --target "${targets[@]}" >"$root/build/release.demo-build.log" 2>&1 ||
  { tail -n 40 "$root/build/release.demo-build.log"; exit 1; }

scratch=$(mktemp -d "${TMPDIR:-/tmp}/veilbox-demo.XXXXXX")
if [ "${KEEP:-0}" = 1 ]; then
  trap 'echo; echo "Scratch directory kept: $scratch"' EXIT
else
  trap 'rm -rf "$scratch"' EXIT
fi
# The stand-in machine: drive C: is $scratch/drive_c, the Windows
# directory $scratch/windows, the registry $scratch/registry.reg.
export VEILBOX_PREFIX=$scratch
c=$scratch/drive_c
mkdir -p "$c/Citect/User" "$c/Citect/Bin" "$scratch/windows"

echo
echo "== Laying out a Citect installation in $scratch"
# Projects: Plant includes Pumps and Common; Pumps includes Common again
# (walked once) and Valves; Valves includes Plant (a cycle, cut).
project() {  # name, then source files as name=text
  local name=$1 dir=$c/Citect/User/$1
  shift
  mkdir -p "$dir"
  for file in "$@"; do
    printf '%b' "${file#*=}" >"$dir/${file%%=*}"
  done
}
project Plant "Plant.ci=FUNCTION PlantStart()\r\n  Message(\"Plant\", \"started\", 0);\r\nEND\r\n" \
  "Secrets.ci=INT gRecipe = 42;\r\n"
project Pumps "Pumps.ci=FUNCTION PumpOn(INT n)\r\n  DspStr(n, \"\", \"on\");\r\nEND\r\n"
project Valves "Valves.ci=FUNCTION ValveOpen()\r\nEND\r\n"
project Common "Common.ci=// shared helpers\r\n"
project Spare "Spare.ci=// not part of Plant\r\n"

"$build/veilbox-protect" encrypt \
  "$c/Citect/User/Plant/Plant.ci" "$c/Citect/User/Plant/Secrets.ci" \
  "$c/Citect/User/Pumps/Pumps.ci" "$c/Citect/User/Valves/Valves.ci" \
  "$c/Citect/User/Common/Common.ci" "$c/Citect/User/Spare/Spare.ci" | sed 's/^/  /'
# The vendor ships only the ProtectedFiles.
find "$c/Citect/User" -name '*.ci' -delete

dbf=$build/testing/write-dbf
"$dbf" "$c/Citect/User/master.dbf" NAME:64,PATH:240 \
  'Plant|C:\Citect\User\Plant' 'Pumps|C:\Citect\User\Pumps' 'Valves|C:\Citect\User\Valves' \
  'Common|C:\Citect\User\Common' 'Spare|C:\Citect\User\Spare' '*Retired|C:\Citect\User\Old'
"$dbf" "$c/Citect/User/Plant/Include.dbf" NAME:64 'Pumps' 'Common'
"$dbf" "$c/Citect/User/Pumps/Include.dbf" NAME:64 'common' 'Valves'
"$dbf" "$c/Citect/User/Valves/Include.dbf" NAME:64 'Plant'

printf '[CTEDIT]\r\nUSER=C:\\Citect\\User\r\nBIN=C:\\Citect\\Bin\r\nCOMPILEOKMESSAGE=1\r\n' \
  >"$scratch/windows/Citect.ini"
cat >"$scratch/registry.reg" <<'REG'
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\Software\Talvoren\Veilbox]
"CitectDir"="C:\\Citect"
"CompExe"="C:\\Citect\\Bin\\ctcomp.exe"
"AttachName"="ctcomp.exe"
"CitectVer"="7.20"
REG
cp "$build/testing/fake-compiler" "$c/Citect/Bin/ctcomp.exe"

echo "  master.dbf: Plant, Pumps, Valves, Common, Spare (and a deleted Retired)"
echo "  includes:   Plant -> Pumps, Common; Pumps -> common, Valves; Valves -> Plant"
echo "  ProtectedFiles:"
(cd "$c" && find . -name '*.Veilbox' | sort | sed 's|^\./|    C:/|')

echo
echo "== The plan: veilbox-protect plan /Z Plant -q   (what the run will decrypt; nothing is written)"
set +e
(cd "$scratch" && "$build/veilbox-protect" plan /Z Plant -q) | sed 's/^/  /'
plan_code=${PIPESTATUS[0]}
set -e
echo "  exit status of the plan: $plan_code (0: the run reaches the compiler)"

echo
echo "== Running: veilbox /Z Plant -q   (the compiler's own command line)"
export VEILBOX_FAKE_RECORD='C:\record.txt' VEILBOX_FAKE_ROOT='C:\Citect\User' VEILBOX_FAKE_EXIT=0
set +e
(cd "$scratch" && "$build/veilbox" /Z Plant -q 2>"$scratch/boxes.txt")
code=$?
set -e

echo
echo "== Project found: Plant, in C:\\Citect\\User\\master.dbf -> C:\\Citect\\User\\Plant"
echo "   (with its includes Pumps, Common and Valves; Spare is not part of it)"
echo
echo "== What the compiler saw: the plain files decrypted for it"
while IFS= read -r line; do
  key=${line%% *}
  value=${line#* }
  value=${value//\\x5C/\\}
  value=${value%\\x0D\\x0A}
  value=${value//\\x0D\\x0A/$'\n'               }
  case $key in
    arg) echo "  argument: $value" ;;
    cwd) echo "  current directory: $value" ;;
    plain) echo "  plain file: $value" ;;
    content) echo "    content:   $value" ;;
    hidden) echo "    hidden:    $value" ;;
    compileok) echo "  COMPILEOKMESSAGE during the compile: $value" ;;
  esac
done <"$c/record.txt"

echo
echo "== Message boxes (caption: text)"
sed 's/^/  /' "$scratch/boxes.txt"

echo
echo "== Afterwards"
echo "  exit code of veilbox: $code"
echo "  COMPILEOKMESSAGE: $(grep -i '^COMPILEOKMESSAGE' "$scratch/windows/Citect.ini" | tr -d '\r')"
left=0
while IFS= read -r -d '' protected; do
  if [ -e "${protected%.Veilbox}" ]; then
    echo "  LEFT BEHIND: ${protected%.Veilbox}"
    left=1
  fi
done < <(find "$c" -name '*.Veilbox' -print0)
if [ $left = 0 ]; then
  echo "  no plain file remains beside any ProtectedFile"
fi
[ $left = 0 ] && [ $code = 0 ] && [ $plan_code = 0 ]
