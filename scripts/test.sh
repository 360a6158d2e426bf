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

build() {
  cmake --preset "$1" >"build/$1.configure.log" 2>&1 || { cat "build/$1.configure.log"; return 1; }
  cmake --build --preset "$1"
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
# shipped 32-bit programs run the whole table. Where it does not, the 64-bit
# build (which reads the settings from the 32-bit view too) runs the table
# under Wine's 64-bit loader, and the 32-bit programs get a smoke run under
# user-mode emulation where binfmt_misc allows it. The stage's line says
# which ran: windows_note holds it.
windows_note=
windows_tests() {
  build windows || return 1
  source scripts/wine-env.sh
  if [ "$VEILBOX_WINE_KIND" = native32 ]; then
    windows_note="32-bit build"
    veilbox_wine_setup || return 1
    ctest --test-dir build/windows --output-on-failure
    return
  fi
  local emulation=yes why
  if ! why=$(bash scripts/binfmt-i386.sh 2>&1); then
    emulation=no
  fi
  build windows64 || return 1
  veilbox_wine_setup || return 1
  local rc=0
  ctest --test-dir build/windows64 --output-on-failure || rc=1
  windows_note="64-bit build: this kernel runs no 32-bit programs"
  if [ "$emulation" = no ]; then
    windows_note+="; 32-bit smoke under emulation: skipped ($why)"
  elif bash scripts/wine-smoke32.sh; then
    windows_note+="; 32-bit smoke under emulation: ok"
  else
    windows_note+="; 32-bit smoke under emulation: FAILED"
    rc=1
  fi
  return $rc
}

# The 64-bit Windows build: the table's build where 32-bit programs do not
# run, otherwise only a compile check (the programs shipped are 32-bit).
windows64_build() {
  build windows64
}

fuzz_tests() {
  build fuzz || return 1
  local ok=0 target name corpus work
  for target in build/fuzz/fuzz/*_fuzzer; do
    [ -x "$target" ] || continue
    name=$(basename "$target" _fuzzer)
    corpus=fuzz/corpus/$name
    work=build/fuzz/work/$name
    log=build/fuzz/work/$name.log
    rm -rf "$work"
    mkdir -p "$work"
    echo "fuzzing $name for ${fuzz_seconds}s"
    if ! "$target" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="$work/" "$work" "$corpus" >"$log" 2>&1; then
      echo "$name: FAILED"
      tail -n 40 "$log"
      ok=1
    else
      grep -E "^Done" "$log" | tail -n 1 || true
    fi
  done
  return $ok
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
