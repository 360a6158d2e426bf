#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks to build and test Veilbox.
# As root it uses apt-get; otherwise it names the packages to install.
set -u

# command or file that tells a package is there, and the package
needs=(
  "cmake:cmake"
  "ninja:ninja-build"
  "g++:g++"
  "clang++:clang"
  "/usr/lib/llvm-14/lib/clang/14.0.6/lib/linux/libclang_rt.fuzzer-x86_64.a:libclang-rt-14-dev"
  "/usr/include/gtest/gtest.h:libgtest-dev"
  "/usr/include/gmock/gmock.h:libgmock-dev"
  "/usr/src/googletest/googletest/src/gtest-all.cc:googletest"
  "/usr/include/benchmark/benchmark.h:libbenchmark-dev"
  "x86_64-w64-mingw32-g++-posix:g++-mingw-w64-x86-64"
  "x86_64-w64-mingw32-windres:binutils-mingw-w64-x86-64"
  "wine:wine"
  "/usr/lib/wine/wine64:wine64"
  "Xvfb:xvfb"
  "xwd:x11-apps"
  "convert:imagemagick"
  "/usr/lib/python3/dist-packages/dbf/__init__.py:python3-dbf"
  "/usr/lib/python3/dist-packages/dbfread/__init__.py:python3-dbfread"
  "/usr/include/shapefil.h:libshp-dev"
  "clang-format:clang-format"
  "getfattr:attr"
  "hyperfine:hyperfine"
  "/usr/bin/time:time"
  "/usr/lib/python3/dist-packages/matplotlib/__init__.py:python3-matplotlib"
)

missing=()
for entry in "${needs[@]}"; do
  probe=${entry%%:*}
  package=${entry#*:}
  if [[ $probe == /* ]]; then
    [ -e "$probe" ] && continue
  else
    command -v "$probe" >/dev/null 2>&1 && continue
  fi
  missing+=("$package")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
if [ "$(id -u)" != 0 ]; then
  echo "Not root: install these Debian packages first, then run again:" >&2
  echo "  sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq >/dev/null || { echo "apt-get update failed" >&2; exit 1; }
if ! apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; then
  echo "apt-get could not install: ${missing[*]}" >&2
  echo "Install these Debian packages by hand and run again." >&2
  exit 1
fi
