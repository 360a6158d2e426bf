#!/usr/bin/env bash
# Builds the Windows packages of Veilbox from the 32-bit programs of the
# `windows` preset (only the two programs, not the tests):
# build/package/veilbox-VERSION-x86.msi (with wixl, from Debian's msitools),
# build/package/veilbox-VERSION-win32.zip and build/package/SHA256SUMS.
#
#   PACKAGE_VERSION  builds the MSI with this version instead of the
#                    project's (the upgrade test's newer package), into
#                    PACKAGE_OUT (default build/package)
set -euo pipefail
cd "$(dirname "$0")/.."
for tool in wixl msibuild zip; do
  command -v "$tool" >/dev/null || { echo "package: $tool is missing (Debian's msitools, zip)" >&2; exit 1; }
done

cmake --preset windows >build/windows.configure.log 2>&1 || { cat build/windows.configure.log; exit 1; }
cmake --build --preset windows --target veilbox veilbox-protect

version=$(sed -n 's/^#define VEILBOX_VERSION "\(.*\)"$/\1/p' build/windows/generated/veilbox_version.h)
[ -n "$version" ] || { echo "package: no version in build/windows/generated/veilbox_version.h" >&2; exit 1; }
version=${PACKAGE_VERSION:-$version}
out=${PACKAGE_OUT:-build/package}
stage=$out/stage
rm -rf "$out"
mkdir -p "$stage"
cp build/windows/veilbox.exe build/windows/veilbox-protect.exe README.md veilbox.reg "$stage/"
# Fixed times in the zip, so that the same programs give the same zip.
touch -d "2000-01-01 00:00:00 UTC" "$stage"/*

msi=veilbox-$version-x86.msi
wixl -a x86 -D VERSION="$version" -D SOURCEDIR="$stage" -o "$out/$msi" packaging/veilbox.wxs
# The four values are public properties of a per-machine install: the
# installer's server side takes them from the command line only when they
# are listed as secure (wixl has no Secure attribute).
msibuild "$out/$msi" -q "UPDATE Property SET Value='WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED;ATTACHNAME;CITECTDIR;COMPEXE;CITECTVER' WHERE Property='SecureCustomProperties'"
# A package of the same version (a rebuild) replaces the installed one too,
# instead of installing beside it as a second product that shares its
# files: the upgrade's range includes its maximum (wixl has no
# AllowSameVersionUpgrades; the attribute belongs to the row's key, so the
# row is written anew).
upgrade_code=$(msiinfo export "$out/$msi" Property | tr -d '\r' | awk -F '\t' '$1 == "UpgradeCode" { print $2 }')
msibuild "$out/$msi" -q "DELETE FROM Upgrade WHERE ActionProperty='WIX_UPGRADE_DETECTED'"
# 513: migrate the features, the maximum version included.
msibuild "$out/$msi" -q "INSERT INTO Upgrade (UpgradeCode, VersionMax, Attributes, ActionProperty) VALUES ('$upgrade_code', '$version', 513, 'WIX_UPGRADE_DETECTED')"
zip_name=veilbox-$version-win32.zip
(cd "$stage" && TZ=UTC zip -X -q "../$zip_name" veilbox.exe veilbox-protect.exe README.md veilbox.reg)
rm -rf "$stage"
(cd "$out" && sha256sum "$msi" "$zip_name" >SHA256SUMS)
cat "$out/SHA256SUMS"
