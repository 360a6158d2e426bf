#!/usr/bin/env bash
# The same commit builds the same bytes: builds veilbox.exe and
# veilbox-protect.exe with the 32-bit `windows` preset in build/windows and
# again in a second build directory at another path (a build path or a time
# stamp in the programs would differ), and compares them byte for byte.
# Only the two programs are built, each time incrementally.
set -u
# A compiler cache would hand the second build the first one's objects.
export CCACHE_DISABLE=1
cd "$(dirname "${BASH_SOURCE[0]}")/.." || exit 1
second=build/reproducible/second-build-tree
targets=(veilbox veilbox-protect)

for dir in build/windows "$second"; do
  log=build/reproducible-configure.log
  mkdir -p build
  cmake --preset windows -B "$dir" >"$log" 2>&1 || { cat "$log"; exit 1; }
  cmake --build "$dir" --target "${targets[@]}" || exit 1
done

rc=0
for exe in veilbox.exe veilbox-protect.exe; do
  if cmp -s "build/windows/$exe" "$second/$exe"; then
    echo "$exe: identical in both builds ($(sha256sum <"build/windows/$exe" | cut -c1-16)...)"
  else
    echo "$exe: the two builds differ:"
    cmp -l "build/windows/$exe" "$second/$exe" | head -n 5
    rc=1
  fi
done
exit $rc
