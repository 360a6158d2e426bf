#!/usr/bin/env bash
# Checks every project include ("folder/file.h") against one table of the
# directions allowed between the folders:
#
#   app -> protect, dbase -> sysutil -> platform -> standin
#   and every folder -> text
#
# with two folders apart: testing/ is included only by tests (*_test.cc)
# and by testing/, fuzz/ and bench/; standin/ only by what the Windows
# build never compiles: the POSIX halves of the seam (platform/*_posix.cc
# and *_posix.h), POSIX tests (*_posix_test.cc), POSIX test programs
# (testing/ and tools/ *_posix.cc), fuzz/ and bench/. A folder of sources
# missing from the table, or an include of one, is an error too, so a new
# folder has to be placed.
#
#   check-includes.sh              checks the tree; prints every include
#                                  that breaks a rule and exits 1 on one
#   check-includes.sh --root DIR   checks the tree below DIR
#   check-includes.sh --self-test  shows that the check passes on a copy of
#                                  the tree and fails on each kind of
#                                  wrong include planted in the copy
set -u
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
script="$root/scripts/check-includes.sh"

# Folder and the folders its files may include (besides itself). Product
# code below, then the programs and tests that may use everything.
declare -A allowed=(
  [text]=""
  [standin]="text"
  [platform]="text"
  [sysutil]="text platform"
  [dbase]="text platform sysutil"
  [protect]="text platform sysutil"
  [app]="text platform sysutil dbase protect"
  [tools]="text platform sysutil dbase protect app"
  [testing]="text platform sysutil dbase protect app"
  [fuzz]="text standin platform sysutil dbase protect app"
  [bench]="text standin platform sysutil dbase protect app"
)
folders="text standin platform sysutil dbase protect app tools testing fuzz bench"

run_check() {
  local top=$1 violations=0 dir f line target rel first
  cd "$top" || return 2
  for dir in $folders; do
    [ -d "$dir" ] || continue
    while IFS= read -r line; do
      f=${line%%:*}
      line=${line#*:}
      target=${line#*\"}
      target=${target%%/*}
      rel="$f:${line%%:*}: #include \"${line#*\"}"
      if [ -z "${allowed[$target]+x}" ]; then
        echo "$rel (no folder $target/ in the table)"
        violations=$((violations + 1))
        continue
      fi
      [ "$target" = "$dir" ] && continue
      if [ "$target" = testing ]; then
        case "$dir" in testing | fuzz | bench) continue ;; esac
        [[ "$f" == *_test.cc ]] && continue
        echo "$rel (only tests include testing/)"
        violations=$((violations + 1))
        continue
      fi
      if [ "$target" = standin ]; then
        case "$dir:$f" in
          fuzz:* | bench:*) continue ;;
          *:*_posix_test.cc) continue ;;
          platform:*_posix.cc | platform:*_posix.h | tools:*_posix.cc | testing:*_posix.cc) continue ;;
          platform:* | tools:* | testing:*)
            echo "$rel (a file the Windows build compiles never uses the stand-in)"
            violations=$((violations + 1))
            continue
            ;;
        esac
      fi
      if [[ " ${allowed[$dir]} " != *" $target "* ]]; then
        echo "$rel ($dir/ may not include $target/)"
        violations=$((violations + 1))
      fi
    done < <(grep -rnE --include='*.h' --include='*.cc' \
      '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[A-Za-z0-9_]+/' "$dir" |
      sed -E 's/^([^:]+):([0-9]+):[[:space:]]*#[[:space:]]*include[[:space:]]+"/\1:\2:"/' | sort)
  done
  for dir in */; do
    dir=${dir%/}
    case "$dir" in build | docs | scripts | cmake | packaging | corpus) continue ;; esac
    [ -n "${allowed[$dir]+x}" ] && continue
    first=$(find "$dir" \( -name '*.h' -o -name '*.cc' \) | sort | head -n 1)
    if [ -n "$first" ]; then
      echo "$first: in $dir/, a folder of sources that the table does not place"
      violations=$((violations + 1))
    fi
  done
  if [ "$violations" -ne 0 ]; then
    echo "$violations include(s) against the allowed directions"
    return 1
  fi
  echo "includes: every include runs in an allowed direction"
}

# Plants one file in a copy of the tree and expects the check to fail and
# to name it.
expect_failure() {
  local copy=$1 file=$2 include=$3 out
  printf '#include "%s"\n' "$include" >"$copy/$file"
  if out=$(bash "$script" --root "$copy" 2>&1); then
    echo "self-test: $file including $include passed the check"
    rm -f "$copy/$file"
    return 1
  fi
  rm -f "$copy/$file"
  if [[ "$out" != *"$file:"* ]]; then
    echo "self-test: the check failed on $file including $include without naming it:"
    echo "$out"
    return 1
  fi
  echo "self-test: refused $file including $include"
}

self_test() {
  local copy status=0 dir
  copy=$(mktemp -d) || return 2
  trap 'rm -rf "$copy"' RETURN
  for dir in $folders; do
    [ -d "$root/$dir" ] || continue
    (cd "$root" && find "$dir" -type f \( -name '*.h' -o -name '*.cc' \) -exec cp --parents -t "$copy" {} +) ||
      return 2
  done
  if ! bash "$script" --root "$copy" >/dev/null; then
    echo "self-test: the copy of the tree does not pass"
    bash "$script" --root "$copy"
    return 1
  fi
  expect_failure "$copy" standin/probe.cc platform/files.h || status=1
  expect_failure "$copy" standin/probe.h platform/registry.h || status=1
  expect_failure "$copy" text/probe.cc platform/files.h || status=1
  expect_failure "$copy" platform/probe_posix.cc sysutil/globals.h || status=1
  expect_failure "$copy" sysutil/probe.cc app/compile_run.h || status=1
  expect_failure "$copy" dbase/probe.cc protect/line_cipher.h || status=1
  expect_failure "$copy" platform/probe_win32.cc standin/prefix.h || status=1
  expect_failure "$copy" platform/probe.cc standin/prefix.h || status=1
  expect_failure "$copy" app/probe.cc standin/prefix.h || status=1
  expect_failure "$copy" testing/e2e/probe.cc standin/prefix.h || status=1
  expect_failure "$copy" app/probe.cc testing/test_support.h || status=1
  expect_failure "$copy" app/probe.cc elsewhere/thing.h || status=1
  mkdir -p "$copy/newfolder"
  expect_failure "$copy" newfolder/probe.cc text/ansi_case.h || status=1
  [ "$status" -eq 0 ] && echo "self-test: passed"
  return "$status"
}

case "${1:-}" in
  --self-test) self_test ;;
  --root) run_check "$2" ;;
  "") run_check "$root" ;;
  *)
    echo "usage: check-includes.sh [--root DIR | --self-test]" >&2
    exit 2
    ;;
esac
