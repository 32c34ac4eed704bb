#!/usr/bin/env bash
# Runs clang-tidy (checks and settings in .clang-tidy) over the library's own
# sources, src/**/*.cpp but the tests, as the MinGW x86_64 compiler sees them.
# Fails on any finding. Two files at a time (TIDY_JOBS to change).
# Usage: check-tidy.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cxx=x86_64-w64-mingw32-g++-posix

# The cross compiler's search list, in its order. Its C++ headers come first,
# the MinGW headers last; between them GCC's own directory (intrinsics and
# builtins such as stddef.h) gives way to clang's, which -nostdlibinc keeps
# and which clang can parse (GCC's intrinsics headers call builtins clang
# does not have). -nostdlibinc also keeps the host's /usr/include out.
flags=(--target=x86_64-w64-mingw32 -std=c++17 -nostdlibinc)
while read -r dir; do
  dir=$(realpath "$dir")
  case $dir in
    */include/c++*) flags+=(-isystem "$dir") ;;
    */x86_64-w64-mingw32/include) flags+=(-idirafter "$dir") ;;
  esac
done < <("$cxx" -E -v -x c++ /dev/null 2>&1 | sed -n '/^#include <\.\.\.>/,/^End of search list/{//!p}')
case "${flags[*]}" in
  *-isystem*-idirafter*) ;;
  *) echo "check-tidy: no C++ and MinGW header directories from $cxx" >&2; exit 1 ;;
esac
# As CMakeLists.txt has them.
flags+=(-DWIN32_LEAN_AND_MEAN -DNOMINMAX -D_WIN32_WINNT=0x0601 -DWINVER=0x0601 -I"$root/src")

if [ "${1:-}" = --one ]; then
  # One file; its report comes out in one piece, after the file's name.
  out=$(clang-tidy --quiet "$2" -- "${flags[@]}" 2>&1) && rc=0 || rc=$?
  if [ "$rc" -ne 0 ]; then printf '%s: FAILED\n%s\n' "${2#"$root"/}" "$out"; else echo "${2#"$root"/}: clean"; fi
  exit "$rc"
fi

cd "$root"
find "$root/src" -name '*.cpp' ! -name '*Test.cpp' -print0 | sort -z |
  xargs -0 -n1 -P"${TIDY_JOBS:-2}" "$0" --one && exit 0
echo "check-tidy: clang-tidy found problems (above)" >&2
exit 1
