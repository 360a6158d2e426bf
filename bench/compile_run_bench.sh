#!/usr/bin/env bash
# Builds the release preset and runs the end-to-end compile-run benchmark
# (bench/compile_run_bench.py): Veilbox against the floor on layouts of 1x,
# 2x, 4x and 8x the base size. Writes docs/compile-run-bench.md, .png and
# .json. Needs about 5 GB of free disk for the 8x layout; each layout is
# removed before the next one is laid out. Arguments go to the Python
# driver (--sizes 1,2 --runs 5, --floor-only, ...).
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
cmake --build --preset release --target veilbox veilbox-protect

exec "$python" bench/compile_run_bench.py "$@"
