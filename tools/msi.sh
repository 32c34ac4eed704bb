#!/usr/bin/env bash
# Builds the Windows Installer package from packaging/vokmark.wxs with wixl:
# the two libraries stripped of their symbols, the version from the
# library's version block (FILEVERSION, major.minor.build) unless VERSION is
# given, and one product code per version.
# Usage: msi.sh I686_DLL X86_64_DLL OUT_MSI [VERSION]
set -euo pipefail
here=$(dirname "$(realpath "$0")")
root=$here/..
x86=$(realpath "$1") x64=$(realpath "$2") out=$(realpath -m "$3")
version=${4:-$(sed -n 's/^FILEVERSION *\([0-9]*\), *\([0-9]*\), *\([0-9]*\),.*/\1.\2.\3/p' "$root/src/Resources/Library.rc")}
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || { echo "msi: no version (got '$version')" >&2; exit 1; }
upgrade_code=$(sed -n 's/.*define UpgradeCode = "\([^"]*\)".*/\1/p' "$root/packaging/vokmark.wxs")
# The same version is the same product: installing it again repairs it.
product_code=$(python3 -c 'import sys, uuid; print(str(uuid.uuid5(uuid.UUID(sys.argv[1]), sys.argv[2])).upper())' \
  "$upgrade_code" "$version")
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/x86" "$stage/x64" "$(dirname "$out")"
i686-w64-mingw32-strip -o "$stage/x86/vok.dll" "$x86"
x86_64-w64-mingw32-strip -o "$stage/x64/vok.dll" "$x64"
cp "$root/src/Resources/icons/MAINICON.ico" "$stage/"
rm -f "$out"
# wixl finds the sources relative to the folder it runs in.
(cd "$stage" && wixl -a x64 -D Version="$version" -D ProductCode="{$product_code}" \
  -o "$out" "$root/packaging/vokmark.wxs")
echo "msi: $out (version $version)"
