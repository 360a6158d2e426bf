#!/usr/bin/env bash
# Checks that includes run downwards, builds everything and runs every
# test: the native unit and end-to-end tests, the same under
# AddressSanitizer and UndefinedBehaviorSanitizer,
# the 32-bit Windows build under Wine, a 64-bit Windows build that only has
# to compile, each fuzz target for a bounded time, and the demo.
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
  if "$@"; then
    passed=$((passed + 1))
    echo "--- $name: ok ($((SECONDS - start)) s)"
  else
    failed=$((failed + 1))
    failures+=("$name")
    echo "--- $name: FAILED ($((SECONDS - start)) s)"
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

windows_tests() {
  build windows || return 1
  source scripts/wine-env.sh
  veilbox_wine_setup || return 1
  ctest --test-dir build/windows --output-on-failure
}

# The 64-bit Windows build only has to compile: the programs shipped and
# tested are the 32-bit ones.
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

mkdir -p build
stage "include direction" bash scripts/check-includes.sh
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
