#!/usr/bin/env bash
# Fills in the winget manifest set of packaging/winget/ for a built package:
# its version, product and upgrade codes, its SHA-256, and the address it is
# published at (VOK_INSTALLER_URL; without it a placeholder to replace).
# Usage: winget.sh MSI OUT_DIR
set -euo pipefail
here=$(dirname "$(realpath "$0")")
msi=$(realpath "$1") out=$(realpath -m "$2")
property() { msiinfo export "$msi" Property | tr -d '\r' | sed -n "s/^$1\t//p"; }
version=$(property ProductVersion)
url=${VOK_INSTALLER_URL:-https://vokmark.example/download/$version/vokmark.msi}
sha256=$(sha256sum "$msi" | cut -d' ' -f1 | tr '[:lower:]' '[:upper:]')
rm -rf "$out"
mkdir -p "$out"
for template in "$here"/../packaging/winget/*.yaml; do
  sed -e "s|@VERSION@|$version|g" -e "s|@INSTALLER_URL@|$url|g" -e "s|@SHA256@|$sha256|g" \
    -e "s|@PRODUCT_CODE@|$(property ProductCode)|g" -e "s|@UPGRADE_CODE@|$(property UpgradeCode)|g" \
    "$template" >"$out/$(basename "$template")"
done
echo "winget: $out (InstallerUrl $url)"
