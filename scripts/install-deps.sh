#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks to build and test Veilbox.
# As root it uses apt-get; otherwise it names the packages to install.
set -u

# command, file or "pkg:NAME" (an installed Debian package) that tells a
# package is there, and the package. The probes name no version.
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
  "i686-w64-mingw32-g++-posix:g++-mingw-w64-i686"
  "i686-w64-mingw32-windres:binutils-mingw-w64-i686"
  "x86_64-w64-mingw32-g++-posix:g++-mingw-w64-x86-64"
  "x86_64-w64-mingw32-windres:binutils-mingw-w64-x86-64"
  "wine:wine"
  "/usr/lib/wine/wine64:wine64"
  "pkg:wine32%i386:wine32:i386"
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

# Debian's package for a probe "pkg:NAME%ARCH" is installed.
package_installed() {
  local name=${1//%/:}
  [ "$(dpkg-query -W -f='${db:Status-Status}' "$name" 2>/dev/null)" = installed ]
}

missing=()
for entry in "${needs[@]}"; do
  if [[ $entry == pkg:* ]]; then
    entry=${entry#pkg:}
    probe=${entry%%:*}
    package=${entry#*:}
    package_installed "$probe" && continue
  else
    probe=${entry%%:*}
    package=${entry#*:}
    if [[ $probe == /* ]]; then
      [ -e "$probe" ] && continue
    else
      command -v "$probe" >/dev/null 2>&1 && continue
    fi
  fi
  missing+=("$package")
done

# The Windows programs are 32-bit: Wine runs them with its 32-bit half
# (wine32), a package of the i386 architecture.
needs_i386=0
for package in "${missing[@]+"${missing[@]}"}"; do
  [[ $package == *:i386 ]] && needs_i386=1
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
if [ "$(id -u)" != 0 ]; then
  echo "Not root: install these Debian packages first, then run again:" >&2
  [ "$needs_i386" = 1 ] && echo "  sudo dpkg --add-architecture i386 && sudo apt-get update" >&2
  echo "  sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
if [ "$needs_i386" = 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386 || { echo "dpkg --add-architecture i386 failed" >&2; exit 1; }
fi
apt-get update -qq >/dev/null || { echo "apt-get update failed" >&2; exit 1; }
if ! apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; then
  echo "apt-get could not install: ${missing[*]}" >&2
  echo "Install these Debian packages by hand and run again." >&2
  exit 1
fi
