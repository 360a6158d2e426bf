#!/usr/bin/env bash
# Checks that includes run downwards, builds everything and runs every
# test: the native unit and end-to-end tests, the same under
# AddressSanitizer and UndefinedBehaviorSanitizer, the Windows builds under
# Wine (see windows_tests), each fuzz target for a bounded time, and the
# demo.
# Installs what a fresh machine lacks first (as root, through apt-get).
#
#   FUZZ_SECONDS   seconds per fuzz target (default 30)
set -u
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
fuzz_seconds=${FUZZ_SECONDS:-30}

bash scripts/install-deps.sh || exit 1

# Five builds of the same sources, and often the same sources again in
# another clone: ccache keeps the objects. Paths below the clone are hashed
# relative to it, so another clone of the same commit hits the cache too.
if command -v ccache >/dev/null 2>&1 && [ "${VEILBOX_CCACHE:-1}" != 0 ]; then
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
  export CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=true
fi

passed=0
failed=0
failures=()
stage() {
  local name=$1
  shift
  echo
  echo "=== $name"
  local start=$SECONDS
  windows_note=
  if "$@"; then
    passed=$((passed + 1))
    echo "--- $name: ok ($((SECONDS - start)) s${windows_note:+; $windows_note})"
  else
    failed=$((failed + 1))
    failures+=("$name")
    echo "--- $name: FAILED ($((SECONDS - start)) s${windows_note:+; $windows_note})"
  fi
}

build() { # build PRESET [TARGET...]: all of it, or only these targets
  local preset=$1
  shift
  cmake --preset "$preset" >"build/$preset.configure.log" 2>&1 || { cat "build/$preset.configure.log"; return 1; }
  cmake --build --preset "$preset" ${1:+--target "$@"}
}

native_tests() {
  build debug && ctest --test-dir build/debug --output-on-failure
}

sanitizer_tests() {
  build asan || return 1
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build/asan --output-on-failure
}

# The Windows tests under Wine. Where this kernel runs 32-bit programs, the
# shipped 32-bit programs run the whole table. Where it does not, only the
# two 32-bit programs are built, the 64-bit build (which reads the settings
# from the 32-bit view too) runs the table under Wine's 64-bit loader, and
# the 32-bit programs get a smoke run under user-mode emulation where
# binfmt_misc allows it. On both, the installer is tested under Wine and the
# 32-bit programs are built again elsewhere to show the same bytes
# (windows_packaging). The stage's line says which ran: windows_note holds it.
# Under Wine each random layout of the plan's differential test costs a
# dozen Wine processes: the first 15 seeds run there (the native stages run
# 60).
windows_note=
wine_plan_seeds=1:15
windows_tests() {
  source scripts/wine-env.sh
  if [ "$VEILBOX_WINE_KIND" = native32 ]; then
    windows_note="32-bit build"
    build windows || return 1
    veilbox_wine_setup || return 1
    local rc=0
    VEILBOX_PLAN_SEEDS=$wine_plan_seeds ctest --test-dir build/windows --output-on-failure || rc=1
    windows_packaging || rc=1
    return $rc
  fi
  local emulation=yes why
  if ! why=$(bash scripts/binfmt-i386.sh 2>&1); then
    emulation=no
  fi
  build windows veilbox veilbox-protect || return 1
  build windows64 || return 1
  veilbox_wine_setup || return 1
  local rc=0
  VEILBOX_PLAN_SEEDS=$wine_plan_seeds ctest --test-dir build/windows64 --output-on-failure || rc=1
  windows_note="64-bit build: this kernel runs no 32-bit programs"
  if [ "$emulation" = no ]; then
    windows_note+="; 32-bit smoke under emulation: skipped ($why)"
  elif bash scripts/wine-smoke32.sh; then
    windows_note+="; 32-bit smoke under emulation: ok"
  else
    windows_note+="; 32-bit smoke under emulation: FAILED"
    rc=1
  fi
  windows_packaging || rc=1
  return $rc
}

# The installer under Wine and the reproducible build, each with a word in
# the stage's line (and what its script skipped); a script's output is
# shown when it fails.
windows_packaging() {
  local rc=0 what script log skipped
  for what in "installer under Wine:msi-test" "reproducible programs:reproducible-check"; do
    script=${what#*:}
    log=build/$script.log
    if bash "scripts/$script.sh" >"$log" 2>&1; then
      windows_note+="; ${what%%:*}: ok"
    else
      cat "$log"
      windows_note+="; ${what%%:*}: FAILED"
      rc=1
    fi
    skipped=$(sed -n 's/^skipped: //p' "$log")
    [ -z "$skipped" ] || windows_note+=" (skipped: $skipped)"
  done
  return $rc
}

# The 64-bit Windows build: the table's build where 32-bit programs do not
# run, otherwise only a compile check (the programs shipped are 32-bit).
windows64_build() {
  build windows64
}

# One fuzz target for fuzz_seconds, from its seed corpus; prints a line.
fuzz_one() {
  local target=$1 name corpus work log
  name=$(basename "$target" _fuzzer)
  corpus=fuzz/corpus/$name
  work=build/fuzz/work/$name
  log=build/fuzz/work/$name.log
  rm -rf "$work"
  mkdir -p "$work"
  if ! "$target" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$work/" "$work" "$corpus" >"$log" 2>&1; then
    echo "$name: FAILED"
    tail -n 40 "$log"
    return 1
  fi
  echo "$name: $(grep -E "^Done" "$log" | tail -n 1)"
}

# Each target is single-threaded: as many run at once as there are cores.
fuzz_tests() {
  build fuzz || return 1
  echo "fuzzing each target for ${fuzz_seconds}s, $(nproc) at a time"
  export -f fuzz_one
  export fuzz_seconds
  find build/fuzz/fuzz -maxdepth 1 -name '*_fuzzer' -type f -perm -u+x | sort |
    xargs -r -P "$(nproc)" -I{} bash -c 'fuzz_one "$1"' _ {}
}

demo() {
  bash scripts/demo.sh >build/demo.log 2>&1 || { cat build/demo.log; return 1; }
  grep -q "no plain file remains" build/demo.log || { cat build/demo.log; return 1; }
  tail -n 4 build/demo.log
}

# The checks of the sources themselves, before anything is built: the
# include directions and the documents' paths and names (and that each
# check refuses what it should).
source_checks() {
  bash scripts/check-includes.sh && bash scripts/check-includes.sh --self-test &&
    bash scripts/check-docs.sh && bash scripts/check-docs.sh --self-test
}

mkdir -p build
stage "source checks" source_checks
stage "native tests" native_tests
stage "sanitizer tests" sanitizer_tests
stage "Windows tests under Wine" windows_tests
stage "Windows 64-bit compile check" windows64_build
stage "fuzzing" fuzz_tests
stage "demo" demo

echo
for f in "${failures[@]+"${failures[@]}"}"; do echo "failed: $f"; done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
