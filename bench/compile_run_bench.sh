#!/usr/bin/env bash
# Builds the release preset (and, where MinGW is installed, veilbox.exe and
# the stand-in compiler of the windows preset) and runs the end-to-end
# compile-run benchmark (bench/compile_run_bench.py): Veilbox against the
# floor on layouts of 1x and 2x the base size (--sizes), on disk and in
# memory, natively and under Wine, the one-directory shape (1,000 and 8,000
# ProtectedFiles in one project directory) and the master-table shape (a
# master.dbf of 1,000,000 projects against shapelib's scan of it), and the
# decryption benchmark. Writes
# docs/performance.md, .png and .json. Arguments go to the Python driver
# (--sizes 1,2,8 --runs 5, --media disk, --no-wine, ...).
set -eu
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

# The plot needs Debian's matplotlib for the system Python.
python=/usr/bin/python3
if ! "$python" -c "import matplotlib" >/dev/null 2>&1; then
  if [ "$(id -u)" != 0 ]; then
    echo "Install python3-matplotlib first: sudo apt-get install -y python3-matplotlib" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq >/dev/null
  apt-get install -y -qq --no-install-recommends python3-matplotlib >/dev/null
fi

mkdir -p build
cmake --preset release >build/release.configure.log 2>&1 || { cat build/release.configure.log; exit 1; }
cmake --build --preset release --target veilbox veilbox-protect protected_file_bench
# The floor of the master-table shape needs shapelib (libshp-dev).
cmake --build --preset release --target dbf_scan_floor >/dev/null 2>&1 ||
  echo "dbf_scan_floor not built (no shapelib): the master-table shape is skipped" >&2
if command -v x86_64-w64-mingw32-g++ >/dev/null 2>&1 || command -v i686-w64-mingw32-g++ >/dev/null 2>&1; then
  cmake --preset windows >build/windows.configure.log 2>&1 || { cat build/windows.configure.log; exit 1; }
  cmake --build --preset windows --target veilbox fake-compiler
fi

exec "$python" bench/compile_run_bench.py "$@"
