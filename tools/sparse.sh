#!/usr/bin/env bash
# Builds the package for Windows 11's Explorer menu (a package with external
# location: it carries no program files): the manifest of packaging/sparse/,
# its logos (drawn by src/Resources/make_bitmaps.py), made into a package by
# tools/msix.py with the library's version block (FILEVERSION, all four
# numbers) as its version; then signed and verified (tools/sign.sh, when a
# certificate is given) and its archive tested.
# Usage: sparse.sh OUT_MSIX [VERSION]
set -euo pipefail
here=$(dirname "$(realpath "$0")")
root=$here/..
out=$(realpath -m "$1")
version=${2:-$(sed -n 's/^FILEVERSION *\([0-9]*\), *\([0-9]*\), *\([0-9]*\), *\([0-9]*\).*/\1.\2.\3.\4/p' "$root/src/Resources/Library.rc")}
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/Assets"
cp "$root/packaging/sparse/AppxManifest.xml" "$stage/"
cp "$root"/src/Resources/package/*.png "$stage/Assets/"
rm -f "$out"
python3 "$here/msix.py" "$stage" "$out" "$version"
"$here/sign.sh" "$out"
# The signing tool rewrites the archive: it must still read back whole.
unzip -tq "$out" >/dev/null || { echo "sparse: $out does not read back whole after signing" >&2; exit 1; }
echo "sparse: $out (version $version)"
