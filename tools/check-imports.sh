#!/usr/bin/env bash
# Fails when a DLL imports anything but Windows system DLLs: the MinGW runtime
# (libstdc++, libgcc, libwinpthread) must be linked in statically.
# Usage: check-imports.sh OBJDUMP DLL
set -euo pipefail
objdump=$1 dll=$2
allowed='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|shlwapi|comctl32|mpr|msvcrt|api-ms-win-crt-[a-z0-9-]+)\.dll$'
imports=$("$objdump" -p "$dll" | awk '/DLL Name:/ {print tolower($3)}' | sort -u)
[ -n "$imports" ] || { echo "$dll: no import table found" >&2; exit 1; }
bad=$(printf '%s\n' "$imports" | grep -v -E "$allowed" || true)
if [ -n "$bad" ]; then
  echo "$dll imports non-system DLLs:" >&2; printf '  %s\n' $bad >&2; exit 1
fi
echo "$dll imports only: $(echo $imports)"
