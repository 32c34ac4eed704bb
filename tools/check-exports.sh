#!/usr/bin/env bash
# Fails unless a DLL exports each given name at its ordinal, and every name
# undecorated (no stdcall "_name@n" forms on i686).
# Usage: check-exports.sh OBJDUMP DLL NAME=ORDINAL...
set -euo pipefail
objdump=$1 dll=$2; shift 2
exports=$("$objdump" -p "$dll" | awk '
  /^Ordinal Base/ { base = $3 }
  /\[Ordinal\/Name Pointer\] Table/ { listing = 1; next }
  listing && /^\t\[/ { gsub(/[][]/, ""); print $2 "=" $1 + base; next }
  listing { listing = 0 }
  # LLVM objdump (the ARM64 library): ordinals already counted from the base.
  /^ Ordinal +RVA +Name/ { llvm = 1; next }
  llvm && NF == 3 { print $3 "=" $1; next }
  llvm { llvm = 0 }')
[ -n "$exports" ] || { echo "$dll: no export table found" >&2; exit 1; }
status=0
for wanted in "$@"; do
  grep -qxF "$wanted" <<<"$exports" || { echo "$dll: missing export $wanted" >&2; status=1; }
done
decorated=$(grep -E '^_|@' <<<"$exports" || true)
[ -z "$decorated" ] || { echo "$dll: decorated exports: $decorated" >&2; status=1; }
[ $status -eq 0 ] && echo "$dll exports: $(echo $exports)"
exit $status
