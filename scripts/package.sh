#!/usr/bin/env bash
# Builds the Windows packages of Veilbox from the 32-bit programs of the
# `windows` preset: build/package/veilbox-VERSION-x86.msi (with wixl, from
# Debian's msitools), build/package/veilbox-VERSION-win32.zip and
# build/package/SHA256SUMS.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset windows -DVEILBOX_TESTS=OFF >/dev/null
cmake --build --preset windows --target veilbox veilbox-protect

version=$(sed -n 's/^#define VEILBOX_VERSION "\(.*\)"$/\1/p' build/windows/generated/veilbox_version.h)
out=build/package
stage=$out/stage
rm -rf "$out"
mkdir -p "$stage"
cp build/windows/veilbox.exe build/windows/veilbox-protect.exe README.md veilbox.reg "$stage/"
# Fixed times in the zip, so that the same programs give the same zip.
touch -d "2000-01-01 00:00:00 UTC" "$stage"/*

msi=veilbox-$version-x86.msi
(cd "$stage" && wixl -a x86 -D VERSION="$version" -D SOURCEDIR=. \
  -o "../$msi" ../../../packaging/veilbox.wxs)
# The four values are public properties of a per-machine install: the
# server side takes them from the command line only when they are secure.
msibuild "$out/$msi" -q "UPDATE Property SET Value='WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED;ATTACHNAME;CITECTDIR;COMPEXE;CITECTVER' WHERE Property='SecureCustomProperties'"
(cd "$stage" && TZ=UTC zip -X -q "../veilbox-$version-win32.zip" \
  veilbox.exe veilbox-protect.exe README.md veilbox.reg)
rm -rf "$stage"
(cd "$out" && sha256sum "$msi" "veilbox-$version-win32.zip" > SHA256SUMS)
cat "$out/SHA256SUMS"
