#!/usr/bin/env bash
# Signs each file in place with the publisher's certificate, SHA-256, and
# verifies the signature. Without a certificate it leaves the files unsigned
# and says so, and without a time-stamp server it signs and warns that the
# signatures end with the certificate; with VOK_SIGN_REQUIRED=1 (make
# release) either fails.
#   VOK_SIGN_PFX       the certificate and its key (PKCS#12)
#   VOK_SIGN_PASSWORD  its password
#   VOK_SIGN_TIMESTAMP an RFC 3161 time-stamp server's URL
#   VOK_SIGN_CAFILE    the certificates to verify against (optional; by
#                      default the system's)
# Usage: sign.sh FILE...
set -euo pipefail
names() { for file in "$@"; do printf ' %s/%s' "$(basename "$(dirname "$file")")" "$(basename "$file")"; done; }
refuse_or_warn() { # refuse_or_warn MESSAGE: fails under VOK_SIGN_REQUIRED
  if [ "${VOK_SIGN_REQUIRED:-}" = 1 ]; then echo "sign: $1" >&2; exit 1; fi
  echo "sign: $1"
}
if [ -z "${VOK_SIGN_PFX:-}" ]; then
  refuse_or_warn "no certificate (VOK_SIGN_PFX):$(names "$@") left unsigned"
  exit 0
fi
[ -r "$VOK_SIGN_PFX" ] || { echo "sign: cannot read VOK_SIGN_PFX ($VOK_SIGN_PFX)" >&2; exit 1; }
sign_args=(-pkcs12 "$VOK_SIGN_PFX" -h sha256 -n Vokmark)
if [ -n "${VOK_SIGN_TIMESTAMP:-}" ]; then
  sign_args+=(-ts "$VOK_SIGN_TIMESTAMP")
else
  refuse_or_warn "no time-stamp server (VOK_SIGN_TIMESTAMP): the signatures of$(names "$@") end with the certificate"
fi
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
  echo "sign:$(names "$file") signed and verified"
done
