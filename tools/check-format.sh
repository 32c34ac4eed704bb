#!/usr/bin/env bash
# Fails when a C++ file under src/, tests/, harden/, bench/ or fuzz/ is not
# laid out as .clang-format describes; names each such file.
# Usage: check-format.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
command -v clang-format >/dev/null || { echo "check-format: clang-format is not installed" >&2; exit 1; }
mapfile -t files < <(find src tests harden bench fuzz -type f \( -name '*.cpp' -o -name '*.h' \) | sort)
[ ${#files[@]} -gt 0 ] || { echo "check-format: no C++ files found" >&2; exit 1; }
bad=()
for f in "${files[@]}"; do
  clang-format --dry-run -Werror --ferror-limit=1 "$f" >/dev/null 2>&1 || bad+=("$f")
done
if [ ${#bad[@]} -gt 0 ]; then
  echo "check-format: ${#bad[@]} of ${#files[@]} files differ from .clang-format's layout:" >&2
  printf '  %s\n' "${bad[@]}" >&2
  echo "see the changes with: clang-format --dry-run FILE; apply them with: clang-format -i FILE" >&2
  exit 1
fi
echo "check-format: all ${#files[@]} files laid out as .clang-format describes"
