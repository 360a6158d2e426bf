#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks to build and test Veilbox.
# As root it uses apt-get; otherwise it names the packages to install.
set -u

# What tells that a package is there, and the package. A probe is a
# command, a file, "pkg:NAME" (an installed Debian package, "%" for ":"),
# "py:MODULE" (a module the system's python3 imports) or "clang-rt:LIBRARY" (a runtime
# library clang finds for itself). No probe names a version.
# Only what the build, the tests and the demo use is here; the benchmarks
# and the screenshot script need more (see the developer documents).
needs=(
  "cmake:cmake"
  "ninja:ninja-build"
  "g++:g++"
  "clang++:clang"
  "clang-rt:libclang_rt.fuzzer-x86_64.a:libclang-rt-dev"
  "/usr/include/gtest/gtest.h:libgtest-dev"
  "/usr/include/gmock/gmock.h:libgmock-dev"
  "/usr/src/googletest/googletest/src/gtest-all.cc:googletest"
  "i686-w64-mingw32-g++-posix:g++-mingw-w64-i686"
  "i686-w64-mingw32-windres:binutils-mingw-w64-i686"
  "x86_64-w64-mingw32-g++-posix:g++-mingw-w64-x86-64"
  "x86_64-w64-mingw32-windres:binutils-mingw-w64-x86-64"
  "wixl:wixl"
  "msibuild:msitools"
  "zip:zip"
  "wine:wine"
  "/usr/lib/wine/wine64:wine64"
  "pkg:wine32%i386:wine32:i386"
  "/usr/bin/qemu-i386-static:qemu-user-static"
  "/usr/bin/python3:python3"
  "py:dbf:python3-dbf"
  "py:dbfread:python3-dbfread"
  "/usr/include/shapefil.h:libshp-dev"
  "strace:strace"
  "ccache:ccache"
)

# Debian's package for a probe "pkg:NAME%ARCH" is installed.
package_installed() {
  local name=${1//%/:}
  [ "$(dpkg-query -W -f='${db:Status-Status}' "$name" 2>/dev/null)" = installed ]
}

# clang finds the runtime library LIBRARY: it prints a full path for a
# library it has, and the bare name for one it lacks.
clang_runtime_found() {
  local path
  path=$(clang++ -print-file-name="$1" 2>/dev/null) || return 1
  [[ $path == /* ]] && [ -e "$path" ]
}

missing=()
for entry in "${needs[@]}"; do
  if [[ $entry == pkg:* ]]; then
    entry=${entry#pkg:}
    probe=${entry%%:*}
    package=${entry#*:}
    package_installed "$probe" && continue
  elif [[ $entry == py:* ]]; then
    entry=${entry#py:}
    probe=${entry%%:*}
    package=${entry#*:}
    /usr/bin/python3 -c "import $probe" >/dev/null 2>&1 && continue
  elif [[ $entry == clang-rt:* ]]; then
    entry=${entry#clang-rt:}
    probe=${entry%%:*}
    package=${entry#*:}
    clang_runtime_found "$probe" && continue
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
