#!/usr/bin/env bash
# Checks that includes run downwards only:
#
#   app -> protect, dbase -> sysutil -> platform -> standin
#
# platform/ and standin/ include nothing of sysutil/, dbase/, protect/ or
# app/; sysutil/ nothing of dbase/, protect/ or app/; dbase/ and protect/
# nothing of app/. Only tests (*_test.cc) include testing/. The POSIX
# stand-in is reached only from the POSIX halves of the seam (*_posix.cc,
# *_posix_test.cc) and from standin/ itself: product code that the Windows
# build compiles never includes it.
#
# Prints every include that breaks a rule and exits 1 when there is one.
set -u
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

violations=0

# check FOLDER FORBIDDEN-REGEX: every include in FOLDER's sources that
# names a file below one of the forbidden folders.
check() {
  local dir=$1 forbidden=$2 f line
  for f in "$dir"/*.h "$dir"/*.cc; do
    [ -e "$f" ] || continue
    while IFS= read -r line; do
      echo "$f:$line"
      violations=$((violations + 1))
    done < <(grep -nE "^[[:space:]]*#[[:space:]]*include[[:space:]]+\"($forbidden)/" "$f")
  done
}

check_tests_only() {
  local dir=$1 f line
  for f in "$dir"/*.h "$dir"/*.cc; do
    [ -e "$f" ] || continue
    case "$f" in *_test.cc) continue ;; esac
    while IFS= read -r line; do
      echo "$f:$line (only tests include testing/)"
      violations=$((violations + 1))
    done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"testing/' "$f")
  done
}

check_standin_reach() {
  local f line
  for f in platform/*.h platform/*.cc; do
    [ -e "$f" ] || continue
    case "$f" in *_posix.cc | *_posix_test.cc) continue ;; esac
    while IFS= read -r line; do
      echo "$f:$line (only the POSIX halves of the seam use the stand-in)"
      violations=$((violations + 1))
    done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"standin/' "$f")
  done
}

check standin 'sysutil|dbase|protect|app'
check platform 'sysutil|dbase|protect|app'
check sysutil 'dbase|protect|app'
check dbase 'app'
check protect 'app'
for dir in standin platform sysutil dbase protect app; do
  check_tests_only "$dir"
done
check_standin_reach

if [ "$violations" -ne 0 ]; then
  echo "$violations include(s) against the direction app -> protect, dbase -> sysutil -> platform -> standin"
  exit 1
fi
echo "includes: every folder includes only the folders below it"
