#!/usr/bin/env bash
# Fills in the winget manifest set of packaging/winget/ for a built and
# signed package: its version, product and upgrade codes, its SHA-256, and
# the address it is published at (VOK_INSTALLER_URL; without it a
# placeholder to replace). An unsigned package gets none: signing changes the
# file, and a manifest holds the SHA-256 of the very file users download.
# Usage: winget.sh MSI OUT_DIR
set -euo pipefail
here=$(dirname "$(realpath "$0")")
msi=$(realpath "$1") out=$(realpath -m "$2")
verify_args=()
[ -n "${VOK_SIGN_CAFILE:-}" ] && verify_args+=(-CAfile "$VOK_SIGN_CAFILE")
if ! osslsigncode verify "${verify_args[@]}" -in "$msi" >/dev/null 2>&1; then
  echo "winget: $1 carries no signature that verifies: the manifests are made for a signed package only (make release)" >&2
  exit 1
fi
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
