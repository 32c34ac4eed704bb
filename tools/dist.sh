#!/usr/bin/env bash
# Builds the package for Windows users: the three libraries stripped of their
# symbols and signed (tools/sign.sh), the install and uninstall scripts and a
# README, with Windows line endings for the text files.
# Usage: dist.sh I686_DLL X86_64_DLL AARCH64_DLL OUT_ZIP
set -euo pipefail
here=$(dirname "$(realpath "$0")")
# shellcheck source=stage-libraries.sh
. "$here/stage-libraries.sh"
out=$(realpath -m "$4")
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$(dirname "$out")"
stage_libraries "$stage" "$1" "$2" "$3"
for text in install.cmd uninstall.cmd README.txt; do
  sed 's/\r*$/\r/' "$here/../packaging/$text" >"$stage/$text"
done
rm -f "$out"
(cd "$stage" && zip -q -X -r "$out" x86 x64 arm64 install.cmd uninstall.cmd README.txt)
echo "dist: $out"
for dll in x86 x64 arm64; do echo "  $dll\\vok.dll  $(stat -c %s "$stage/$dll/vok.dll") bytes"; done
