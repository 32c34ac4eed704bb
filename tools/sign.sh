#!/usr/bin/env bash
# Signs each file in place with the publisher's certificate, SHA-256, and
# verifies the signature; does nothing when no certificate is given.
#   VOK_SIGN_PFX       the certificate and its key (PKCS#12)
#   VOK_SIGN_PASSWORD  its password
#   VOK_SIGN_TIMESTAMP an RFC 3161 time-stamp server's URL (optional)
#   VOK_SIGN_CAFILE    the certificates to verify against (optional; by
#                      default the system's)
# Usage: sign.sh FILE...
set -euo pipefail
[ -n "${VOK_SIGN_PFX:-}" ] || exit 0
[ -r "$VOK_SIGN_PFX" ] || { echo "sign: cannot read VOK_SIGN_PFX ($VOK_SIGN_PFX)" >&2; exit 1; }
sign_args=(-pkcs12 "$VOK_SIGN_PFX" -h sha256 -n Vokmark)
[ -n "${VOK_SIGN_TIMESTAMP:-}" ] && sign_args+=(-ts "$VOK_SIGN_TIMESTAMP")
verify_args=()
[ -n "${VOK_SIGN_CAFILE:-}" ] && verify_args+=(-CAfile "$VOK_SIGN_CAFILE")
for file in "$@"; do
  # The password goes through a pipe, never the command line that others see.
  if [ -n "${VOK_SIGN_PASSWORD:-}" ]; then
    osslsigncode sign "${sign_args[@]}" -readpass <(printf '%s' "$VOK_SIGN_PASSWORD") -in "$file" -out "$file.signed" >/dev/null
  else
    osslsigncode sign "${sign_args[@]}" -in "$file" -out "$file.signed" >/dev/null
  fi
  mv "$file.signed" "$file"
  if ! report=$(osslsigncode verify "${verify_args[@]}" -in "$file" 2>&1); then
    echo "$report" >&2
    echo "sign: $file does not verify" >&2
    exit 1
  fi
  echo "sign: $(basename "$(dirname "$file")")/$(basename "$file") signed and verified"
done
