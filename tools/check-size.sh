#!/usr/bin/env bash
# Fails when a DLL, stripped of its symbols as it ships, exceeds a budget.
# Usage: check-size.sh STRIP DLL MAX_KIB
set -euo pipefail
strip=$1 dll=$2 max_kib=$3
stripped=$(mktemp)
trap 'rm -f "$stripped"' EXIT
"$strip" -o "$stripped" "$dll"
bytes=$(stat -c %s "$stripped")
kib=$(( (bytes + 1023) / 1024 ))
if [ "$kib" -gt "$max_kib" ]; then
  echo "$dll: $kib KiB stripped, over the budget of $max_kib KiB" >&2; exit 1
fi
echo "$dll: $kib KiB stripped (budget $max_kib KiB)"
