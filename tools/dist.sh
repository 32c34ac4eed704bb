#!/usr/bin/env bash
# Builds the package for Windows users: the two libraries stripped of their
# symbols and signed (tools/sign.sh, when a certificate is given), the
# install and uninstall scripts and a README, with Windows line endings for
# the text files.
# Usage: dist.sh I686_DLL X86_64_DLL OUT_ZIP
set -euo pipefail
here=$(dirname "$(realpath "$0")")
x86=$(realpath "$1") x64=$(realpath "$2") out=$(realpath -m "$3")
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/x86" "$stage/x64" "$(dirname "$out")"
i686-w64-mingw32-strip -o "$stage/x86/vok.dll" "$x86"
x86_64-w64-mingw32-strip -o "$stage/x64/vok.dll" "$x64"
"$here/sign.sh" "$stage/x86/vok.dll" "$stage/x64/vok.dll"
for text in install.cmd uninstall.cmd README.txt; do
  sed 's/\r*$/\r/' "$here/../packaging/$text" >"$stage/$text"
done
rm -f "$out"
(cd "$stage" && zip -q -X -r "$out" x86 x64 install.cmd uninstall.cmd README.txt)
echo "dist: $out"
for dll in x86 x64; do echo "  $dll\\vok.dll  $(stat -c %s "$stage/$dll/vok.dll") bytes"; done
